#include "shell/items/file_list.h"

#include "base/codepage.h"
#include "shell/items/file_types.h"
#include "shell/items/namespace.h"
#include "shell/shell_texts.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <memory>
#include <unordered_map>

namespace kelvora {

namespace {

// Rows a new reading replaced, freed a slice at a time between the window's
// events. Freeing tens of thousands of rows at once costs milliseconds the window
// needs; freeing them on a worker costs more: the rows' texts were made on this
// thread, and freeing them elsewhere makes every allocation here wait on the
// heap's lock, so the repaint after a large folder changed took 10-20 ms longer.
// The folder object the rows shared, whose entries were made by the reading's
// worker, is let go on a worker once its rows are gone.
class TRowsFreedLater : public QObject {
public:
    using TRows = std::vector<std::unique_ptr<TVelShFileData>>;
    static constexpr std::size_t kSlice = 500;

    // Without an event loop (no application) the rows go at once.
    static void Free(TRows rows) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || rows.empty())
            return;
        if (!instance())
            instance() = new TRowsFreedLater(app); // goes with the application, and its rows
        instance()->add(std::move(rows));
    }
    static void FreeAll() {
        if (instance())
            instance()->pending_.clear();
    }

private:
    static QPointer<TRowsFreedLater>& instance() {
        static QPointer<TRowsFreedLater> one;
        return one;
    }
    struct TBatch {
        TRows rows;
        PShellFolder folder;
    };

    explicit TRowsFreedLater(QObject* parent) : QObject(parent) {
        timer_.setInterval(0);
        connect(&timer_, &QTimer::timeout, this, [this] { freeSlice(); });
    }
    void add(TRows rows) {
        TBatch batch{std::move(rows), nullptr};
        batch.rows.front()->GetParentFolder(batch.folder);
        pending_.push_back(std::move(batch));
        timer_.start();
    }
    void freeSlice() {
        std::size_t budget = kSlice;
        while (budget > 0 && !pending_.empty()) {
            TRows& rows = pending_.front().rows;
            const std::size_t n = std::min(budget, rows.size());
            rows.resize(rows.size() - n); // from the back: nothing moves
            budget -= n;
            if (rows.empty()) {
                if (PShellFolder folder = std::move(pending_.front().folder))
                    QThreadPool::globalInstance()->start([folder = std::move(folder)] {});
                pending_.pop_front();
            }
        }
        if (pending_.empty())
            timer_.stop();
    }

    QTimer timer_;
    std::deque<TBatch> pending_;
};

} // namespace

// --- TVelShFileData ---------------------------------------------------------------

TVelShFileData::TVelShFileData(TVelShFileList* list, PShellFolder folder, PItemIDList relativeID)
    : list_(list) {
    relativeID_ = relativeID;
    setParentFolder(std::move(folder));
}

int TVelShFileData::GetIndex() {
    return index_;
}

int TVelShFileData::GetLevel() {
    return list_ ? list_->FolderLevel() + 1 : TVelShData::GetLevel();
}

QObject* TVelShFileData::GetOwnerControl() {
    return list_ ? list_->Owner() : nullptr;
}

PCItemIDList TVelShFileData::GetParentID() {
    return list_ ? list_->FolderID() : TVelShData::GetParentID();
}

PCItemIDList TVelShFileData::GetAbsoluteID() {
    if (!absoluteID_ && list_ && relativeID_)
        absoluteID_ = list_->FolderLevel() == 0 ? IDClone(relativeID_)
                                                : IDConcat(list_->FolderID(), relativeID_);
    return absoluteID_;
}

int TVelShFileData::GetSelectedIndex() {
    // Rows have no open state: one index serves both, in every icon size.
    return GetImageIndex();
}

bool TVelShFileData::IsValid() {
    return list_ && relativeID_;
}

std::uint8_t TVelShFileData::look() {
    if (!(look_ & kLookRead)) {
        look_ = kLookRead;
        PShellFolder folder;
        std::uint32_t a = SFGAO_GHOSTED | SFGAO_COMPRESSED | SFGAO_LINK;
        if (relativeID_ && GetParentFolder(folder) && folder->GetAttributesOf(relativeID_, a)) {
            if (a & SFGAO_GHOSTED)
                look_ |= kGhosted;
            if (a & SFGAO_COMPRESSED)
                look_ |= kCompressed;
            if (a & SFGAO_LINK)
                look_ |= kLink;
        }
    }
    return look_;
}

