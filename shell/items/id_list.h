#pragma once
// ID lists: the byte sequences that name items of the shell namespace.
//
// An ID list is a run of items, each an unsigned 16-bit little-endian byte count
// (counting its own two bytes) followed by the item's bytes, ended by a count of 0.
// The empty list (only the terminator) is the desktop. Every ID list is allocated
// and freed through TShellAllocator.
//
// The items of this namespace are laid out as  u16 cb | u8 kind | payload,  where
// the payload is raw bytes from the disk (never re-encoded), so that two items
// are the same item exactly when their bytes are equal.
#include "shell/items/shell_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kelvora {

// Opaque: an ID list is only ever handled through pointers to its first byte.
struct ItemIDList;
using PItemIDList = ItemIDList*;
using PCItemIDList = const ItemIDList*;

class TShellFolder;
using PShellFolder = std::shared_ptr<TShellFolder>;

// The one allocator of ID lists. Counts live blocks so that leaks show in tests.
class TShellAllocator {
public:
    static void* Alloc(std::size_t size); // zero-filled; null when out of memory
    static void Free(void* block);        // null is ignored
    static long LiveBlocks();
};

// Kinds of items (the byte after the count).
enum class TShItemKind : std::uint8_t {
    Virtual = 0x1F,      // payload: one TShVirtualFolder byte
    Drive = 0x2F,        // payload: the mount point
    Entry = 0x30,        // payload: a name inside the parent folder
    DesktopEntry = 0x31, // payload: a name inside the desktop folder
    TrashEntry = 0x32,   // payload: trash folder, NUL, name in its files/ folder
};

enum class TShVirtualFolder : std::uint8_t { Home = 1, Computer = 2, Network = 3, Trash = 4 };

// The root class of the browser's items; its class operations work on ID lists.
class TVelShID {
public:
    virtual ~TVelShID() = default;

    static PItemIDList IDAlloc(int size);
    static void IDFree(PItemIDList& id);
    static int IDSize(PCItemIDList id);
    static int IDCount(PCItemIDList id);
    static PItemIDList IDNext(PItemIDList id);
    static PCItemIDList IDNext(PCItemIDList id);
    // The last item, not copied; for the empty list the terminator itself.
    static PItemIDList IDLast(PItemIDList id);
    static PCItemIDList IDLast(PCItemIDList id);
    static PItemIDList IDClone(PCItemIDList id);
    static PItemIDList IDCopyFirst(PCItemIDList id);
    static PItemIDList IDCopyLast(PCItemIDList id);
    static PItemIDList IDCopyParent(PCItemIDList id);
    static PItemIDList IDConcat(PCItemIDList a, PCItemIDList b);
    static bool IDIsEqual(PCItemIDList a, PCItemIDList b);
    static bool IDIsAncestor(PCItemIDList a, PCItemIDList b);

    // Results of IDCompare.
    enum : int { cmpEqual = 0, cmpAfter = 1, cmpBefore = 2, cmpFailed = 3 };
    // Order of two relative IDs inside folder, by the given column (0 name,
    // 1 size, 2 type, 3 modified).
    static int IDCompare(const PShellFolder& folder, PCItemIDList a, PCItemIDList b,
                         int column = 0);
    static int IDCompareInDesktop(PCItemIDList a, PCItemIDList b);

    static bool IDGetPath(PCItemIDList id, std::string& path);
    static bool IDGetDisplayName(const PShellFolder& folder, PCItemIDList id, std::uint32_t flags,
                                 std::string& text);
    static bool IDSpecialFolder(TShSpecialFolderID sfid, PItemIDList& id);
    static bool IDParse(const std::string& path, PItemIDList& id);
    // Index in the system image list (the same index in the small and large list).
    static int IDSystemIconIndex(PCItemIDList id, bool large, bool open);
    static bool IsSpecialFolder(PCItemIDList id, TShSpecialFolderID sfid);
    static bool IsUnderMyComputer(PCItemIDList id);
};

// Owning pointer for ID lists held inside the shell code.
struct TIDListDeleter {
    void operator()(ItemIDList* id) const { TVelShID::IDFree(id); }
};
using TIDListPtr = std::unique_ptr<ItemIDList, TIDListDeleter>;

// --- Items of this namespace -------------------------------------------------

// A one-item list of kind and payload; null when the payload does not fit.
PItemIDList IDMakeItem(TShItemKind kind, std::string_view payload);
PItemIDList IDMakeVirtual(TShVirtualFolder folder);
// A new empty list (the desktop).
PItemIDList IDMakeEmpty();

// The first item's kind byte (0 for null or empty lists) and payload.
std::uint8_t IDItemKind(PCItemIDList id);
std::string_view IDItemPayload(PCItemIDList id);
// The first item's bytes after the count (kind and payload): the identity of
// the item inside its folder.
std::string_view IDItemBytes(PCItemIDList id);

// Size of a well-formed ID list that starts at data and lies within size bytes
// (terminator included), 0 when it is cut off or malformed. For data from outside.
int IDValidSize(const void* data, std::size_t size);

inline const std::uint8_t* IDBytes(PCItemIDList id) {
    return reinterpret_cast<const std::uint8_t*>(id);
}
inline PCItemIDList IDFromBytes(const void* p) {
    return static_cast<PCItemIDList>(p);
}

} // namespace kelvora
