#pragma once

#include "base/message.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace marovex {

enum class FieldType {
    Int32,
    Int16,
    WideText, // Unicode text; width counted in characters; held as UTF-8
    Text,     // single-byte Windows-1251 text; width counted in bytes
    Boolean,
};

struct FieldDef {
    std::string name;
    FieldType type = FieldType::Int32;
    int width = 0; // text fields only

    bool operator==(const FieldDef&) const = default;
};

// A field value as callers pass it to locate and lookup. Texts are UTF-8 whatever the field type.
using FieldValue = std::variant<std::monostate, std::int32_t, std::string, bool>;

class TableError : public MessageError {
public:
    using MessageError::MessageError;
};

// Raised when a store was refused and the table's error reaction asked to stop the command quietly.
class StoreAborted : public MessageError {
public:
    StoreAborted() : MessageError(std::string("store refused")) {}
};

class RecordTable;

struct LocateOptions {
    bool ignoreCase = false;
};

// Read access to one row of the table, current or not (used by filter predicates).
class RowRef {
public:
    RowRef(const RecordTable& table, std::uint32_t slot) : m_table(&table), m_slot(slot) {}
    bool isNull(int field) const;
    std::int32_t asInt(int field) const;
    std::string asText(int field) const;
    bool asBool(int field) const;
    // The stored text without a copy: UTF-8 for Unicode fields, Windows-1251 bytes for single-byte ones.
    std::string_view storedText(int field) const;

private:
    const RecordTable* m_table;
    std::uint32_t m_slot;
};

struct Bookmark {
    std::uint64_t epoch = 0;
    std::uint32_t slot = 0;
    bool isNull() const { return epoch == 0; }
};

// Receives display notifications; the grid model is one.
class TableObserver {
public:
    virtual ~TableObserver() = default;
    // Rows, order, filter or many values changed: everything shown must be read again.
    virtual void tableReset() = 0;
    // Values of the row at this view position changed.
    virtual void rowChanged(int viewPos) = 0;
    // The current row moved.
    virtual void currentChanged(int viewPos) = 0;
};

// An in-memory table of typed rows with a cursor, sort key lists, a filter predicate and file persistence.
//
// Rows live in slots that are never reused while the table is open, so a bookmark stays meaningful. The
// natural order is the order rows were added in; the sorted order holds every row by the sort key list
// (stable, natural order breaking ties); the view is the sorted order narrowed by the filter.
class RecordTable {
public:
    enum class State { Inactive, Browse, Edit, Insert };
    enum class ErrorAction { Fail, Abort };

    using FilterPredicate = std::function<bool(const RowRef&)>;
    using BeforeEditHandler = std::function<bool(RecordTable&)>;                             // false refuses
    using PostErrorHandler = std::function<ErrorAction(RecordTable&, const std::string&)>; // store refused

    RecordTable();
    ~RecordTable();
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;

    // --- Layout and life cycle ---------------------------------------------------------------------
    // Defines the layout of a table that is not open; rows are dropped.
    void setFields(std::vector<FieldDef> fields);
    const std::vector<FieldDef>& fields() const;
    int fieldIndex(std::string_view name) const; // ignores letter case; -1 when absent
    int field(std::string_view name) const;      // as fieldIndex, but raises TableError when absent

    void setFileName(std::filesystem::path file);
    const std::filesystem::path& fileName() const;
    // Loads layout and rows from the file (or from `readFrom`, a pending replacement of it, which messages do
    // not name). A file that is not a valid table raises TableError naming the file and the problem, and
    // the table stays closed.
    void open(const std::filesystem::path& readFrom = {});
    // Opens an empty table of the current layout that is bound to no file (tests, generators).
    void openEmpty();
    // Writes the table back to its file when it changed since it was opened, then closes it. When the
    // write fails the error is raised and the table stays open with its rows.
    void close();
    // Closes without writing anything back.
    void discard();
    // What closing does before it writes: a pending edit is stored, and one that is refused is cancelled
    // (its refusal was reported when it happened).
    void storePendingForClose();
    // Writes every row to a new temporary file beside the table's file and returns its path, for a caller
    // that replaces several files together. The table stays open and modified.
    std::filesystem::path writeTemporary() const;
    bool isOpen() const;
    bool isModified() const;
    // Writes the whole table to another file (atomically replacing it).
    void saveToFile(const std::filesystem::path& file) const;

