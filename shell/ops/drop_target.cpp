#include "shell/ops/drop_target.h"

#include "shell/items/fs_folder.h"
#include "shell/items/shell_item.h"

#include <sys/stat.h>

namespace kelvora {

namespace {

bool isTrash(PCItemIDList target) {
    return TVelShID::IsSpecialFolder(target, sfidBitBucket);
}

// The folder on disk that items dropped on target go to; false when target
// takes no drops (a file, a read-only or virtual folder).
bool dropFolderOf(PCItemIDList target, std::string& folder) {
    folder.clear();
    if (!target)
        return false;
    if (TVelShID::IDCount(target) == 0) {
        // The desktop is always a target; its folder is the desktop directory.
        struct stat st;
        return TVelShID::IDGetPath(target, folder) && ::stat(folder.c_str(), &st) == 0 &&
               S_ISDIR(st.st_mode) && ShWritableByUser(st.st_mode, st.st_uid, st.st_gid);
    }
    TVelShData item(TVelShID::IDClone(target));
    return item.HasAttribute(SFGAO_DROPTARGET) && item.GetPath(folder);
}

} // namespace

Qt::DropAction ShDropAction(TShDropEffect effect) {
    switch (effect) {
    case TShDropEffect::Copy:
        return Qt::CopyAction;
    case TShDropEffect::Move:
        return Qt::MoveAction;
    case TShDropEffect::Link:
        return Qt::LinkAction;
    case TShDropEffect::None:
        break;
    }
    return Qt::IgnoreAction;
}

TShDropSources ShDropSourcesOf(TVelShDragObject& drag) {
    TShDropSources sources;
    TVelShIDList& ids = drag.IDList();
    for (int i = 0; i < ids.Count(); ++i) {
        std::string path;
        if (!ids.GetPath(i, path)) {
            PCItemIDList first = ids.ParentID() && TVelShID::IDCount(ids.ParentID()) > 0
                                     ? ids.ParentID()
                                     : ids.Items(i);
            sources.fromTrash = TVelShID::IsSpecialFolder(first, sfidBitBucket);
            sources.paths.clear();
            return sources;
        }
        sources.paths.push_back(std::move(path));
    }
    sources.canMove = !sources.paths.empty() && ids.HasAttribute(SFGAO_CANMOVE);
    return sources;
}

TShDropEffect ShDropEffectFor(const TShDropSources& sources, PCItemIDList target,
                              Qt::KeyboardModifiers keys, Qt::DropActions allowed) {
    if (!target || sources.paths.empty())
        return TShDropEffect::None;
    if (isTrash(target))
        return (allowed & Qt::MoveAction) && sources.canMove ? TShDropEffect::Move
                                                             : TShDropEffect::None;
    std::string folder;
    struct stat targetStat;
    if (!dropFolderOf(target, folder) || ::stat(folder.c_str(), &targetStat) != 0)
        return TShDropEffect::None;
    bool allHere = true, sameDevice = true;
    for (const std::string& path : sources.paths) {
        if (ShIsPathInside(folder, path))
            return TShDropEffect::None; // onto a dragged item or into it
        allHere = allHere && ShParentPath(path) == folder;
        struct stat st;
        sameDevice =
            sameDevice && ::lstat(path.c_str(), &st) == 0 && st.st_dev == targetStat.st_dev;
    }
    if (allHere)
        return TShDropEffect::None;

    const bool ctrl = keys & Qt::ControlModifier, shift = keys & Qt::ShiftModifier;
    TShDropEffect wanted = ctrl && shift ? TShDropEffect::Link
                           : shift       ? TShDropEffect::Move
                           : ctrl        ? TShDropEffect::Copy
                           : sameDevice  ? TShDropEffect::Move
                                         : TShDropEffect::Copy;
    const auto possible = [&](TShDropEffect e) {
        return (allowed & ShDropAction(e)) && (e != TShDropEffect::Move || sources.canMove);
    };
    for (TShDropEffect e :
         {wanted, TShDropEffect::Copy, TShDropEffect::Move, TShDropEffect::Link}) {
        if (possible(e))
            return e;
    }
    return TShDropEffect::None;
}

TShDropTarget::TShDropTarget(TShOperationUi& ui, QObject* parent) : QObject(parent), ui_(ui) {
    qRegisterMetaType<kelvora::TShOperationResult>();
}

TShDropTarget::~TShDropTarget() {
    // The operations are children: deleting them cancels and joins their threads.
    CancelAll();
}

bool TShDropTarget::Accepts(const QMimeData* data) {
    return TVelShDragObject::HasShellData(data);
}

void TShDropTarget::enter(const QMimeData* data) {
    drag_.reset();
    sources_ = TShDropSources();
    if (!Accepts(data))
        return;
    drag_ = std::make_unique<TVelShDragObject>(data);
    sources_ = ShDropSourcesOf(*drag_);
}

TShDropEffect TShDropTarget::DragEnter(const QMimeData* data, PCItemIDList target,
                                       Qt::KeyboardModifiers keys, Qt::DropActions allowed) {
    enter(data);
    return DragOver(target, keys, allowed);
}

TShDropEffect TShDropTarget::DragOver(PCItemIDList target, Qt::KeyboardModifiers keys,
                                      Qt::DropActions allowed) {
    return drag_ ? ShDropEffectFor(sources_, target, keys, allowed) : TShDropEffect::None;
}

void TShDropTarget::DragLeave() {
    drag_.reset();
    sources_ = TShDropSources();
}

TShDropEffect TShDropTarget::Drop(const QMimeData* data, PCItemIDList target,
                                  Qt::KeyboardModifiers keys, Qt::DropActions allowed) {
    if (!drag_ || drag_->DataObject() != data)
        enter(data);
    const TShDropEffect effect = DragOver(target, keys, allowed);
    const TShDropSources sources = sources_;
    DragLeave();
    if (effect == TShDropEffect::None)
        return effect;

    TShFileJob job;
    job.sources = sources.paths;
    if (isTrash(target)) {
        job.op = TShFileOp::Trash;
    } else {
        job.op = effect == TShDropEffect::Move   ? TShFileOp::Move
                 : effect == TShDropEffect::Link ? TShFileOp::Link
                                                 : TShFileOp::Copy;
        dropFolderOf(target, job.targetFolder);
    }
    TShOperationUi* ui = &ui_;
    auto* operation = new TShFileOperation(
        std::move(job), [ui](const TShConflict& c) { return ui->AskConflict(c); }, this);
    operations_.push_back(operation);
    connect(operation, &TShFileOperation::finished, this,
            [this, operation](const TShOperationResult& result) {
                std::erase(operations_, operation);
                ui_.OperationFinished(*operation);
                emit operationFinished(result);
                operation->deleteLater();
            });
    ui_.OperationStarted(*operation);
    operation->Start();
    return effect;
}

void TShDropTarget::CancelAll() {
    for (TShFileOperation* operation : operations_)
        operation->Cancel();
}

} // namespace kelvora
