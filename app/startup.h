#pragma once
namespace kelvora {
// Registers the picture formats every part of the program reads: the built-in
// ones, then JPEG (whose 8-bit output is chosen from the display depth).
void registerPictureFormats(int displayDepth);
// Large blocks (decoded pictures, codec buffers) go back to the system as soon as
// they are freed, instead of staying in the heap of the thread that freed them:
// otherwise several workers converting pictures hold the memory of all of them.
void releaseLargeBlocksAtOnce();
} // namespace kelvora