std::uint64_t TVelShFileData::Size() {
    TShFindData data;
    if (!GetFindData(data) || (data.fileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return data.fileSize();
}

const std::vector<std::string>& TVelShFileData::GetDetails() {
    if (details_)
        return *details_;
    details_ = std::make_unique<std::vector<std::string>>();
    const int columns = list_ ? static_cast<int>(list_->Captions().size()) : 1;
    if (columns <= 1 || !HasAttribute(SFGAO_FILESYSTEM))
        return *details_;
    std::string type;
    GetTypeName(type);
    if (list_->IsComputer() && IsOnRemovableMedia()) {
        // A medium may be slow to answer or absent: only what needs no access.
        details_->push_back(type);
    } else {
        TShFindData data;
        const bool known = GetFindData(data);
        const bool folder = HasAttribute(SFGAO_FOLDER);
        // Sizes of folders mean nothing here; an item that cannot be read
        // shows neither size nor time rather than made-up ones.
        details_->push_back(known && !folder ? ShSizeText(data.fileSize()) : std::string());
        details_->push_back(type);
        details_->push_back(known ? ShDateText(data.lastWriteTime) : std::string());
    }
    details_->resize(static_cast<std::size_t>(columns - 1));
    return *details_;
}

bool TVelShFileData::RenameRow(const std::string& newName, QString* error) {
    if (!RenameInFolder(newName, error))
        return false;
    details_.reset();
    look_ = 0;
    return true;
}

// --- TVelShFileList ---------------------------------------------------------------

TVelShFileList::TVelShFileList(QObject* owner, PItemIDList folderID)
    : owner_(owner), folderID_(folderID) {
    rows_.reserve(kInitialCapacity);
}

TVelShFileList::~TVelShFileList() {
    rows_.clear();
    TVelShID::IDFree(folderID_);
    TVelShID::IDFree(parentID_);
    TVelShID::IDFree(lastID_);
}

PCItemIDList TVelShFileList::ParentID() {
    if (!parentID_ && FolderLevel() > 0)
        parentID_ = TVelShID::IDCopyParent(folderID_);
    return parentID_;
}

PCItemIDList TVelShFileList::LastID() {
    if (!lastID_ && FolderLevel() > 0)
        lastID_ = TVelShID::IDCopyLast(folderID_);
    return lastID_;
}

int TVelShFileList::FolderLevel() const {
    return TVelShID::IDCount(folderID_);
}

const std::string& TVelShFileList::Path() {
    if (hasPath_ < 0)
        hasPath_ = TVelShID::IDGetPath(folderID_, path_) ? 1 : 0;
    return path_;
}

std::string TVelShFileList::FolderKey() {
    if (FolderLevel() > 0 && !Path().empty())
        return Path();
    std::string name;
    TVelShID::IDGetDisplayName(ShDesktopFolder(), folderID_, SHGDN_INFOLDER | SHGDN_FORADDRESSBAR,
                               name);
    return name;
}

bool TVelShFileList::IsComputer() {
    if (isComputer_ < 0)
        isComputer_ = TVelShID::IsSpecialFolder(folderID_, sfidDrives) ? 1 : 0;
    return isComputer_ == 1;
}

TVelShFileData* TVelShFileList::Items(int index) const {
    return index >= 0 && index < Count() ? rows_[static_cast<std::size_t>(index)].get() : nullptr;
}

int TVelShFileList::SortDirection(int column) const {
    return column >= 0 && column < kDirectionCount ? directions_[column] : 1;
}

void TVelShFileList::SetSortDirection(int column, int direction) {
    if (column >= 0 && column < kDirectionCount)
        directions_[column] = direction < 0 ? -1 : 1;
}

const std::vector<TVelShFileList::TColumnCaption>& TVelShFileList::Captions() {
    if (captions_.empty()) {
        using namespace VelShCst;
        if (!Path().empty())
            captions_ = {{SName, 0}, {SSize, 1}, {SFileType, 0}, {SModified, 0}};
        else
            captions_ = {{SName, 0}};
        for (TColumnCaption& c : captions_)
            c.text = fromQ(QString::fromUtf8(c.text));
    }
    return captions_;
}

void TVelShFileList::numberRows() {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        rows_[i]->index_ = static_cast<int>(i);
}

bool TVelShFileList::Enumerate(const TEnumOptions& options, bool keepSelection) {
    return Adopt(Read(MakeReadRequest(options.flags)), options, keepSelection);
}

TVelShFileList::TReadRequest TVelShFileList::MakeReadRequest(std::uint32_t flags) const {
    return {TIDListPtr(TVelShID::IDClone(folderID_)), flags, sortColumn_,
            SortDirection(sortColumn_)};
}

TVelShFileList::TReading TVelShFileList::Read(const TReadRequest& request) {
    TReading reading;
    reading.column = request.column;
    reading.direction = request.direction;
    // The folder object is bound anew here, never shared with a list's rows
    // while this runs: it may run on a worker thread.
    const PCItemIDList id = request.folderID.get();
    reading.folder =
        TVelShID::IDCount(id) == 0 ? ShDesktopFolder() : ShDesktopFolder()->BindToObject(id);
    if (!reading.folder)
        return reading;
    std::vector<TIDListPtr> ids;
    reading.read = reading.folder->EnumObjects(request.flags, ids);
    // Sorting by a fifth column needs a folder that has one. Filtering the
    // sorted items afterwards keeps their order: the order is total.
    if (ids.size() >= 2 && !(reading.folder->Path().empty() && request.column == 4))
        reading.folder->SortItems(
            request.column, ids.begin(), ids.end(),
            [](const TIDListPtr& item) { return static_cast<PCItemIDList>(item.get()); },
            request.direction);
    // Tens of thousands of rows take milliseconds to make: they are made here,
    // and Adopt only gives them their list.
    reading.rows.reserve(ids.size());
    for (TIDListPtr& item : ids)
        reading.rows.push_back(
            std::make_unique<TVelShFileData>(nullptr, reading.folder, item.release()));
    return reading;
}

void TVelShFileList::FreeReplacedRows() {
    TRowsFreedLater::FreeAll();
}

bool TVelShFileList::Adopt(TReading reading, const TEnumOptions& options, bool keepSelection) {
    // What to select again afterwards, by the items' own bytes.
    std::unordered_map<std::string, std::size_t> wasSelected;
    std::string wasFocused;
    if (keepSelection) {
        for (TVelShFileData* row : SelectedRows())
            wasSelected.emplace(std::string(IDItemBytes(row->GetRelativeID())), wasSelected.size());
        if (focused_)
            wasFocused = std::string(IDItemBytes(focused_->GetRelativeID()));
    }
    // The old rows, which nothing here refers to any more, go a slice at a time.
    TRowsFreedLater::Free(std::move(rows_));
    rows_.clear();
    selected_.clear();
    selectedCount_ = 0;
    selectedSize_ = 0;
    focused_ = nullptr;

    folder_ = std::move(reading.folder);
    if (!folder_)
        return false;
    std::vector<std::unique_ptr<TVelShFileData>>& rows = reading.rows;

    const TShVirtuaItems shown = options.virtuaItems;
    const int level = FolderLevel();
    const bool computer = level == 1 && IsComputer();
    if (level == 1 && !shown.contains(itNetWork) &&
        TVelShID::IsSpecialFolder(folderID_, sfidNetWork))
        rows.clear();
    rows_.reserve(rows.size());
    for (std::unique_ptr<TVelShFileData>& row : rows) {
        row->list_ = this;
        if (level == 0) {
            const TShItemIDType t = row->GetItemType();
            if ((t == itBitBucket || t == itNetWork || t == itVirtual || t == itInterNet) &&
                !shown.contains(t))
                continue;
        } else if (computer) {
            const TShItemIDType t = row->GetItemType();
            if ((t == itVirtual || t == itControls) && !shown.contains(t))
                continue;
        }
        if (options.accept && !options.accept(row.get()))
            continue;
        rows_.push_back(std::move(row));
    }
    numberRows();

    if (!wasSelected.empty() || !wasFocused.empty()) {
        std::vector<TVelShFileData*> again(wasSelected.size(), nullptr);
        for (const auto& row : rows_) {
            const std::string bytes(IDItemBytes(row->GetRelativeID()));
            if (auto it = wasSelected.find(bytes); it != wasSelected.end())
                again[it->second] = row.get();
            if (!wasFocused.empty() && bytes == wasFocused)
                focused_ = row.get();
        }
        for (TVelShFileData* row : again)
            SetSelected(row, true);
    }
    return reading.read;
}

void TVelShFileList::Sort(int column) {
    if (rows_.size() >= 2 && folder_)
        folder_->SortItems(
            column, rows_.begin(), rows_.end(),
            [](const std::unique_ptr<TVelShFileData>& row) { return row->GetRelativeID(); },
            SortDirection(column));
    numberRows();
}

void TVelShFileList::SetSelected(TVelShFileData* row, bool selected) {
    if (!row || row->list_ != this || row->selected_ == selected)
        return;
    row->selected_ = selected;
    const std::uint64_t size = row->Size();
    if (selected) {
        // A row selected again moves to the end: the order is that of the last selection.
        if (row->listed_)
            std::erase(selected_, row);
        selected_.push_back(row);
        row->listed_ = true;
        ++selectedCount_;
        selectedSize_ += size;
    } else {
        --selectedCount_;
        selectedSize_ -= std::min(selectedSize_, size);
        // Deselected rows leave the order lazily, so that clearing a large
        // selection row by row stays linear.
        if (selected_.size() > 2 * static_cast<std::size_t>(selectedCount_) + 64)
            SelectedRows();
    }
}

const std::vector<TVelShFileData*>& TVelShFileList::SelectedRows() {
    if (selected_.size() != static_cast<std::size_t>(selectedCount_))
        std::erase_if(selected_, [](TVelShFileData* row) {
            row->listed_ = row->selected_;
            return !row->selected_;
        });
    return selected_;
}

int TVelShFileList::FindCaption(const QString& text, int start, bool wrap, bool partial) const {
    const int n = Count();
    if (n == 0 || text.isEmpty())
        return -1;
    start = std::clamp(start, 0, n - 1);
    for (int i = 0; i < n; ++i) {
        int row = start + i;
        if (row >= n) {
            if (!wrap)
                break;
            row -= n;
        }
        std::string name;
        rows_[static_cast<std::size_t>(row)]->GetDisplayName(name);
        const QString caption = toDisplayQ(name); // as the row shows it
        if (partial ? caption.contains(text, Qt::CaseInsensitive)
                    : caption.startsWith(text, Qt::CaseInsensitive))
            return row;
    }
    return -1;
}

// --- TVelShFileLists --------------------------------------------------------------

TVelShFileList* TVelShFileLists::Items(int index) const {
    return index >= 0 && index < Count() ? lists_[static_cast<std::size_t>(index)].get() : nullptr;
}

int TVelShFileLists::IndexOf(PCItemIDList folderID) const {
    for (std::size_t i = 0; i < lists_.size(); ++i) {
        if (TVelShID::IDIsEqual(lists_[i]->FolderID(), folderID))
            return static_cast<int>(i);
    }
    return -1;
}

void TVelShFileLists::MoveToFront(int index) {
    if (index <= 0 || index >= Count())
        return;
    std::rotate(lists_.begin(), lists_.begin() + index, lists_.begin() + index + 1);
}

std::vector<std::unique_ptr<TVelShFileList>>
TVelShFileLists::Insert(std::unique_ptr<TVelShFileList> list) {
    lists_.insert(lists_.begin(), std::move(list));
    std::vector<std::unique_ptr<TVelShFileList>> out;
    while (Count() > kCapacity + 1) {
        out.push_back(std::move(lists_.back()));
        lists_.pop_back();
    }
    return out;
}

std::vector<std::unique_ptr<TVelShFileList>>
TVelShFileLists::TakeAllBut(const TVelShFileList* keep) {
    std::vector<std::unique_ptr<TVelShFileList>> out;
    for (auto& list : lists_) {
        if (list.get() != keep)
            out.push_back(std::move(list));
    }
    std::erase(lists_, nullptr);
    return out;
}

std::unique_ptr<TVelShFileList> TVelShFileLists::Take(int index) {
    if (index < 0 || index >= Count())
        return nullptr;
    auto list = std::move(lists_[static_cast<std::size_t>(index)]);
    lists_.erase(lists_.begin() + index);
    return list;
}

} // namespace kelvora
