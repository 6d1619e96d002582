#pragma once

#include "catalogue/recordtable.h"
#include "catalogue/tablefile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marovex::detail {

// One value as an edit holds it before it is stored: integers and booleans in `i`, texts in `s` in the
// field's own encoding.
struct Cell {
    bool null = true;
    std::int32_t i = 0;
    std::string s;
    bool operator==(const Cell&) const = default;
};

// "A; B;C" -> {"A", "B", "C"}: blanks around names and empty parts dropped.
std::vector<std::string_view> splitFieldList(std::string_view list);

// The values of a table's rows, one column per field, indexed by row slot. A slot is handed out once and
// never reused until every row is dropped, so a deleted row leaves an empty, dead slot behind.
class ColumnStore {
public:
    // --- Layout ------------------------------------------------------------------------------------
    // A new layout without rows.
    void setLayout(std::vector<FieldDef> fields);
    // Layout and rows as read from a file; the rows take slots 0, 1, ... in the order given.
    void load(std::vector<Column> columns);
    const std::vector<FieldDef>& defs() const { return m_defs; }
    size_t fieldCount() const { return m_columns.size(); }
    int fieldIndex(std::string_view name) const; // ignores letter case; -1 when absent
    int requireField(std::string_view name) const;
    std::vector<int> fieldList(std::string_view list) const; // every name must exist
    void checkField(int field) const;                        // raises TableError for a bad number
    const Column& column(int field) const { return m_columns[size_t(field)]; }
    const std::vector<Column>& columns() const { return m_columns; }

    // --- Rows --------------------------------------------------------------------------------------
    std::uint32_t slotCount() const { return m_slotCount; }
    bool alive(std::uint32_t slot) const { return m_alive[slot] != 0; }
    void clearRows();
    std::uint32_t addSlot(); // a live slot with every field empty
    // Takes over the cell's text: the edit it belongs to ends with the store.
    void store(std::uint32_t slot, int field, Cell& cell);
    void removeSlot(std::uint32_t slot); // the slot stays, dead and empty
    Cell cellOf(std::uint32_t slot, int field) const;
    void reserve(size_t rows);
    // Exchanges every row with `other`, which has the same layout.
    void swapRows(ColumnStore& other);

    // --- Values by slot (out-of-range field numbers raise std::out_of_range) --------------------------
    bool isNull(std::uint32_t slot, int field) const { return m_columns.at(size_t(field)).nulls[slot] != 0; }
    std::int32_t asInt(std::uint32_t slot, int field) const;
    std::string asText(std::uint32_t slot, int field) const;           // UTF-8
    std::string_view storedText(std::uint32_t slot, int field) const { // inline: filters call it per row
        const Column& c = m_columns.at(size_t(field));
        return c.isText() ? std::string_view(c.texts[slot]) : std::string_view();
    }
    FieldValue value(std::uint32_t slot, int field) const; // monostate when empty

    // --- Values of an edit, by the rules of the field's type ------------------------------------------
    std::int32_t cellAsInt(int field, const Cell& cell) const;
    std::string cellAsText(int field, const Cell& cell) const; // UTF-8
    // A text field stores the integer as text; a boolean keeps only whether it is zero.
    void setCellInt(int field, Cell& cell, std::int32_t value) const;
    // A text is cut to the field's width; an integer field takes the text's number, and raises TableError
    // for a text that is not one. Empty text makes the value empty.
    void setCellText(int field, Cell& cell, std::string_view utf8) const;
    // Why a field cannot hold its value of this row (a 16-bit field out of range); empty when all fit.
    std::string refusal(const std::vector<Cell>& row) const;

private:
    std::vector<Column> m_columns;
    std::vector<FieldDef> m_defs;
    std::vector<std::string> m_lowerNames;
    std::uint32_t m_slotCount = 0;
    std::vector<std::uint8_t> m_alive;
};

} // namespace marovex::detail
