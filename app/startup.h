#pragma once
namespace kelvora {
// Registers the picture formats every part of the program reads: the built-in
// ones, then JPEG (whose 8-bit output is chosen from the display depth).
void registerPictureFormats(int displayDepth);
} // namespace kelvora
