#pragma once
// Where the shared thumbnail cache keeps a file's thumbnail: the file's URI, and
// the cache file's name made from it, byte for byte as GLib makes them, so that
// file managers and photo tools find the same thumbnails.
#include <string>

namespace kelvora {

// "file://" and the absolute path's bytes, every byte percent-encoded (upper-case
// hex) except those g_filename_to_uri leaves as they are: A-Z a-z 0-9 - . _ ~ /
// and ! $ & ' ( ) * + , : = @. A relative path is taken from the working folder.
// The bytes are not converted from any code page: a name that is not valid text
// still has one URI.
std::string ThumbnailUri(const std::string& path);
// The cache file's name: the lower-case hex MD5 of the URI, then ".png".
std::string ThumbnailFileName(const std::string& uri);

} // namespace kelvora
