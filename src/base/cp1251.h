#pragma once

#include <string>
#include <string_view>
#include <utility>

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

// A file name as the system gives it, in Windows-1251: converted when it is UTF-8, taken byte for byte when
// it is not (an archive unpacked without converting its names keeps them in Windows-1251).
std::string fromFileName(std::string_view name);

} // namespace marovex::cp1251

namespace marovex {

// Text as Windows-1251 bytes, the form in which it is compared with the bytes of archive pages. A type of
// its own, so that a UTF-8 std::string can never be passed where such bytes are meant.
class Cp1251Text {
public:
    Cp1251Text() = default;
    // Takes bytes that already are Windows-1251.
    explicit Cp1251Text(std::string bytes) : m_bytes(std::move(bytes)) {}
    // Characters the code page cannot hold become "?", as cp1251::fromUtf8 makes them.
    static Cp1251Text fromUtf8(std::string_view utf8) { return Cp1251Text(cp1251::fromUtf8(utf8)); }

    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

} // namespace marovex
