#pragma once

#include "catalogue/recordtable.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace marovex::detail {

// One field's values, indexed by row slot. Integers and booleans use `ints`; texts use `texts` (UTF-8 for
// Unicode fields, Windows-1251 bytes for single-byte fields).
struct Column {
    FieldDef def;
    std::vector<std::int32_t> ints;
    std::vector<std::string> texts;
    std::vector<std::uint8_t> nulls; // 1: the field is empty

    bool isText() const { return def.type == FieldType::WideText || def.type == FieldType::Text; }
};

// Reads a table file: layout and rows in natural order. Raises TableError naming the file and the problem.
// `shown` names the file in messages when another one (a pending replacement) is read in its place.
std::vector<Column> readTableFile(const std::filesystem::path& file, const std::filesystem::path& shown = {});

// Writes the rows `order` (slots, in natural order) to a new file and renames it over `file`, so that a
// failure leaves the old file as it was. Raises TableError naming the file and the problem.
void writeTableFile(const std::filesystem::path& file, const std::vector<Column>& columns,
                    const std::vector<std::uint32_t>& order);

// Writes the rows to a new temporary file beside `file` (see temporaryBeside) and returns its path; the
// caller renames it. Errors name `file`, never the temporary, which is removed then.
std::filesystem::path writeTableTemporary(const std::filesystem::path& file, const std::vector<Column>& columns,
                                          const std::vector<std::uint32_t>& order);

// Texts are cut to a field's width: characters for Unicode fields, bytes for single-byte ones. Malformed
// UTF-8 becomes "?".
std::string cutUtf8(std::string_view utf8, int width);

} // namespace marovex::detail
