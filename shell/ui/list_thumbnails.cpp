#include "shell/ui/list_thumbnails.h"

#include "base/picture.h"
#include "shell/items/file_list.h"
#include "shell/ui/item_icons.h"
#include "shell/ui/list_model.h"

#include <QListView>
#include <QScrollBar>
#include <QTimer>
#include <cmath>

namespace kelvora {

TShListThumbnails::TShListThumbnails(QListView& view, TVelShListModel& model, QObject* parent)
    : QObject(parent), view_(view), model_(model) {
    QScrollBar* bar = view_.verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this] { schedule(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this] { schedule(); });
}

TShListThumbnails::~TShListThumbnails() = default;

void TShListThumbnails::SetProducer(TThumbnailProducer producer) {
    producer_ = std::move(producer);
    if (!producer_) {
        loader_.reset(); // cancels and joins its workers
        clearRows();
        return;
    }
    if (!loader_) {
        loader_ = std::make_unique<TShThumbnailLoader>(
            memory_,
            [this](std::vector<TShThumbnailLoader::TResult>& results) { deliver(results); });
    }
    loader_->SetProducer(producer_);
    if (Active())
        restart();
}

void TShListThumbnails::SetLargeIcons(bool on) {
    largeIcons_ = on;
    if (Active()) {
        restart();
        return;
    }
    if (loader_)
        loader_->Restart();
    clearRows();
}

void TShListThumbnails::Shown(TVelShFileList* list) {
    list_ = list;
    if (Active())
        restart();
    else
        clearRows();
}

void TShListThumbnails::clearRows() {
    rows_.clear();
    rowOfPath_.clear();
}

void TShListThumbnails::restart() {
    loader_->Restart();
    ratio_ = view_.devicePixelRatioF();
    const int box = static_cast<int>(std::lround(kBox * ratio_));
    loader_->SetSizes(ratio_ > 1.0 ? 256 : 128, box);
    clearRows();
    if (!list_)
        return;
    const int count = list_->Count();
    rows_.resize(static_cast<std::size_t>(count));
    rowOfPath_.reserve(static_cast<std::size_t>(count));
    // A folder's pictures share a few extensions: the format list is asked once for each.
    std::unordered_map<std::string, bool> pictureExtensions;
    for (int i = 0; i < count; ++i) {
        std::string path;
        if (!list_->Items(i)->GetPath(path))
            continue;
        const std::string extension = lowerExtension(path);
        if (extension.empty())
            continue;
        auto known = pictureExtensions.find(extension);
        if (known == pictureExtensions.end())
            known = pictureExtensions
                        .emplace(extension, TPicture::classForExtension(extension) != nullptr)
                        .first;
        if (!known->second)
            continue;
        Row& row = rows_[static_cast<std::size_t>(i)];
        row.state = State::Waiting;
        // What an earlier visit left shows at once; the workers check it.
        if (std::optional<QImage> held = memory_.Peek(path, box)) {
            row.state = held->isNull() ? State::Failed : State::Shown;
            row.image = std::move(*held);
        }
        rowOfPath_.emplace(path, i);
        row.path = std::move(path);
    }
    schedule();
}

QVariant TShListThumbnails::Decoration(int row, TVelShFileData* data) {
    if (!Active() || row < 0 || static_cast<std::size_t>(row) >= rows_.size() || !data)
        return {};
    Row& r = rows_[static_cast<std::size_t>(row)];
    const int overlay = data->OverlayIndex();
    const bool dimmed = data->IsGhosted();
    if (r.state == State::Shown) {
        if (r.icon.isNull())
            r.icon = TShItemIcons::thumbnailIcon(r.image, overlay, dimmed, ratio_);
        return r.icon;
    }
    return TShItemIcons::instance().cellIcon(data->GetImageIndex(), overlay, dimmed, kBox);
}

int TShListThumbnails::Waiting() const {
    int waiting = 0;
    for (const Row& row : rows_)
        waiting += row.state != State::NoPicture && !row.checked;
    return waiting;
}

bool TShListThumbnails::HasThumbnail(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < rows_.size() &&
           rows_[static_cast<std::size_t>(row)].state == State::Shown;
}

bool TShListThumbnails::Waits(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < rows_.size() &&
           rows_[static_cast<std::size_t>(row)].state == State::Waiting;
}

void TShListThumbnails::schedule() {
    if (scheduled_ || !Active())
        return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] { request(); });
}

std::pair<int, int> TShListThumbnails::rowsInView() const {
    const int count = static_cast<int>(rows_.size());
    if (count == 0)
        return {0, -1};
    const QRect area = view_.viewport()->rect();
    const auto rectOf = [this](int row) { return view_.visualRect(model_.index(row, 0)); };
    if (!rectOf(count - 1).isValid())
        return {0, std::min(count, 64) - 1}; // not laid out: the top is a good guess
    // Rows flow left to right and wrap downwards: their tops never decrease.
    int lo = 0, hi = count;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (rectOf(mid).bottom() >= area.top())
            hi = mid;
        else
            lo = mid + 1;
    }
    const int first = lo;
    hi = count;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (rectOf(mid).top() <= area.bottom())
            lo = mid + 1;
        else
            hi = mid;
    }
    return {first, lo - 1};
}

void TShListThumbnails::request() {
    scheduled_ = false;
    if (!Active() || !loader_)
        return;
    const auto [first, last] = rowsInView();
    const int count = static_cast<int>(rows_.size());
    std::vector<std::string> paths;
    const auto want = [&](int i) {
        const Row& row = rows_[static_cast<std::size_t>(i)];
        if (row.state != State::NoPicture && !row.checked)
            paths.push_back(row.path);
    };
    for (int i = std::max(first, 0); i <= last && i < count; ++i)
        want(i);
    for (int i = std::max(last + 1, 0); i < count; ++i)
        want(i);
    for (int i = std::min(first, count) - 1; i >= 0; --i)
        want(i);
    loader_->Request(paths);
}

void TShListThumbnails::deliver(std::vector<TShThumbnailLoader::TResult>& results) {
    using TResult = TShThumbnailLoader::TResult;
    for (TResult& result : results) {
        const auto at = rowOfPath_.find(result.path);
        if (at == rowOfPath_.end())
            continue;
        Row& row = rows_[static_cast<std::size_t>(at->second)];
        bool changed = false;
        switch (result.kind) {
        case TResult::Stale:
            changed = row.state == State::Shown;
            row.state = State::Waiting;
            break;
        case TResult::Made:
            row.checked = true;
            changed = row.state != State::Shown || row.image.cacheKey() != result.image.cacheKey();
            if (changed) {
                row.state = State::Shown;
                row.image = std::move(result.image);
            }
            break;
        case TResult::Failed:
            row.checked = true;
            changed = row.state != State::Failed;
            row.state = State::Failed;
            break;
        }
        if (!changed)
            continue;
        if (row.state != State::Shown)
            row.image = QImage();
        row.icon = QIcon();
        model_.DecorationChanged(at->second);
    }
}

} // namespace kelvora
