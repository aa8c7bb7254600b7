#include "shell/ui/list_columns.h"

#include "shell/items/file_list.h"

#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QWidget>
#include <algorithm>

namespace kelvora {

std::string TVelShListColumns::DefaultFile() {
    const std::string exe =
        QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    if (exe.empty())
        return {};
    const std::size_t slash = exe.rfind('/');
    const std::size_t dot = exe.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? exe.substr(0, dot) : exe) + ".dat";
}

void TVelShListColumns::SetFile(const std::string& fileName) {
    file_ = fileName;
    memory_.Clear();
    memory_.LoadFromFile(file_);
}

bool TVelShListColumns::Write() const {
    return !file_.empty() && memory_.SaveToFile(file_);
}

void TVelShListColumns::Restore(TVelShFileList& list) const {
    const TVelShColumnInfos* infos = memory_.Find(list.FolderKey());
    if (!infos)
        return;
    list.SetSortColumn(infos->sortColumn);
    for (int c = 0;
         c < static_cast<int>(infos->columns.size()) && c < TVelShFileList::kDirectionCount; ++c)
        list.SetSortDirection(c, infos->columns[static_cast<std::size_t>(c)].direction);
}

void TVelShListColumns::Rebuild() {
    // Before the control has its size the widths would be a quarter of nothing.
    if (!control_.isVisible()) {
        pending_ = true;
        return;
    }
    const int width = std::max(control_.width() / 4, header_.minimumSectionSize());
    for (int c = 0; c < header_.count(); ++c)
        header_.resizeSection(c, width);
}

void TVelShListColumns::Shown(TVelShFileList* list) {
    if (!pending_)
        return;
    pending_ = false;
    Rebuild();
    Apply(list);
}

void TVelShListColumns::Apply(TVelShFileList* list) {
    const TVelShColumnInfos* infos = list ? memory_.Find(list->FolderKey()) : nullptr;
    const int count = header_.count();
    if (!infos || count == 0)
        return;
    const int known = std::min(count, static_cast<int>(infos->columns.size()));
    for (int c = 0; c < known; ++c) {
        const int width = infos->columns[static_cast<std::size_t>(c)].width;
        if (width >= 0)
            header_.resizeSection(c, std::min(width, 32767));
    }
    // The remembered order counts only when it places every column exactly once.
    if (known != count)
        return;
    std::vector<int> logicalAt(static_cast<std::size_t>(count), -1);
    for (int c = 0; c < count; ++c) {
        const int order = infos->columns[static_cast<std::size_t>(c)].order;
        if (order < 0 || order >= count || logicalAt[static_cast<std::size_t>(order)] >= 0)
            return;
        logicalAt[static_cast<std::size_t>(order)] = c;
    }
    for (int visual = 0; visual < count; ++visual)
        header_.moveSection(header_.visualIndex(logicalAt[static_cast<std::size_t>(visual)]),
                            visual);
}

void TVelShListColumns::Save(TVelShFileList* list) {
    if (!list || header_.count() == 0)
        return;
    TVelShColumnInfos infos;
    infos.sortColumn = list->SortColumn();
    for (int c = 0; c < header_.count(); ++c)
        infos.columns.push_back(
            {header_.visualIndex(c), header_.sectionSize(c), list->SortDirection(c)});
    memory_.Store(list->FolderKey(), std::move(infos));
}

void TVelShListColumns::ShowSortIndicator(TVelShFileList* list) {
    if (!list)
        return;
    const int column = list->SortColumn();
    header_.setSortIndicator(column, list->SortDirection(column) < 0 ? Qt::DescendingOrder
                                                                     : Qt::AscendingOrder);
}

} // namespace kelvora
