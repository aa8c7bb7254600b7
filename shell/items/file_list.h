#pragma once
// The file list's data, free of widgets so that it can be tested alone.
//
// TVelShFileList holds one folder's contents: a row (TVelShFileData) per item,
// the sort column and per-column directions, the column captions, and the
// selection (which rows, in the order they were selected, their total size,
// the focused row). Rows keep their selected flags while their list lives,
// which is how a folder shown again gets its selection back.
//
// A row computes its caption, icon, look and detail texts when first asked and
// keeps them; until then it holds little more than its relative ID (the
// absolute ID too is made on demand). A list starts with room for 1000 rows.
//
// TVelShFileLists is the cache of recently shown folders, most recent first:
// at most kCapacity + 1 (31) lists; inserting beyond that pushes the least
// recently shown one out and hands it back to the caller, who stops watching
// its folder.
//
// GUI thread only, but for Read (see there), which a worker thread may run.
#include "shell/items/shell_item.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

class TVelShFileList;

class TVelShFileData : public TVelShData {
public:
    // An item found by enumerating the list's folder; takes over relativeID.
    TVelShFileData(TVelShFileList* list, PShellFolder folder, PItemIDList relativeID);

    // Its position in its list.
    int GetIndex() override;
    // The folder's level + 1.
    int GetLevel() override;
    // The list view that shows it.
    QObject* GetOwnerControl() override;
    // The list's folder.
    PCItemIDList GetParentID() override;
    // Made on first use: the folder's ID followed by the relative ID.
    PCItemIDList GetAbsoluteID() override;
    int GetSelectedIndex() override;
    // It has a list and a relative ID.
    bool IsValid() override;
    // The texts of the columns after the first, one per column; empty texts
    // for items without file-system data. Computed once.
    virtual const std::vector<std::string>& GetDetails();
    // Renames the item in its folder (RenameInFolder); the row then computes its
    // texts and look again. error gets the reason of a refusal.
    bool RenameRow(const std::string& newName, QString* error = nullptr);
    bool Rename(const std::string& newName) override { return RenameRow(newName); }

    TVelShFileList* List() const { return list_; }
    bool Selected() const { return selected_; }
    // Drawn faded (hidden items), in blue (compressed), with a link overlay.
    bool IsGhosted() { return look() & kGhosted; }
    bool IsCompressed() { return look() & kCompressed; }
    int OverlayIndex() { return (look() & kLink) ? 1 : -1; }
    // The file's size; 0 for folders and items without file-system data.
    std::uint64_t Size();

private:
    friend class TVelShFileList;
    static constexpr std::uint8_t kLookRead = 1, kGhosted = 2, kCompressed = 4, kLink = 8;
    std::uint8_t look();

    TVelShFileList* list_;
    std::unique_ptr<std::vector<std::string>> details_;
    int index_ = -1;
    std::uint8_t look_ = 0;
    bool selected_ = false;
    bool listed_ = false; // has an entry in the list's selection order
};

class TVelShFileList {
public:
    static constexpr int kInitialCapacity = 1000;
    static constexpr int kDirectionCount = 5; // sort directions exist for columns 0-4

    struct TColumnCaption {
        std::string text;
        int alignment = 0; // 0 left, 1 right, 2 centre
    };
    // What an enumeration takes in.
    struct TEnumOptions {
        std::uint32_t flags = 0xE0; // SHCONTF_*
        TShVirtuaItems virtuaItems = TShVirtuaItems::defaults();
        std::function<bool(TVelShFileData* row)> accept; // OnShFilter
    };

    // owner: the list view; folderID is taken over.
    TVelShFileList(QObject* owner, PItemIDList folderID);
    ~TVelShFileList();
    TVelShFileList(const TVelShFileList&) = delete;
    TVelShFileList& operator=(const TVelShFileList&) = delete;

    QObject* Owner() const { return owner_; }
    PCItemIDList FolderID() const { return folderID_; }
    PCItemIDList ParentID();
    PCItemIDList LastID();
    int FolderLevel() const;
    // The folder's file-system path (the desktop's is the desktop folder);
    // empty when it has none.
    const std::string& Path();
    // The key of the folder's column layout: its path, or for the desktop and
    // folders without a path its display name.
    std::string FolderKey();
    // Whether the folder is the computer (whose rows are drives).
    bool IsComputer();

    int Count() const { return static_cast<int>(rows_.size()); }
    // Null outside 0..Count-1.
    TVelShFileData* Items(int index) const;

