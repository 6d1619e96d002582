#include "catalogue/tabledump.h"

#include <cstdio>

namespace marovex {

std::string jsonQuote(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

namespace {
std::string csvQuote(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos && (s.empty() || (s.front() != ' ' && s.back() != ' ')))
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}
} // namespace

void dumpTable(const RecordTable& table, DumpFormat format, std::ostream& out) {
    const auto& fields = table.fields();
    if (format == DumpFormat::Csv) {
        for (size_t f = 0; f < fields.size(); ++f) out << (f ? "," : "") << csvQuote(fields[f].name);
        out << "\r\n";
    }
    for (int row = 0; row < table.rowCount(); ++row) {
        const RowRef r = table.rowAt(row);
        std::string line = format == DumpFormat::Jsonl ? "{" : "";
        for (size_t f = 0; f < fields.size(); ++f) {
            const int i = int(f);
            const bool text = fields[f].type == FieldType::WideText || fields[f].type == FieldType::Text;
            std::string value;
            if (format == DumpFormat::Jsonl) {
                if (r.isNull(i))
                    value = "null";
                else if (text)
                    value = jsonQuote(r.asText(i));
                else if (fields[f].type == FieldType::Boolean)
                    value = r.asBool(i) ? "true" : "false";
                else
                    value = std::to_string(r.asInt(i));
                line += (f ? "," : "") + jsonQuote(fields[f].name) + ":" + value;
            } else {
                if (!r.isNull(i))
                    value = fields[f].type == FieldType::Boolean ? (r.asBool(i) ? "true" : "false") : r.asText(i);
                line += (f ? "," : "") + csvQuote(value);
            }
        }
        out << line << (format == DumpFormat::Jsonl ? "}\n" : "\r\n");
    }
}

} // namespace marovex
