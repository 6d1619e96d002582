#pragma once

#include <string>
#include <string_view>

// Exact Windows-1251 <-> Unicode conversion from one fixed table, independent of the system locale.
namespace marovex::cp1251 {

// The Unicode character of a byte. 0x98, unassigned in the code page, maps to U+0098 so that every
// byte survives a round trip.
char32_t toUnicode(unsigned char byte) noexcept;

// The byte of a Unicode character, or -1 when the code page cannot hold it.
int fromUnicode(char32_t ch) noexcept;

// Windows-1251 bytes to UTF-8.
std::string toUtf8(std::string_view bytes);

// UTF-8 to Windows-1251 bytes. Characters the code page cannot hold and malformed UTF-8 sequences
// become "?".
std::string fromUtf8(std::string_view utf8);

} // namespace marovex::cp1251
