#include "app/inifile.h"

#include "base/atomicfile.h"
#include "base/regularfile.h"
#include "base/textops.h"

#include <limits>
#include <system_error>

namespace marovex {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isBlankLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return trim(line).empty();
}

// Matching single or double quotes around a value are not part of it; they keep outer blanks.
bool isQuoted(std::string_view v) {
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

// A value that would not read back as written (outer blanks, or outer quotes that reading removes)
// is stored within a pair of double quotes.
std::string storedValue(std::string_view value) {
    if (value.empty()) return {};
    std::string out;
    if (isSpace(value.front()) || isSpace(value.back()) || isQuoted(value)) {
        out.reserve(value.size() + 2);
        out += '"';
        out += value;
        out += '"';
    } else {
        out = value;
    }
    return out;
}

bool hasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

std::optional<std::int32_t> parseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    bool hex = false;
    if (!text.empty() && text.front() == '$') {
        hex = true;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (char c : text) {
        const int d = hex ? hexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + std::uint64_t(d);
        if (value > limit) return std::nullopt;
    }
    // Two's complement wrap, so that eight hexadecimal digits reach every 32-bit pattern.
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
}

IniFile::IniFile(std::filesystem::path path) : m_path(std::move(path)) {
    // A file that cannot be read raises rather than reading as empty: a later write would put the few keys
    // it sets in place of everything the file holds.
    const std::string bytes =
        readRegularFile(m_path, kSettingsFileLimit, Links::Follow).value_or(std::string());
    std::size_t start = 0;
    while (true) {
        const std::size_t nl = bytes.find('\n', start);
        if (nl == std::string::npos) {
            m_lines.emplace_back(bytes, start);
            break;
        }
        m_lines.emplace_back(bytes, start, nl - start);
        start = nl + 1;
    }
    // New lines follow the file's own line ends; a new or empty file gets CR LF.
    if (m_lines.size() > 1) m_crlf = !m_lines.front().empty() && m_lines.front().back() == '\r';
}

IniFile::Parsed IniFile::parse(std::string_view line, bool first) {
    if (first && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3); // a stray UTF-8 mark
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = trim(line);
    Parsed p;
    if (line.empty() || line.front() == ';') return p;
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        p.kind = Parsed::Section;
        p.name = trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        return p;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return p;
    p.name = trim(line.substr(0, eq));
    if (p.name.empty()) return p;
    p.kind = Parsed::Key;
    p.value = trim(line.substr(eq + 1));
    if (isQuoted(p.value)) p.value = p.value.substr(1, p.value.size() - 2);
    return p;
}

std::ptrdiff_t IniFile::findKey(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Parsed p = parse(m_lines[i], i == 0);
        if (p.kind == Parsed::Section) {
            inSection = text::SameTextFolded(p.name, section);
        } else if (p.kind == Parsed::Key && inSection && text::SameTextFolded(p.name, key)) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

bool IniFile::sectionExists(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Parsed p = parse(m_lines[i], i == 0);
        if (p.kind == Parsed::Section && text::SameTextFolded(p.name, section)) return true;
    }
    return false;
}

bool IniFile::valueExists(std::string_view section, std::string_view key) const {
    return findKey(section, key) >= 0;
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view def) const {
    const std::ptrdiff_t i = findKey(section, key);
    if (i < 0) return std::string(def);
    const Parsed p = parse(m_lines[std::size_t(i)], i == 0);
    return std::string(p.value.substr(0, kMaxValueLength));
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key, std::int32_t def) const {
    const std::ptrdiff_t i = findKey(section, key);
    if (i < 0) return def;
    const Parsed p = parse(m_lines[std::size_t(i)], i == 0);
    return parseInteger(p.value.substr(0, kMaxValueLength)).value_or(def);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

std::string IniFile::content() const {
    std::string out;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (i > 0) out += '\n';
        out += m_lines[i];
    }
    return out;
}

void IniFile::failWrite() const {
    throw IniWriteError("Unable to write to " + platform::pathToUtf8(m_path));
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    // A name or value that a line cannot hold would change other keys or be read back differently.
    const std::string_view tkey = trim(key);
    const std::string_view tsection = trim(section);
    if (tsection.empty() || tkey.empty() || hasLineBreak(section) || hasLineBreak(key) ||
        hasLineBreak(value) || section.find(']') != std::string_view::npos ||
        key.find('=') != std::string_view::npos || tkey.front() == '[' || tkey.front() == ';')
        failWrite();

    const std::string cr = m_crlf ? "\r" : "";
    std::vector<std::string> lines = m_lines;
    const std::ptrdiff_t existing = findKey(section, key);
    if (existing >= 0) {
        // The key keeps its spelling in the file; only its value changes.
        const Parsed p = parse(lines[std::size_t(existing)], existing == 0);
        const bool hadCr =
            !lines[std::size_t(existing)].empty() && lines[std::size_t(existing)].back() == '\r';
        lines[std::size_t(existing)] = std::string(p.name) + "=" + storedValue(value) + (hadCr ? "\r" : "");
    } else {
        // After the last non-blank line of the first section of that name, or a new section at the end.
        std::ptrdiff_t sectionLine = -1;
        std::size_t insertAt = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Parsed p = parse(lines[i], i == 0);
            if (p.kind == Parsed::Section) {
                if (sectionLine >= 0) break;
                if (text::SameTextFolded(p.name, section)) {
                    sectionLine = std::ptrdiff_t(i);
                    insertAt = i + 1;
                }
            } else if (sectionLine >= 0 && !isBlankLine(lines[i])) {
                insertAt = i + 1;
            }
        }
        const std::string keyLine = std::string(tkey) + "=" + storedValue(value) + cr;
        if (sectionLine >= 0) {
            if (insertAt == lines.size()) { // the section is the last text of a file without a final break
                if (!lines.back().empty() && lines.back().back() != '\r') lines.back() += cr;
                lines.emplace_back();
                insertAt = lines.size() - 1;
            }
            lines.insert(lines.begin() + std::ptrdiff_t(insertAt), keyLine);
        } else {
            if (!lines.back().empty()) { // no final line break yet
                if (lines.back().back() != '\r') lines.back() += cr;
                lines.emplace_back();
            }
            lines.insert(lines.end() - 1, {"[" + std::string(tsection) + "]" + cr, keyLine});
        }
    }

    std::error_code ec;
    const auto status = std::filesystem::status(m_path, ec);
    const bool exists = !ec && std::filesystem::exists(status);
    if (exists &&
        (status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
        failWrite(); // write-protected
    std::string bytes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) bytes += '\n';
        bytes += lines[i];
    }
    try {
        writeFileAtomically(m_path, bytes);
    } catch (const std::exception&) {
        failWrite();
    }
    if (exists) std::filesystem::permissions(m_path, status.permissions(), ec); // keep the file's mode
    m_lines = std::move(lines);
}

void IniFile::writeInteger(std::string_view section, std::string_view key, std::int32_t value) {
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

void IniFile::createIfAbsent(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return;
    try {
        writeFileAtomically(path, {});
    } catch (const std::exception&) {
        throw IniWriteError("Unable to write to " + platform::pathToUtf8(path));
    }
}

} // namespace marovex
