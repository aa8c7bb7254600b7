#pragma once
// What an output of the album depends on besides its source file: the settings
// of its kind and the decoder that reads the source. Two runs whose texts agree
// write the same bytes from the same source, so an output made by the earlier
// one can stay.
#include "album/picture_settings.h"

#include <string>

namespace kelvora {

// Every field of the settings, by name and value. A field added to
// TPictureSettings breaks the build here until it is listed.
std::string OutputShape(const TPictureSettings& settings);

// The program's version, and for a picture read through a plug-in every loaded
// plug-in's file, size and mtime (any of them may be offered the file).
std::string DecoderOf(const std::string& sourceFile);

} // namespace kelvora
