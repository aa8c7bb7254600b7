#pragma once
// The picture formats the program reads without plug-ins: bitmaps, icons and
// metafiles. JPEG registers itself separately.
namespace kelvora {
void registerBuiltinFormats();
void unregisterBuiltinFormats();
} // namespace kelvora
