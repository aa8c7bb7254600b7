#pragma once
// Counting and cutting byte strings by characters of the system code page, so a
// multibyte character is never split and a trail byte never passes for ASCII.
// Character positions count from 1.
#include <string>
#include <string_view>

namespace kelvora {

// Number of characters of s.
int MbLen(std::string_view s);
// The part of s from its n-th character to its end; n <= 1 gives s, n past the end "".
std::string MbMidFrom(std::string_view s, int n);
// The last n characters of s; "" when n is 0 or larger than the character count.
std::string MbRight(std::string_view s, int n);

} // namespace kelvora
