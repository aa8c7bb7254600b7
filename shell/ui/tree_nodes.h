#pragma once
// TVelShTreeNodes: what the folder tree does with its nodes, apart from showing
// them: filling a branch when it opens, finding the node of an item (opening the
// branches on the way), refreshing the open branches, and remembering which
// file-system branches the user opened, across rebuilds and renames.
//
// It works on the tree's model; what only the view knows (whether a branch is
// open, opening one, whether a drag is over the tree) it asks its host, so
// that it can be driven without a widget.
//
// A branch on a drive or folder that must be asked whether it answers (a
// network drive, an optical disc) is filled only once the answer is in, without
// waiting for it: until then it stays empty and is remembered, and Retry, run
// when an answer arrives, fills the branches still open. A drive that does not
// answer stays empty.
//
// A branch on a drive of that kind that has answered is read on a worker
// (tree_reader.h), when it opens and when it is refreshed: it shows empty (or
// as it was) until the reading comes, then the reading is merged into it.
// Finding a node (Find) stops at such a branch while it is being read.
//
// GUI thread only; the workers touch no node.
#include "shell/items/id_list_list.h"
#include "shell/ui/tree_model.h"
#include "shell/ui/tree_reader.h"

#include <vector>

namespace kelvora {

class TVelShTreeNodes {
public:
    class THost {
    public:
        virtual ~THost() = default;
        virtual bool IsOpen(TVelShTreeNode* node) const = 0;
        // Opens a branch; the host then calls Opened.
        virtual void Open(TVelShTreeNode* node) = 0;
        // Shell items are dragged over the tree.
        virtual bool Dragging() const = 0;
        // The branches the user opened changed.
        virtual void OpenBranchesChanged() = 0;
    };

    TVelShTreeNodes(TVelShTreeModel& model, THost& host);

    TVelShTreeNode* Root() const { return model_.RootNode(); }

    // Fills a branch when its folder answers: false when it does not (or the
    // answer is not in yet: the branch is then filled by Retry).
    bool Fill(TVelShTreeNode* node);
    // A branch was opened: it is filled if it is empty, and remembered.
    void Opened(TVelShTreeNode* node);
    // A branch was closed: it and the branches below it are forgotten.
    void Closed(TVelShTreeNode* node);
    // The node of id, opening the branches on the way; reached tells whether it
    // is the item's own node or the deepest one on its way.
    TVelShTreeNode* Find(PCItemIDList id, bool& reached);
    // The node of id if the tree shows it now, without opening anything.
    TVelShTreeNode* Shown(PCItemIDList id) const;
    // Reads the open branches below node again; closed ones take their marks anew.
    void Refresh(TVelShTreeNode* node);
    // Fills the open branches whose answer has come.
    void Retry();
    // A branch is being read on a worker.
    bool Reading(const TVelShTreeNode* node) const;

    // The absolute IDs of the file-system branches the user opened.
    const TCustomVelShIDList& Expanded() const { return expanded_; }
    // Opens again the remembered branches below the root.
    void ReopenRemembered();
    // Forgets the branches whose folders are gone or no longer answer.
    void ForgetVanished();
    // The remembered branches at or below oldID take newID's place; returns them.
    std::vector<TIDListPtr> Remap(PCItemIDList oldID, PCItemIDList newID);
    void Reopen(const std::vector<TIDListPtr>& ids);
    // The paths of the remembered branches.
    std::vector<std::string> ExpandedPaths() const;

private:
    bool ready(TVelShTreeNode* node);
    // Fills now, or starts a worker's reading for a folder on a slow drive.
    void fill(TVelShTreeNode* node, bool refresh);
    void arrived(PCItemIDList id, TVelShTreeModel::TReading reading, bool refresh);

    TVelShTreeModel& model_;
    THost& host_;
    TCustomVelShIDList expanded_{true};
    std::vector<TIDListPtr> asking_; // branches waiting for their folder's answer
    TVelShTreeReader reader_;
};

} // namespace kelvora
