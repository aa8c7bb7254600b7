#include "shell/ui/item_opener.h"

#include "shell/items/shell_item.h"

namespace kelvora {

void ShOpenItem(TVelShData& item, TShellOpener& opener, const TShOpenHooks& hooks) {
    if (item.HasAttribute(SFGAO_LINK) && hooks.linkOpen()) {
        PItemIDList target = nullptr;
        if (!item.ResolveLink(target))
            return; // a broken link opens nothing
        TIDListPtr owned(target);
        TVelShData resolved(TVelShID::IDClone(target));
        if (resolved.HasAttribute(SFGAO_FOLDER))
            hooks.showFolder(target);
        else if (hooks.execute())
            item.Execute(opener);
        return;
    }
    if (hooks.execute())
        item.Execute(opener);
}

} // namespace kelvora
