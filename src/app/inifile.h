#pragma once

#include "base/message.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marovex {

// A key that could not be written; the message is "Unable to write to " + the file's path.
class IniWriteError : public MessageError {
public:
    using MessageError::MessageError;
};

// An integer as the settings store it: optional sign, then decimal digits, or hexadecimal digits after
// "$" or "0x". Hexadecimal covers the full 32 bits ("$FFFFFFFF" is -1); decimal must fit a signed 32-bit
// integer. Anything else, including surrounding blanks, gives nothing.
std::optional<std::int32_t> parseInteger(std::string_view text);

// A Windows initialisation file of Windows-1251 bytes: "[section]" lines and "key=value" lines below them.
// Section and key names match ignoring case (by the fixed folding table); blanks around names and values
// are ignored, and so are matching quotes around a value (written where a value needs them to read back
// unchanged: outer blanks or outer quotes); lines starting with ";" are comments; key lines before the first
// section belong to none. Where a section or key occurs twice, the first occurrence counts. CR LF and LF line
// ends are both read.
//
// Every write replaces the file at once, atomically (a new file beside it, flushed, renamed over it),
// changing only the line of that key, or adding it; every other line of the file stays as it was.
class IniFile {
public:
    static constexpr std::size_t kMaxValueLength = 2047;

    // Takes in the file; an absent file reads as empty and is created by the first write. A file that is
    // no regular file (a FIFO, a link to a device), cannot be read or is larger than kSettingsFileLimit
    // raises FileError naming it.
    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& path() const { return m_path; }

    bool sectionExists(std::string_view section) const;
    bool valueExists(std::string_view section, std::string_view key) const;

    // The value, at most 2047 bytes; the default when the key is absent.
    std::string readString(std::string_view section, std::string_view key, std::string_view def) const;
    // An integer (see parseInteger); the default when absent or not a number.
    std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t def) const;
    // An integer as above, any value but 0 being true.
    bool readBool(std::string_view section, std::string_view key, bool def) const;

    // Raise IniWriteError when the file cannot be replaced, is write-protected, or the name or value
    // cannot be held by a line of the file (line breaks, "=" or "]" in names, empty names). The file and
    // this object then keep their previous content.
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value);
    void writeBool(std::string_view section, std::string_view key, bool value);

    // The bytes of the file as this object holds them.
    std::string content() const;

    // Creates the file empty when it does not exist; IniWriteError when that fails.
    static void createIfAbsent(const std::filesystem::path& path);

private:
    struct Parsed {
        enum Kind { Other, Section, Key } kind = Other;
        std::string_view name;  // section or key name, trimmed
        std::string_view value; // key value, trimmed
    };
    static Parsed parse(std::string_view line, bool first);
    // Index of the key's line, or -1.
    std::ptrdiff_t findKey(std::string_view section, std::string_view key) const;
    [[noreturn]] void failWrite() const;

    std::filesystem::path m_path;
    // Raw lines without their "\n" (a CR stays with its line); a final empty entry when the text ends
    // with a line break, so that joining with "\n" gives the file back byte for byte.
    std::vector<std::string> m_lines;
    bool m_crlf = true;
};

} // namespace marovex
