// UTF-16 strings of the engine and their conversion to the UTF-8 names the
// system takes. Engine texts and paths are std::u16string throughout; only the
// platform layer turns them into UTF-8 for system calls.
#pragma once

#include <cstdarg>
#include <string>

namespace pyxol {

std::string ToUtf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& text);
// Bytes 0x00..0xFF become U+0000..U+00FF (no character set applied).
std::u16string FromLatin1(const std::string& bytes);

// printf-style formatting into UTF-16. Supported conversions: %s (a
// const char16_t*), %u, %lu and %d (32-bit values, as the engine passes them),
// %% . Unknown conversions are copied as written.
std::u16string FormatU16(const char16_t* pattern, ...);
std::u16string FormatU16V(const char16_t* pattern, va_list args);

}  // namespace pyxol
