#pragma once

#include "catalogue/recordtable.h"

#include <ostream>

namespace marovex {

enum class DumpFormat { Jsonl, Csv };

// Writes every row of the table's view, in view order: JSON lines (field names as keys, in field order;
// empty fields as null) or CSV with a header line. Texts are UTF-8.
void dumpTable(const RecordTable& table, DumpFormat format, std::ostream& out);

std::string jsonQuote(std::string_view utf8);

} // namespace marovex
