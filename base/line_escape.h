#pragma once
// Text kept on one line of a small text file: a backslash, CR and LF become
// "\\", "\r" and "\n", so that names with line breaks survive a line-based file.
// Unescaping leaves any other backslash pair as its second character and a lone
// final backslash as it is.
#include <string>
#include <string_view>

namespace kelvora {

std::string EscapeLineBreaks(std::string_view text);
std::string UnescapeLineBreaks(std::string_view text);

} // namespace kelvora
