// Walks the shell namespace from the desktop and prints each level: display
// name, item type, type name, path, attributes and icon.
//
//   kelvora-walk-namespace [--depth N] [--limit N] [--files] [--hidden]
//
// --depth: levels below the desktop to open (default 2); --limit: items shown
// per folder (default 20); --files: list files too; --hidden: hidden items too.
#include "shell/items/image_list.h"
#include "shell/items/root.h"
#include "shell/items/shell_item.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace kelvora;

namespace {

struct Options {
    int depth = 2;
    int limit = 20;
    bool files = false;
    bool hidden = false;
};

const char* typeName(TShItemIDType t) {
    static const char* const names[] = {"itUnknown", "itDeskTop",  "itMyComputer", "itRootDrive",
                                        "itFolder",  "itFile",     "itBitBucket",  "itNetWork",
                                        "itVirtual", "itInterNet", "itControls"};
    return t <= itControls ? names[t] : "?";
}

std::string attributeLetters(TVelShData& item) {
    static const struct {
        std::uint32_t flag;
        char letter;
    } flags[] = {{SFGAO_FOLDER, 'F'},       {SFGAO_FILESYSTEM, 'S'}, {SFGAO_FILESYSANCESTOR, 'A'},
                 {SFGAO_HASSUBFOLDER, '+'}, {SFGAO_HIDDEN, 'H'},     {SFGAO_LINK, 'L'},
                 {SFGAO_READONLY, 'R'},     {SFGAO_REMOVABLE, 'M'},  {SFGAO_COMPRESSED, 'C'},
                 {SFGAO_DROPTARGET, 'D'},   {SFGAO_CANRENAME, 'N'},  {SFGAO_CANDELETE, 'X'}};
    std::string s;
    for (const auto& f : flags)
        s += item.HasAttribute(f.flag) ? f.letter : '-';
    return s;
}

void print(TVelShData& item, int indent) {
    std::string name, path, type;
    item.GetDisplayName(name);
    item.GetPath(path);
    item.GetTypeName(type);
    const int icon = item.GetImageIndex();
    std::printf("%*s%s  [%s, %s]  %s  %s  icon %d (%s)\n", indent * 2, "", name.c_str(),
                typeName(item.GetItemType()), type.c_str(), path.empty() ? "-" : path.c_str(),
                attributeLetters(item).c_str(), icon,
                TShImageList::instance().iconName(icon).toUtf8().constData());
}

void walk(TVelShData& item, int level, const Options& o) {
    if (level > o.depth)
        return;
    PShellFolder folder;
    if (!item.BindFolder(folder)) {
        std::printf("%*s(cannot open)\n", (level + 1) * 2, "");
        return;
    }
    std::uint32_t flags = SHCONTF_FOLDERS;
    if (o.files)
        flags |= SHCONTF_NONFOLDERS;
    if (o.hidden)
        flags |= SHCONTF_INCLUDEHIDDEN;
    std::vector<TIDListPtr> ids;
    folder->EnumObjects(flags, ids);
    std::vector<std::unique_ptr<TVelShData>> children;
    for (TIDListPtr& id : ids)
        children.push_back(std::make_unique<TVelShData>(folder, id.release()));
    std::vector<TVelShData*> order;
    for (auto& c : children)
        order.push_back(c.get());
    ShSortDataList(order);
    int shown = 0;
    for (TVelShData* child : order) {
        if (shown++ == o.limit) {
            std::printf("%*s... %zu more\n", (level + 1) * 2, "", order.size() - o.limit);
            break;
        }
        print(*child, level + 1);
        if (child->HasAttribute(SFGAO_FOLDER))
            walk(*child, level + 1, o);
    }
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--depth") && i + 1 < argc) {
            o.depth = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--limit") && i + 1 < argc) {
            o.limit = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--files")) {
            o.files = true;
        } else if (!std::strcmp(argv[i], "--hidden")) {
            o.hidden = true;
        } else {
            std::fprintf(stderr, "usage: %s [--depth N] [--limit N] [--files] [--hidden]\n",
                         argv[0]);
            return 2;
        }
    }
    // Icons need a GUI application; without a display, draw off screen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    std::printf("attributes: F folder, S file system, A file-system ancestor, + has subfolder,\n"
                "H hidden, L link, R read-only, M removable, C compressed, D drop target,\n"
                "N can rename, X can delete\n\n");
    TVelShRoot root(nullptr, {});
    std::unique_ptr<TVelShData> desktop = ShCreateRootItem(root);
    if (!desktop) {
        std::fprintf(stderr, "the desktop has no ID\n");
        return 1;
    }
    print(*desktop, 0);
    walk(*desktop, 0, o);
    return 0;
}
