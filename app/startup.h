#pragma once
#include <memory>

namespace kelvora {
class TSPIs;
// Registers the picture formats every part of the program reads: the built-in
// ones, then JPEG (whose 8-bit output is chosen from the display depth); formats
// of plug-ins found later register as plug-in bitmaps.
void registerPictureFormats(int displayDepth);
// Takes them out of the picture loader again, plug-in bitmaps first, then JPEG;
// the built-in formats stay.
void unregisterPictureFormats();
// The picture formats for a program's life: registered when made, taken out at
// the program's end, once the windows and runs that decode through them are gone
// (so declare it before them).
class TPictureFormatsScope {
public:
    explicit TPictureFormatsScope(int displayDepth) { registerPictureFormats(displayDepth); }
    ~TPictureFormatsScope() { unregisterPictureFormats(); }
    TPictureFormatsScope(const TPictureFormatsScope&) = delete;
    TPictureFormatsScope& operator=(const TPictureFormatsScope&) = delete;
};
// Large blocks (decoded pictures, codec buffers) go back to the system as soon as
// they are freed, instead of staying in the heap of the thread that freed them:
// otherwise several workers converting pictures hold the memory of all of them.
void releaseLargeBlocksAtOnce();
// The plug-in manager set as the main window sets its own (no previews; Susie's
// folder and the program's), with the plug-ins loaded and their formats registered.
std::unique_ptr<TSPIs> loadPlugins();
} // namespace kelvora
