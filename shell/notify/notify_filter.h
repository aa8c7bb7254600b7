#pragma once
// The change filter of a notification thread: one byte, one bit per kind of change.
#include <cstdint>

namespace kelvora {

inline constexpr std::uint8_t kNotifyFileName = 0x01;   // files created, deleted, renamed
inline constexpr std::uint8_t kNotifyDirName = 0x02;    // folders created, deleted, renamed
inline constexpr std::uint8_t kNotifyAttributes = 0x04; // mode, owner, times set explicitly
inline constexpr std::uint8_t kNotifySize = 0x08;       // a file written
inline constexpr std::uint8_t kNotifyLastWrite = 0x10;  // a file written and closed
inline constexpr std::uint8_t kNotifyLastAccess = 0x20; // a file or folder read
inline constexpr std::uint8_t kNotifyCreation = 0x40;   // anything created
inline constexpr std::uint8_t kNotifySecurity = 0x80;   // mode, owner, ACLs

} // namespace kelvora
