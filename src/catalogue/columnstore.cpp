#include "catalogue/columnstore.h"

#include "base/cp1251.h"

#include <charconv>
#include <cstdint>

namespace marovex::detail {

namespace {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

} // namespace

std::vector<std::string_view> splitFieldList(std::string_view list) {
    std::vector<std::string_view> parts;
    while (!list.empty()) {
        const size_t semi = list.find(';');
        std::string_view part = list.substr(0, semi);
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ')
            part.remove_suffix(1);
        if (!part.empty()) parts.push_back(part);
        if (semi == std::string_view::npos) break;
        list.remove_prefix(semi + 1);
    }
    return parts;
}

// --- layout ----------------------------------------------------------------------------------------------

void ColumnStore::setLayout(std::vector<FieldDef> fields) {
    std::vector<Column> columns;
    for (FieldDef& f : fields) {
        Column c;
        c.def = std::move(f);
        if (!c.isText()) c.def.width = 0;
        columns.push_back(std::move(c));
    }
    load(std::move(columns));
    clearRows();
}

void ColumnStore::load(std::vector<Column> columns) {
    m_columns = std::move(columns);
    m_lowerNames.clear();
    m_defs.clear();
    for (const Column& c : m_columns) {
        m_lowerNames.push_back(lowerAscii(c.def.name));
        m_defs.push_back(c.def);
    }
    m_slotCount = m_columns.empty() ? 0 : std::uint32_t(m_columns.front().nulls.size());
    m_alive.assign(m_slotCount, 1);
}

int ColumnStore::fieldIndex(std::string_view name) const {
    const std::string lower = lowerAscii(name);
    for (size_t i = 0; i < m_lowerNames.size(); ++i)
        if (m_lowerNames[i] == lower) return int(i);
    return -1;
}

int ColumnStore::requireField(std::string_view name) const {
    const int i = fieldIndex(name);
    if (i < 0) throw TableError("field \"" + std::string(name) + "\" not found");
    return i;
}

std::vector<int> ColumnStore::fieldList(std::string_view list) const {
    std::vector<int> out;
    for (std::string_view part : splitFieldList(list))
        out.push_back(requireField(part));
    return out;
}

void ColumnStore::checkField(int field) const {
    if (field < 0 || size_t(field) >= m_columns.size())
        throw TableError("no field number " + std::to_string(field));
}

// --- rows ------------------------------------------------------------------------------------------------

void ColumnStore::clearRows() {
    m_slotCount = 0;
    m_alive.clear();
    for (Column& c : m_columns) {
        c.ints.clear();
        c.texts.clear();
        c.nulls.clear();
    }
}

std::uint32_t ColumnStore::addSlot() {
    const std::uint32_t s = m_slotCount++;
    m_alive.push_back(1);
    for (Column& c : m_columns) {
        c.nulls.push_back(1);
        if (c.isText())
            c.texts.emplace_back();
        else
            c.ints.push_back(0);
    }
    return s;
}

void ColumnStore::store(std::uint32_t slot, int field, Cell& cell) {
    Column& c = m_columns[size_t(field)];
    c.nulls[slot] = cell.null ? 1 : 0;
    if (c.isText())
        c.texts[slot] = cell.null ? std::string() : std::move(cell.s);
    else
        c.ints[slot] = cell.null ? 0 : cell.i;
}

void ColumnStore::removeSlot(std::uint32_t slot) {
    m_alive[slot] = 0;
    for (Column& c : m_columns) {
        c.nulls[slot] = 1;
        if (c.isText()) std::string().swap(c.texts[slot]);
    }
}

Cell ColumnStore::cellOf(std::uint32_t slot, int field) const {
    const Column& c = m_columns[size_t(field)];
    Cell cell;
    cell.null = c.nulls[slot];
    if (c.isText())
        cell.s = c.texts[slot];
    else
        cell.i = c.ints[slot];
    return cell;
}

void ColumnStore::reserve(size_t rows) {
    m_alive.reserve(rows);
    for (Column& c : m_columns) {
        c.nulls.reserve(rows);
        if (c.isText())
            c.texts.reserve(rows);
        else
            c.ints.reserve(rows);
    }
}

void ColumnStore::swapRows(ColumnStore& other) {
    for (size_t i = 0; i < m_columns.size(); ++i) {
        m_columns[i].ints.swap(other.m_columns[i].ints);
        m_columns[i].texts.swap(other.m_columns[i].texts);
        m_columns[i].nulls.swap(other.m_columns[i].nulls);
    }
    std::swap(m_slotCount, other.m_slotCount);
    m_alive.swap(other.m_alive);
}

// --- values ----------------------------------------------------------------------------------------------

std::int32_t ColumnStore::asInt(std::uint32_t slot, int field) const {
    const Column& c = m_columns.at(size_t(field));
    if (c.isText()) {
        std::int32_t v = 0;
        const std::string& t = c.texts[slot];
        std::from_chars(t.data(), t.data() + t.size(), v);
        return v;
    }
    return c.ints[slot];
}

std::string ColumnStore::asText(std::uint32_t slot, int field) const {
    const Column& c = m_columns.at(size_t(field));
    if (c.def.type == FieldType::WideText) return c.texts[slot];
    if (c.def.type == FieldType::Text) return cp1251::toUtf8(c.texts[slot]);
    if (c.nulls[slot]) return {};
    if (c.def.type == FieldType::Boolean) return c.ints[slot] ? "True" : "False";
    return std::to_string(c.ints[slot]);
}

FieldValue ColumnStore::value(std::uint32_t slot, int field) const {
    const Column& c = m_columns[size_t(field)];
    if (c.nulls[slot]) return FieldValue{};
    if (c.def.type == FieldType::Boolean) return FieldValue{c.ints[slot] != 0};
    if (c.isText()) return FieldValue{asText(slot, field)};
    return FieldValue{c.ints[slot]};
}

// --- values of an edit -----------------------------------------------------------------------------------

std::int32_t ColumnStore::cellAsInt(int field, const Cell& cell) const {
    if (cell.null) return 0;
    if (m_columns[size_t(field)].isText()) {
        std::int32_t v = 0;
        std::from_chars(cell.s.data(), cell.s.data() + cell.s.size(), v);
        return v;
    }
    return cell.i;
}

std::string ColumnStore::cellAsText(int field, const Cell& cell) const {
    const FieldType t = m_columns[size_t(field)].def.type;
    if (cell.null) return {};
    if (t == FieldType::WideText) return cell.s;
    if (t == FieldType::Text) return cp1251::toUtf8(cell.s);
    if (t == FieldType::Boolean) return cell.i ? "True" : "False";
    return std::to_string(cell.i);
}

void ColumnStore::setCellInt(int field, Cell& cell, std::int32_t value) const {
    const Column& col = m_columns[size_t(field)];
    if (col.isText()) {
        setCellText(field, cell, std::to_string(value));
        return;
    }
    cell.null = false;
    cell.i = col.def.type == FieldType::Boolean ? (value != 0) : value;
}

void ColumnStore::setCellText(int field, Cell& cell, std::string_view utf8) const {
    const Column& col = m_columns[size_t(field)];
    if (!col.isText()) {
        std::int32_t v = 0;
        auto [ptr, ec] = std::from_chars(utf8.data(), utf8.data() + utf8.size(), v);
        if (utf8.empty()) {
            cell = Cell{};
            return;
        }
        if (ec != std::errc() || ptr != utf8.data() + utf8.size())
            throw TableError("\"" + std::string(utf8) + "\" is not a valid integer for field " +
                             col.def.name);
        setCellInt(field, cell, v);
        return;
    }
    if (col.def.type == FieldType::WideText) {
        cell.s = cutUtf8(utf8, col.def.width);
    } else {
        cell.s = cp1251::fromUtf8(utf8);
        if (cell.s.size() > size_t(col.def.width)) cell.s.resize(size_t(col.def.width));
    }
    cell.null = cell.s.empty();
}

std::string ColumnStore::refusal(const std::vector<Cell>& row) const {
    for (size_t f = 0; f < m_columns.size(); ++f) {
        const Column& c = m_columns[f];
        const Cell& cell = row[f];
        if (c.def.type == FieldType::Int16 && !cell.null && (cell.i < INT16_MIN || cell.i > INT16_MAX))
            return "Value " + std::to_string(cell.i) + " is out of range for field " + c.def.name;
    }
    return {};
}

} // namespace marovex::detail