    int SortColumn() const { return sortColumn_; }
    void SetSortColumn(int column) { sortColumn_ = static_cast<std::uint8_t>(column); }
    // +1 ascending, -1 descending; +1 for columns without a direction.
    int SortDirection(int column) const;
    void SetSortDirection(int column, int direction);

    // Computed once: four columns for a file-system folder ("名前", "サイズ",
    // "ファイルの種類", "更新日時"), else only "名前".
    const std::vector<TColumnCaption>& Captions();

    // Reads the folder again: the rows, the selection and the total start
    // afresh, then the rows are sorted by the sort column. keepSelection: rows
    // of items that were selected (or focused) before stay so. False when the
    // folder cannot be read (the list is then empty). Read + Adopt in one.
    bool Enumerate(const TEnumOptions& options, bool keepSelection = false);

    // A folder's items read and ordered, made rows that belong to no list yet:
    // what a worker thread hands to the GUI thread. It owns the folder object
    // that read them (its sort data cached), which the rows share.
    struct TReading {
        PShellFolder folder;
        std::vector<std::unique_ptr<TVelShFileData>> rows; // in the sort column's order
        bool read = false;                                 // the folder could be read
        int column = 0, direction = 1;                     // the order they are in
    };
    // What Read needs of the list, copied on the GUI thread.
    struct TReadRequest {
        TIDListPtr folderID;
        std::uint32_t flags = 0;
        int column = 0;
        int direction = 1;
    };
    TReadRequest MakeReadRequest(std::uint32_t flags) const;
    // Reads and orders a folder's items without touching any list: safe on any
    // thread (the folder object is the reading's own). What the rows show is
    // still computed on the GUI thread, when they are drawn.
    static TReading Read(const TReadRequest& request);
    // Makes the reading's rows the list's, filtered (virtual items, OnShFilter),
    // keeping the selection as Enumerate does. GUI thread; the old rows are
    // freed a slice at a time between the window's events.
    bool Adopt(TReading reading, const TEnumOptions& options, bool keepSelection);
    // Frees at once the replaced rows still waiting for their slice (leak checks).
    static void FreeReplacedRows();
    // Sorts by column in that column's direction (lists of two rows or more).
    void Sort(int column);

    void SetSelected(TVelShFileData* row, bool selected);
    // The rows still selected, in the order they were selected.
    const std::vector<TVelShFileData*>& SelectedRows();
    int SelectedCount() const { return selectedCount_; }
    std::uint64_t SelectedSize() const { return selectedSize_; }
    TVelShFileData* Focused() const { return focused_; }
    void SetFocused(TVelShFileData* row) { focused_ = row; }

    // The first row from start on whose name begins with text (partial: holds
    // it anywhere), ignoring case, wrapping to the top when asked; -1 when none.
    int FindCaption(const QString& text, int start, bool wrap, bool partial = false) const;

private:
    void numberRows();

    QObject* owner_;
    PItemIDList folderID_;
    PItemIDList parentID_ = nullptr;
    PItemIDList lastID_ = nullptr;
    PShellFolder folder_;
    std::vector<std::unique_ptr<TVelShFileData>> rows_;
    std::vector<TColumnCaption> captions_;
    std::vector<TVelShFileData*> selected_; // may hold rows deselected since (lazy removal)
    std::string path_;
    std::uint64_t selectedSize_ = 0;
    TVelShFileData* focused_ = nullptr;
    int selectedCount_ = 0;
    int directions_[kDirectionCount] = {1, 1, 1, 1, 1};
    std::uint8_t sortColumn_ = 0;
    std::int8_t hasPath_ = -1;
    std::int8_t isComputer_ = -1;
};

class TVelShFileLists {
public:
    // More than kCapacity + 1 lists push the least recently shown one out.
    static constexpr int kCapacity = 30;

    int Count() const { return static_cast<int>(lists_.size()); }
    TVelShFileList* Items(int index) const;
    // The list of a folder (byte-equal ID), or -1.
    int IndexOf(PCItemIDList folderID) const;
    void MoveToFront(int index);
    // Inserts at the front; returns the lists pushed out.
    std::vector<std::unique_ptr<TVelShFileList>> Insert(std::unique_ptr<TVelShFileList> list);
    // Takes every list but keep out of the cache.
    std::vector<std::unique_ptr<TVelShFileList>> TakeAllBut(const TVelShFileList* keep);
    std::unique_ptr<TVelShFileList> Take(int index);

private:
    std::vector<std::unique_ptr<TVelShFileList>> lists_;
};

} // namespace kelvora