    // --- Cursor ------------------------------------------------------------------------------------
    State state() const;
    int rowCount() const; // rows of the view, filter applied
    bool isEmpty() const { return rowCount() == 0; }
    int position() const; // 0-based view position of the current row, -1 when none
    bool first();
    bool last();
    bool next();
    bool moveTo(int viewPos);
    bool eof() const; // a move went past the last row (or the view is empty)

    // --- Values of the current row (the pending edit while editing) -----------------------------------
    bool isNull(int field) const;
    std::int32_t asInt(int field) const;
    std::string asText(int field) const; // UTF-8
    bool asBool(int field) const;
    void setInt(int field, std::int32_t value);
    void setText(int field, std::string_view utf8); // cut to the field width; empty text stores empty
    void setBool(int field, bool value);
    void setNull(int field);
    // By name, letter case ignored.
    bool isNull(std::string_view name) const { return isNull(field(name)); }
    std::int32_t asInt(std::string_view name) const { return asInt(field(name)); }
    std::string asText(std::string_view name) const { return asText(field(name)); }
    bool asBool(std::string_view name) const { return asBool(field(name)); }
    void setInt(std::string_view name, std::int32_t v) { setInt(field(name), v); }
    void setText(std::string_view name, std::string_view v) { setText(field(name), v); }
    void setBool(std::string_view name, bool v) { setBool(field(name), v); }
    void setNull(std::string_view name) { setNull(field(name)); }
    // Values of any view row, without moving the cursor.
    RowRef rowAt(int viewPos) const;

    // --- Changes -----------------------------------------------------------------------------------
    void append();   // a new empty row at the end becomes current, in Insert state
    bool edit();     // false when refused; no row is created on an empty view
    // Stores the pending edit or insertion. A value a field cannot hold (a 16-bit field out of range) is
    // refused: the post-error reaction runs, then StoreAborted (reaction Abort) or TableError (reaction
    // Fail) is raised, and the row stays in editing.
    void post();
    void cancel();
    void deleteRow(); // its successor becomes current (the predecessor when it was the last)
    void emptyTable(); // removes every row at once
    // Makes room for this many rows in all, so that adding them does not move the table in memory again
    // and again: at a million rows each move copies hundreds of megabytes into fresh memory.
    void reserve(int rows);
    // Replaces every row, and the sort key list with the order it gives, by those of `other` (same layout),
    // which is left empty. The file binding, filter, reactions and observers stay; the first row of the view
    // becomes current.
    void adoptRows(RecordTable& other);

    void setBeforeEdit(BeforeEditHandler handler);
    void setPostError(PostErrorHandler handler);

    // --- Order and filter --------------------------------------------------------------------------
    const std::string& sortKeys() const;
    void setSortKeys(std::string_view fieldList); // "A;B;C", each ascending; empty = natural order
    void setFilterPredicate(FilterPredicate predicate);
    bool filtered() const;
    void setFiltered(bool on); // switching on evaluates every row afresh
    void refilter();            // evaluates every row afresh while the filter is on

    // --- Searching ---------------------------------------------------------------------------------
    // The first matching row of the view, in view order, becomes current.
    bool locate(std::string_view fieldList, const std::vector<FieldValue>& values, LocateOptions options = {});
    // The result field of the first matching row of the view; the cursor stays.
    std::optional<FieldValue> lookup(std::string_view fieldList, const std::vector<FieldValue>& values,
                                     std::string_view resultField) const;

    // --- Bookmarks ---------------------------------------------------------------------------------
    Bookmark bookmark() const;
    bool bookmarkValid(const Bookmark& mark) const; // the row still exists and is in the view
    bool gotoBookmark(const Bookmark& mark);

    // --- Display notifications ---------------------------------------------------------------------
    void addObserver(TableObserver* observer);
    void removeObserver(TableObserver* observer);
    void disableControls(); // nestable
    void enableControls();  // the outermost call sends one reset
    bool controlsDisabled() const;

private:
    friend class RowRef;
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace marovex
