#pragma once
// Drag data of shell items over Qt's drag data (QMimeData).
//
// Our own format carries an ID-list array laid out like the shell's: a u32
// count, count+1 u32 offsets from the start, then the parent's absolute ID and
// the children's IDs relative to it (all little-endian). text/uri-list is the
// file-drop list that other programs read and write.
#include "base/stringlist.h"
#include "shell/items/id_list_list.h"

#include <QByteArray>
#include <QMimeData>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

inline constexpr char kShellIDListArrayMime[] = "application/x-kelvora-shell-idlist-array";
inline constexpr char kUriListMime[] = "text/uri-list";

QByteArray ShEncodeIDListArray(PCItemIDList parent, const std::vector<PCItemIDList>& children);
// The parent and children of an array, copied; false (nothing allocated) when it
// is malformed.
bool ShDecodeIDListArray(const QByteArray& bytes, PItemIDList& parent,
                         std::vector<PItemIDList>& children);

// file:// URLs of raw path bytes, one a line (CR LF), and back; the decoding
// keeps local files only.
QByteArray ShEncodeUriList(const std::vector<std::string>& paths);
std::vector<std::string> ShDecodeUriList(const QByteArray& bytes);

class TVelShDragObject {
public:
    // EInvalidOperation "パラメータが不正です。" when data is null. The data is not owned.
    explicit TVelShDragObject(const QMimeData* data);
    ~TVelShDragObject();
    TVelShDragObject(const TVelShDragObject&) = delete;
    TVelShDragObject& operator=(const TVelShDragObject&) = delete;

    const QMimeData* DataObject() const { return data_; }
    // Items of the ID-list array, else files of the file-drop list, else 0.
    int ItemCount();
    // The parent and the items of the ID-list array. Without an array, the
    // files of the file-drop list that exist, under the deepest folder that
    // holds them all (an entry may then name an item several levels down).
    TVelShIDList& IDList();
    TStringList& Strings() { return strings_; }

    // Whether drag data offers shell items at all.
    static bool HasShellData(const QMimeData* data);

private:
    const QMimeData* data_;
    int itemCount_ = -1;
    std::unique_ptr<TVelShIDList> idList_;
    TStringList strings_;
};

} // namespace kelvora
