#include "catalogue/recordtable.h"

#include "catalogue/collation.h"
#include "catalogue/keystore.h"
#include "catalogue/tablefile.h"
#include "base/cp1251.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cstring>
#include <system_error>
#include <thread>

namespace marovex {

using detail::Column;

namespace {

std::atomic<std::uint64_t> g_epoch{0};

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

std::vector<std::string_view> splitList(std::string_view list) {
    std::vector<std::string_view> parts;
    while (!list.empty()) {
        const size_t semi = list.find(';');
        std::string_view part = list.substr(0, semi);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
        if (!part.empty()) parts.push_back(part);
        if (semi == std::string_view::npos) break;
        list.remove_prefix(semi + 1);
    }
    return parts;
}

// One value of the pending edit.
struct Cell {
    bool null = true;
    std::int32_t i = 0;
    std::string s;
    bool operator==(const Cell&) const = default;
};

} // namespace

struct RecordTable::Impl {
    std::vector<Column> columns;
    std::vector<std::string> lowerNames;
    std::vector<FieldDef> defs;
    std::filesystem::path file;
    bool open = false;
    bool modified = false;
    bool logChanges = true;
    std::uint64_t epoch = 0;

    std::uint32_t slotCount = 0;
    std::vector<std::uint8_t> alive;
    std::vector<std::uint32_t> naturalPos; // per slot; only relative order matters
    std::vector<std::uint32_t> natural;    // slots in natural order
    std::vector<std::uint32_t> sorted;     // slots in sort order
    std::vector<std::uint32_t> view;       // sorted, narrowed by the filter
    mutable std::vector<std::int32_t> viewIndex; // slot -> view position, -1 when not in view
    mutable bool viewIndexValid = false;

    std::string sortKeys;
    std::vector<int> sortFields;
    std::vector<detail::KeyStore> keys; // per column: collation keys by slot, once a sort needed them
    Collation collation;

    FilterPredicate predicate;
    bool filtered = false;

    int cur = -1;
    bool bof = true;
    bool eof = true;
    State state = State::Inactive;
    std::vector<Cell> pending;
    std::int64_t insertBeforeSlot = -1; // Insert state: the row the new one goes before, -1 = at the end

    BeforeEditHandler beforeEdit;
    PostErrorHandler postError;

    std::vector<TableObserver*> observers;
    int disabled = 0;

    // --- helpers ---------------------------------------------------------------------------------------
    void resetRows() {
        slotCount = 0;
        alive.clear();
        naturalPos.clear();
        natural.clear();
        sorted.clear();
        view.clear();
        viewIndex.clear();
        viewIndexValid = false;
        for (Column& c : columns) {
            c.ints.clear();
            c.texts.clear();
            c.nulls.clear();
        }
        keys.assign(columns.size(), {});
        cur = -1;
        bof = eof = true;
        epoch = ++g_epoch;
    }

    void indexNames() {
        lowerNames.clear();
        defs.clear();
        for (const Column& c : columns) {
            lowerNames.push_back(lowerAscii(c.def.name));
            defs.push_back(c.def);
        }
        keys.assign(columns.size(), {});
    }

    int fieldIndex(std::string_view name) const {
        const std::string lower = lowerAscii(name);
        for (size_t i = 0; i < lowerNames.size(); ++i)
            if (lowerNames[i] == lower) return int(i);
        return -1;
    }

    int requireField(std::string_view name) const {
        const int i = fieldIndex(name);
        if (i < 0) throw TableError("field \"" + std::string(name) + "\" not found");
        return i;
    }

    std::vector<int> fieldList(std::string_view list) const {
        std::vector<int> out;
        for (std::string_view part : splitList(list)) out.push_back(requireField(part));
        return out;
    }

    void requireOpen() const {
        if (!open) throw TableError("the table is not open");
    }

    std::string keyOf(const Column& c, const std::string& text) const {
        return c.def.type == FieldType::WideText ? collation.keyUtf8(text) : collation.keyCp1251(text);
    }

    void buildKeys(int col) {
        const Column& c = columns[size_t(col)];
        detail::KeyStore& k = keys[size_t(col)];
        if (k.built()) return;
        k.clear();
        k.reserve(slotCount, size_t(slotCount) * 16);
        for (std::uint32_t s = 0; s < slotCount; ++s) k.push(alive[s] && !c.nulls[s] ? keyOf(c, c.texts[s]) : std::string());
        k.markBuilt();
    }

    // Sort order: the fields of the key list, empty values first, then natural order.
    bool less(std::uint32_t a, std::uint32_t b) const {
        for (int f : sortFields) {
            const Column& c = columns[size_t(f)];
            const bool na = c.nulls[a], nb = c.nulls[b];
            if (c.isText()) {
                // An empty text and no text sort alike.
                const std::string_view ka = na ? std::string_view() : keys[size_t(f)].at(a);
                const std::string_view kb = nb ? std::string_view() : keys[size_t(f)].at(b);
                const int r = ka.compare(kb);
                if (r != 0) return r < 0;
            } else {
                if (na != nb) return na;
                if (!na && c.ints[a] != c.ints[b]) return c.ints[a] < c.ints[b];
            }
        }
        return naturalPos[a] < naturalPos[b];
    }

    // Collation keys exist for every text field of the sort key list while it is in force.
    void buildSortKeys() {
        for (int f : sortFields)
            if (columns[size_t(f)].isText()) buildKeys(f);
    }

    // A fixed-size, byte-comparable prefix of a row's sort key: most comparisons are settled by it without
    // touching the rows themselves.
    struct SortEntry {
        std::uint64_t prefix[4];
        std::uint32_t slot;
    };

    SortEntry sortEntry(std::uint32_t slot) const {
        unsigned char buf[32] = {};
        size_t n = 0;
        auto put = [&](unsigned char b) {
            if (n < sizeof buf) buf[n++] = b;
        };
        for (int f : sortFields) {
            if (n >= sizeof buf) break;
            const Column& c = columns[size_t(f)];
            if (c.isText()) {
                if (!c.nulls[slot])
                    for (char b : keys[size_t(f)].at(slot)) {
                        if (n >= sizeof buf) break;
                        put(static_cast<unsigned char>(b));
                    }
                put(0); // keys hold no zero byte, so it ends a key below any longer one
            } else if (c.nulls[slot]) {
                put(0);
            } else {
                const auto v = static_cast<std::uint32_t>(c.ints[slot]) ^ 0x80000000u;
                put(1);
                put(static_cast<unsigned char>(v >> 24));
                put(static_cast<unsigned char>(v >> 16));
                put(static_cast<unsigned char>(v >> 8));
                put(static_cast<unsigned char>(v));
            }
        }
        SortEntry e{};
        for (int w = 0; w < 4; ++w)
            for (int i = 0; i < 8; ++i) e.prefix[w] = (e.prefix[w] << 8) | buf[w * 8 + i];
        e.slot = slot;
        return e;
    }

    static constexpr size_t kParallelSortRows = 50000;

    void sortAll() {
        sorted = natural;
        if (sortFields.empty()) return;
        buildSortKeys();
        const size_t n = natural.size();
        // Left uninitialised: each half is first written by the thread that sorts it.
        const std::unique_ptr<SortEntry[]> entries(new SortEntry[n]);
        const auto before = [this](const SortEntry& a, const SortEntry& b) {
            if (a.prefix[0] != b.prefix[0]) return a.prefix[0] < b.prefix[0];
            if (a.prefix[1] != b.prefix[1]) return a.prefix[1] < b.prefix[1];
            if (a.prefix[2] != b.prefix[2]) return a.prefix[2] < b.prefix[2];
            if (a.prefix[3] != b.prefix[3]) return a.prefix[3] < b.prefix[3];
            return less(a.slot, b.slot);
        };
        auto sortPart = [&](size_t from, size_t to) {
            for (size_t i = from; i < to; ++i) entries[i] = sortEntry(natural[i]);
            std::sort(entries.get() + from, entries.get() + to, before);
        };
        // Large tables are sorted in two halves on two threads, then merged. No two rows compare equal
        // (natural order breaks every tie), so the order is the same however it is reached.
        const size_t half = n / 2;
        std::thread helper;
        if (n >= kParallelSortRows) {
            try {
                helper = std::thread(sortPart, 0, half);
            } catch (const std::system_error&) {
            }
        }
        if (!helper.joinable()) {
            sortPart(0, n);
            for (size_t i = 0; i < n; ++i) sorted[i] = entries[i].slot;
            return;
        }
        sortPart(half, n);
        helper.join();
        const SortEntry *a = entries.get(), *b = a + half, *const middle = b, *const end = a + n;
        size_t i = 0;
        while (a != middle && b != end) sorted[i++] = (before(*b, *a) ? b++ : a++)->slot;
        for (; a != middle; ++a) sorted[i++] = a->slot;
        for (; b != end; ++b) sorted[i++] = b->slot;
    }

    void filterAll() {
        view.clear();
        if (filtered && predicate) {
            // Rows are visited in the order they lie in memory; the view then follows the sorted order.
            std::vector<std::uint8_t> pass(slotCount, 0);
            for (std::uint32_t s : natural) pass[s] = predicate(RowRef(*self, s)) ? 1 : 0;
            view.reserve(sorted.size());
            for (std::uint32_t s : sorted)
                if (pass[s]) view.push_back(s);
        } else {
            view = sorted;
        }
        viewIndexValid = false;
    }

    void ensureViewIndex() const {
        if (viewIndexValid) return;
        viewIndex.assign(slotCount, -1);
        for (size_t i = 0; i < view.size(); ++i) viewIndex[view[i]] = std::int32_t(i);
        viewIndexValid = true;
    }

    int viewPosOf(std::uint32_t slot) const {
        ensureViewIndex();
        return slot < viewIndex.size() ? viewIndex[slot] : -1;
    }

    // Position of a slot in an ordered vector, or where it belongs.
    std::vector<std::uint32_t>::iterator placeIn(std::vector<std::uint32_t>& v, std::uint32_t slot) {
        return std::lower_bound(v.begin(), v.end(), slot, [this](std::uint32_t a, std::uint32_t b) { return less(a, b); });
    }

    void eraseFrom(std::vector<std::uint32_t>& v, std::uint32_t slot) {
        auto it = placeIn(v, slot);
        if (it != v.end() && *it == slot) {
            v.erase(it);
        } else if (auto lin = std::find(v.begin(), v.end(), slot); lin != v.end()) {
            v.erase(lin);
        }
    }

    void eraseFromNatural(std::uint32_t slot) {
        auto it = std::lower_bound(natural.begin(), natural.end(), slot,
                                   [this](std::uint32_t a, std::uint32_t b) { return naturalPos[a] < naturalPos[b]; });
        if (it != natural.end() && *it == slot) natural.erase(it);
    }

    std::uint32_t currentSlot() const { return view[size_t(cur)]; }

    Cell cellOf(std::uint32_t slot, int f) const {
        const Column& c = columns[size_t(f)];
        Cell cell;
        cell.null = c.nulls[slot];
        if (c.isText())
            cell.s = c.texts[slot];
        else
            cell.i = c.ints[slot];
        return cell;
    }

    std::uint32_t newSlot() {
        const std::uint32_t s = slotCount++;
        alive.push_back(1);
        naturalPos.push_back(0);
        for (size_t f = 0; f < columns.size(); ++f) {
            Column& c = columns[f];
            c.nulls.push_back(1);
            if (c.isText())
                c.texts.emplace_back();
            else
                c.ints.push_back(0);
            if (keys[f].built()) keys[f].push({});
        }
        return s;
    }

    // Stores a value of the pending edit, whose text is taken over: the edit ends with the store.
    void store(std::uint32_t slot, int f, Cell& cell) {
        Column& c = columns[size_t(f)];
        c.nulls[slot] = cell.null ? 1 : 0;
        if (c.isText()) {
            c.texts[slot] = cell.null ? std::string() : std::move(cell.s);
            if (keys[size_t(f)].built())
                keys[size_t(f)].set(slot, cell.null ? std::string() : keyOf(c, c.texts[slot]));
        } else {
            c.ints[slot] = cell.null ? 0 : cell.i;
        }
    }

    bool sortsBy(int f) const { return std::find(sortFields.begin(), sortFields.end(), f) != sortFields.end(); }

    void notifyReset() {
        if (disabled) return;
        for (TableObserver* o : observers) o->tableReset();
    }
    void notifyRow(int pos) {
        if (disabled) return;
        for (TableObserver* o : observers) o->rowChanged(pos);
    }
    void notifyCurrent() {
        if (disabled) return;
        for (TableObserver* o : observers) o->currentChanged(cur);
    }

    RecordTable* self = nullptr;
};

// --- RowRef ----------------------------------------------------------------------------------------------

bool RowRef::isNull(int field) const { return m_table->d->columns.at(size_t(field)).nulls[m_slot]; }

std::int32_t RowRef::asInt(int field) const {
    const Column& c = m_table->d->columns.at(size_t(field));
    if (c.isText()) {
        std::int32_t v = 0;
        const std::string& t = c.texts[m_slot];
        std::from_chars(t.data(), t.data() + t.size(), v);
        return v;
    }
    return c.ints[m_slot];
}

std::string RowRef::asText(int field) const {
    const Column& c = m_table->d->columns.at(size_t(field));
    if (c.def.type == FieldType::WideText) return c.texts[m_slot];
    if (c.def.type == FieldType::Text) return cp1251::toUtf8(c.texts[m_slot]);
    if (c.nulls[m_slot]) return {};
    if (c.def.type == FieldType::Boolean) return c.ints[m_slot] ? "True" : "False";
    return std::to_string(c.ints[m_slot]);
}

bool RowRef::asBool(int field) const { return asInt(field) != 0; }

std::string_view RowRef::storedText(int field) const {
    const Column& c = m_table->d->columns.at(size_t(field));
    return c.isText() ? std::string_view(c.texts[m_slot]) : std::string_view();
}

// --- life cycle ------------------------------------------------------------------------------------------

RecordTable::RecordTable() : d(std::make_unique<Impl>()) { d->self = this; }

RecordTable::~RecordTable() = default;

void RecordTable::setFields(std::vector<FieldDef> fields) {
    if (d->open) throw TableError("the layout of an open table cannot change");
    d->columns.clear();
    for (FieldDef& f : fields) {
        Column c;
        c.def = std::move(f);
        if (!c.isText()) c.def.width = 0;
        d->columns.push_back(std::move(c));
    }
    d->indexNames();
    d->resetRows();
    // Another layout: the sort key list may name fields that no longer exist.
    d->sortKeys.clear();
    d->sortFields.clear();
}

const std::vector<FieldDef>& RecordTable::fields() const { return d->defs; }

int RecordTable::fieldIndex(std::string_view name) const { return d->fieldIndex(name); }
int RecordTable::field(std::string_view name) const { return d->requireField(name); }

void RecordTable::setFileName(std::filesystem::path file) { d->file = std::move(file); }
const std::filesystem::path& RecordTable::fileName() const { return d->file; }

void RecordTable::open(const std::filesystem::path& readFrom) {
    if (d->open) return;
    std::vector<Column> loaded =
        readFrom.empty() || readFrom == d->file ? detail::readTableFile(d->file) : detail::readTableFile(readFrom, d->file);
    d->columns = std::move(loaded);
    d->indexNames();
    const auto rows = std::uint32_t(d->columns.front().nulls.size());
    d->slotCount = rows;
    d->alive.assign(rows, 1);
    d->naturalPos.resize(rows);
    d->natural.resize(rows);
    for (std::uint32_t i = 0; i < rows; ++i) d->naturalPos[i] = d->natural[i] = i;
    d->epoch = ++g_epoch;
    d->open = true;
    d->modified = false;
    d->state = State::Browse;
    // A sort key list naming fields the file does not have gives way to the natural order.
    try {
        d->sortFields = d->fieldList(d->sortKeys);
    } catch (const TableError&) {
        d->sortKeys.clear();
        d->sortFields.clear();
    }
    d->sortAll();
    d->filterAll();
    d->cur = d->view.empty() ? -1 : 0;
    d->bof = true;
    d->eof = d->view.empty();
    d->notifyReset();
}

void RecordTable::openEmpty() {
    if (d->open) return;
    d->resetRows();
    d->open = true;
    d->modified = false;
    d->state = State::Browse;
    d->sortFields = d->fieldList(d->sortKeys);
    d->buildSortKeys();
    d->notifyReset();
}

void RecordTable::storePendingForClose() {
    if (!d->open || d->state == State::Browse) return;
    try {
        post();
    } catch (...) {
        // The refused change was reported when it was stored; closing must not be blocked by it.
        cancel();
    }
}

std::filesystem::path RecordTable::writeTemporary() const {
    d->requireOpen();
    if (d->file.empty()) throw TableError("the table is bound to no file");
    return detail::writeTableTemporary(d->file, d->columns, d->natural);
}

void RecordTable::close() {
    if (!d->open) return;
    storePendingForClose();
    if (d->modified && !d->file.empty()) {
        std::vector<std::uint32_t> order(d->natural);
        detail::writeTableFile(d->file, d->columns, order);
    }
    discard();
}

void RecordTable::discard() {
    if (!d->open) return;
    d->open = false;
    d->state = State::Inactive;
    d->pending.clear();
    d->modified = false;
    d->resetRows();
    d->notifyReset();
}

bool RecordTable::isOpen() const { return d->open; }
bool RecordTable::isModified() const { return d->modified; }

void RecordTable::saveToFile(const std::filesystem::path& file) const {
    d->requireOpen();
    detail::writeTableFile(file, d->columns, d->natural);
}

void RecordTable::setLogChanges(bool on) { d->logChanges = on; }
bool RecordTable::logChanges() const { return d->logChanges; }

// --- cursor ----------------------------------------------------------------------------------------------

RecordTable::State RecordTable::state() const { return d->state; }
int RecordTable::rowCount() const { return d->open ? int(d->view.size()) : 0; }
int RecordTable::position() const { return d->open ? d->cur : -1; }

bool RecordTable::first() {
    d->requireOpen();
    post();
    d->cur = d->view.empty() ? -1 : 0;
    d->bof = true;
    d->eof = d->view.empty();
    d->notifyCurrent();
    return !d->view.empty();
}

bool RecordTable::last() {
    d->requireOpen();
    post();
    d->cur = int(d->view.size()) - 1;
    d->eof = true;
    d->bof = d->view.empty();
    d->notifyCurrent();
    return !d->view.empty();
}

bool RecordTable::next() {
    d->requireOpen();
    post();
    if (d->cur + 1 < int(d->view.size())) {
        ++d->cur;
        d->bof = d->eof = false;
        d->notifyCurrent();
        return true;
    }
    d->eof = true;
    return false;
}

bool RecordTable::prior() {
    d->requireOpen();
    post();
    if (d->cur > 0) {
        --d->cur;
        d->bof = d->eof = false;
        d->notifyCurrent();
        return true;
    }
    d->bof = true;
    return false;
}

bool RecordTable::moveTo(int viewPos) {
    d->requireOpen();
    if (viewPos < 0 || viewPos >= int(d->view.size())) return false;
    post();
    d->cur = viewPos;
    d->bof = d->eof = false;
    d->notifyCurrent();
    return true;
}

bool RecordTable::eof() const { return !d->open || d->eof || d->view.empty(); }
bool RecordTable::bof() const { return !d->open || d->bof || d->view.empty(); }

// --- values ----------------------------------------------------------------------------------------------

namespace {
void checkField(const std::vector<Column>& columns, int field) {
    if (field < 0 || size_t(field) >= columns.size()) throw TableError("no field number " + std::to_string(field));
}
} // namespace

bool RecordTable::isNull(int field) const {
    checkField(d->columns, field);
    if (d->state == State::Edit || d->state == State::Insert) return d->pending[size_t(field)].null;
    if (!d->open || d->cur < 0) return true;
    return RowRef(*this, d->currentSlot()).isNull(field);
}

std::int32_t RecordTable::asInt(int field) const {
    checkField(d->columns, field);
    if (d->state == State::Edit || d->state == State::Insert) {
        const Cell& c = d->pending[size_t(field)];
        if (c.null) return 0;
        if (d->columns[size_t(field)].isText()) {
            std::int32_t v = 0;
            std::from_chars(c.s.data(), c.s.data() + c.s.size(), v);
            return v;
        }
        return c.i;
    }
    if (!d->open || d->cur < 0) return 0;
    return RowRef(*this, d->currentSlot()).asInt(field);
}

std::string RecordTable::asText(int field) const {
    checkField(d->columns, field);
    if (d->state == State::Edit || d->state == State::Insert) {
        const Cell& c = d->pending[size_t(field)];
        const FieldType t = d->columns[size_t(field)].def.type;
        if (c.null) return {};
        if (t == FieldType::WideText) return c.s;
        if (t == FieldType::Text) return cp1251::toUtf8(c.s);
        if (t == FieldType::Boolean) return c.i ? "True" : "False";
        return std::to_string(c.i);
    }
    if (!d->open || d->cur < 0) return {};
    return RowRef(*this, d->currentSlot()).asText(field);
}

bool RecordTable::asBool(int field) const { return asInt(field) != 0; }

namespace {
Cell& pendingCell(RecordTable::State state, std::vector<Cell>& pending, const std::vector<Column>& columns, int field) {
    checkField(columns, field);
    if (state != RecordTable::State::Edit && state != RecordTable::State::Insert)
        throw TableError("the table is not in edit or insert mode");
    return pending[size_t(field)];
}
} // namespace

void RecordTable::setInt(int field, std::int32_t value) {
    Cell& c = pendingCell(d->state, d->pending, d->columns, field);
    if (d->columns[size_t(field)].isText()) {
        setText(field, std::to_string(value));
        return;
    }
    c.null = false;
    c.i = d->columns[size_t(field)].def.type == FieldType::Boolean ? (value != 0) : value;
}

void RecordTable::setText(int field, std::string_view utf8) {
    Cell& c = pendingCell(d->state, d->pending, d->columns, field);
    const Column& col = d->columns[size_t(field)];
    if (!col.isText()) {
        std::int32_t v = 0;
        auto [ptr, ec] = std::from_chars(utf8.data(), utf8.data() + utf8.size(), v);
        if (utf8.empty()) {
            c = Cell{};
            return;
        }
        if (ec != std::errc() || ptr != utf8.data() + utf8.size())
            throw TableError("\"" + std::string(utf8) + "\" is not a valid integer for field " + col.def.name);
        setInt(field, v);
        return;
    }
    if (col.def.type == FieldType::WideText) {
        c.s = detail::cutUtf8(utf8, col.def.width);
    } else {
        c.s = cp1251::fromUtf8(utf8);
        if (c.s.size() > size_t(col.def.width)) c.s.resize(size_t(col.def.width));
    }
    c.null = c.s.empty();
}

void RecordTable::setBool(int field, bool value) { setInt(field, value ? 1 : 0); }

void RecordTable::setNull(int field) { pendingCell(d->state, d->pending, d->columns, field) = Cell{}; }

RowRef RecordTable::rowAt(int viewPos) const {
    if (!d->open || viewPos < 0 || viewPos >= int(d->view.size()))
        throw TableError("no row at position " + std::to_string(viewPos));
    return RowRef(*this, d->view[size_t(viewPos)]);
}

// --- changes ---------------------------------------------------------------------------------------------

void RecordTable::append() {
    d->requireOpen();
    post();
    d->pending.assign(d->columns.size(), Cell{});
    d->insertBeforeSlot = -1;
    d->state = State::Insert;
}

void RecordTable::insert() {
    d->requireOpen();
    post();
    d->pending.assign(d->columns.size(), Cell{});
    d->insertBeforeSlot = d->cur >= 0 ? std::int64_t(d->currentSlot()) : -1;
    d->state = State::Insert;
}

bool RecordTable::edit() {
    d->requireOpen();
    if (d->state == State::Edit || d->state == State::Insert) return true;
    if (d->beforeEdit && !d->beforeEdit(*this)) return false;
    if (d->view.empty() || d->cur < 0) return false;
    const std::uint32_t slot = d->currentSlot();
    d->pending.clear();
    for (size_t f = 0; f < d->columns.size(); ++f) d->pending.push_back(d->cellOf(slot, int(f)));
    d->state = State::Edit;
    return true;
}

void RecordTable::post() {
    if (d->state != State::Edit && d->state != State::Insert) return;
    // Refuse values a field cannot hold before anything is changed.
    for (size_t f = 0; f < d->columns.size(); ++f) {
        const Column& c = d->columns[f];
        const Cell& cell = d->pending[f];
        if (c.def.type == FieldType::Int16 && !cell.null && (cell.i < INT16_MIN || cell.i > INT16_MAX)) {
            const std::string message = "Value " + std::to_string(cell.i) + " is out of range for field " + c.def.name;
            const ErrorAction action = d->postError ? d->postError(*this, message) : ErrorAction::Fail;
            if (action == ErrorAction::Abort) throw StoreAborted();
            throw TableError(message);
        }
    }

    if (d->state == State::Edit) {
        const std::uint32_t slot = d->currentSlot();
        bool changed = false, keyChanged = false;
        for (size_t f = 0; f < d->columns.size(); ++f) {
            if (d->cellOf(slot, int(f)) == d->pending[f]) continue;
            changed = true;
            if (d->sortsBy(int(f))) keyChanged = true;
        }
        d->state = State::Browse;
        if (!changed) {
            d->pending.clear();
            return;
        }
        d->modified = true;
        if (keyChanged) {
            d->eraseFrom(d->sorted, slot);
            d->eraseFrom(d->view, slot);
        }
        for (size_t f = 0; f < d->columns.size(); ++f) d->store(slot, int(f), d->pending[f]);
        d->pending.clear();
        if (keyChanged) {
            // The row moves to its place in the order and stays current.
            d->sorted.insert(d->placeIn(d->sorted, slot), slot);
            auto it = d->view.insert(d->placeIn(d->view, slot), slot);
            d->cur = int(it - d->view.begin());
            d->viewIndexValid = false;
            d->notifyReset();
        } else {
            d->notifyRow(d->cur);
        }
        return;
    }

    // Insert: the new row takes its place in natural order, sorted order and, when it passes the filter, the view.
    const std::uint32_t slot = d->newSlot();
    for (size_t f = 0; f < d->columns.size(); ++f) d->store(slot, int(f), d->pending[f]);
    d->pending.clear();
    d->state = State::Browse;
    d->modified = true;
    if (d->insertBeforeSlot < 0 || !d->alive[size_t(d->insertBeforeSlot)]) {
        d->naturalPos[slot] = d->natural.empty() ? 0 : d->naturalPos[d->natural.back()] + 1;
        d->natural.push_back(slot);
    } else {
        const auto before = std::uint32_t(d->insertBeforeSlot);
        auto it = std::find(d->natural.begin(), d->natural.end(), before);
        d->natural.insert(it, slot);
        for (size_t i = 0; i < d->natural.size(); ++i) d->naturalPos[d->natural[i]] = std::uint32_t(i);
        // Renumbering keeps relative order, so sorted and view stay ordered.
    }
    if (d->sorted.empty() || !d->less(slot, d->sorted.back()))
        d->sorted.push_back(slot);
    else
        d->sorted.insert(d->placeIn(d->sorted, slot), slot);
    if (!d->filtered || !d->predicate || d->predicate(RowRef(*this, slot))) {
        const bool atEnd = d->view.empty() || !d->less(slot, d->view.back());
        auto it = atEnd ? d->view.insert(d->view.end(), slot) : d->view.insert(d->placeIn(d->view, slot), slot);
        d->cur = int(it - d->view.begin());
        d->bof = d->eof = false;
        // Rows added at the end (the usual case while indexing) keep the position index valid.
        if (atEnd && d->viewIndexValid) {
            d->viewIndex.resize(d->slotCount, -1);
            d->viewIndex[slot] = d->cur;
        } else {
            d->viewIndexValid = false;
        }
    } else if (d->viewIndexValid) {
        d->viewIndex.resize(d->slotCount, -1);
    }
    d->notifyReset();
}

void RecordTable::cancel() {
    if (d->state == State::Edit || d->state == State::Insert) {
        d->state = State::Browse;
        d->pending.clear();
        d->notifyReset();
    }
}

void RecordTable::deleteRow() {
    d->requireOpen();
    if (d->state == State::Insert) {
        cancel();
        return;
    }
    if (d->state == State::Edit) cancel();
    if (d->view.empty() || d->cur < 0) throw TableError("cannot delete: the view holds no rows");
    const std::uint32_t slot = d->currentSlot();
    d->view.erase(d->view.begin() + d->cur);
    d->eraseFrom(d->sorted, slot);
    d->eraseFromNatural(slot);
    d->alive[slot] = 0;
    for (size_t f = 0; f < d->columns.size(); ++f) {
        Column& c = d->columns[f];
        c.nulls[slot] = 1;
        if (c.isText()) std::string().swap(c.texts[slot]);
        if (d->keys[f].built()) d->keys[f].set(slot, {});
    }
    d->modified = true;
    d->viewIndexValid = false;
    if (d->cur >= int(d->view.size())) d->cur = int(d->view.size()) - 1;
    d->eof = d->view.empty();
    d->bof = d->view.empty();
    d->notifyReset();
}

void RecordTable::emptyTable() {
    d->requireOpen();
    cancel();
    if (d->slotCount > 0) d->modified = true;
    d->resetRows();
    d->buildSortKeys();
    d->notifyReset();
}

void RecordTable::reserve(int rows) {
    const size_t n = size_t(std::max(rows, 0));
    for (auto* v : {&d->naturalPos, &d->natural, &d->sorted, &d->view}) v->reserve(n);
    d->alive.reserve(n);
    for (Column& c : d->columns) {
        c.nulls.reserve(n);
        if (c.isText())
            c.texts.reserve(n);
        else
            c.ints.reserve(n);
    }
}

void RecordTable::adoptRows(RecordTable& other) {
    d->requireOpen();
    other.d->requireOpen();
    if (other.d->defs != d->defs) throw TableError("cannot take rows of another layout");
    cancel();
    other.post();
    Impl& o = *other.d;
    for (size_t i = 0; i < d->columns.size(); ++i) {
        d->columns[i].ints.swap(o.columns[i].ints);
        d->columns[i].texts.swap(o.columns[i].texts);
        d->columns[i].nulls.swap(o.columns[i].nulls);
    }
    d->slotCount = o.slotCount;
    d->alive.swap(o.alive);
    d->naturalPos.swap(o.naturalPos);
    d->natural.swap(o.natural);
    // The order comes along as it stands, collation keys included: a million rows are not sorted again.
    d->sortKeys = o.sortKeys;
    d->sortFields = o.sortFields;
    d->sorted.swap(o.sorted);
    d->keys.swap(o.keys);
    d->epoch = ++g_epoch;
    d->modified = true;
    d->filterAll();
    d->cur = d->view.empty() ? -1 : 0;
    d->bof = true;
    d->eof = d->view.empty();
    other.emptyTable();
    d->notifyReset();
}

void RecordTable::setBeforeEdit(BeforeEditHandler handler) { d->beforeEdit = std::move(handler); }
void RecordTable::setPostError(PostErrorHandler handler) { d->postError = std::move(handler); }

// --- order and filter ------------------------------------------------------------------------------------

const std::string& RecordTable::sortKeys() const { return d->sortKeys; }

void RecordTable::setSortKeys(std::string_view fieldList) {
    std::vector<int> fields;
    if (!d->columns.empty()) fields = d->fieldList(fieldList); // validates names before anything changes
    if (!d->open) {
        d->sortKeys = std::string(fieldList);
        d->sortFields = std::move(fields);
        return;
    }
    post();
    const std::int64_t slot = d->cur >= 0 ? std::int64_t(d->currentSlot()) : -1;
    d->sortKeys = std::string(fieldList);
    d->sortFields = std::move(fields);
    d->sortAll();
    d->filterAll();
    d->cur = slot >= 0 ? d->viewPosOf(std::uint32_t(slot)) : -1;
    if (d->cur < 0 && !d->view.empty()) d->cur = 0;
    d->notifyReset();
}

void RecordTable::setFilterPredicate(FilterPredicate predicate) { d->predicate = std::move(predicate); }

bool RecordTable::filtered() const { return d->filtered; }

void RecordTable::setFiltered(bool on) {
    if (d->filtered == on) return;
    d->filtered = on;
    refilter();
}

void RecordTable::refilter() {
    if (!d->open) return;
    post();
    d->filterAll();
    d->cur = d->view.empty() ? -1 : 0;
    d->bof = true;
    d->eof = d->view.empty();
    d->notifyReset();
}

// --- searching -------------------------------------------------------------------------------------------

namespace {

struct Criterion {
    int field;
    bool null;       // the value sought is empty
    std::int32_t i;  // integer fields
    std::string s;   // text fields, in the field's own encoding (folded when case is ignored)
};

} // namespace

static std::vector<Criterion> makeCriteria(const RecordTable& table, const std::vector<Column>& columns,
                                           std::string_view fieldList, const std::vector<FieldValue>& values,
                                           bool ignoreCase) {
    std::vector<Criterion> out;
    std::vector<int> fields;
    for (std::string_view part : splitList(fieldList)) fields.push_back(table.field(part));
    if (fields.size() != values.size())
        throw TableError("locate: " + std::to_string(fields.size()) + " fields but " + std::to_string(values.size()) +
                         " values");
    for (size_t k = 0; k < fields.size(); ++k) {
        const Column& c = columns[size_t(fields[k])];
        Criterion cr{fields[k], false, 0, {}};
        const FieldValue& v = values[k];
        if (std::holds_alternative<std::monostate>(v)) {
            cr.null = true;
        } else if (c.isText()) {
            std::string text = std::holds_alternative<std::string>(v)       ? std::get<std::string>(v)
                               : std::holds_alternative<std::int32_t>(v) ? std::to_string(std::get<std::int32_t>(v))
                                                                            : (std::get<bool>(v) ? "True" : "False");
            if (c.def.type == FieldType::Text) text = cp1251::toUtf8(cp1251::fromUtf8(text));
            cr.s = ignoreCase ? foldCaseUtf8(text) : text;
            cr.null = cr.s.empty(); // empty text and no text are alike
        } else if (std::holds_alternative<std::int32_t>(v)) {
            cr.i = std::get<std::int32_t>(v);
        } else if (std::holds_alternative<bool>(v)) {
            cr.i = std::get<bool>(v) ? 1 : 0;
        } else {
            const std::string& t = std::get<std::string>(v);
            auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), cr.i);
            if (ec != std::errc() || ptr != t.data() + t.size())
                throw TableError("\"" + t + "\" is not a valid integer for field " + c.def.name);
        }
        out.push_back(std::move(cr));
    }
    return out;
}

static bool matches(const std::vector<Column>& columns, std::uint32_t slot, const std::vector<Criterion>& criteria,
                    bool ignoreCase) {
    for (const Criterion& cr : criteria) {
        const Column& c = columns[size_t(cr.field)];
        const bool null = c.nulls[slot];
        if (c.isText()) {
            if (cr.null) {
                if (!null) return false;
                continue;
            }
            if (null) return false;
            if (!ignoreCase) {
                const std::string& t = c.texts[slot];
                if (c.def.type == FieldType::WideText ? t != cr.s : cp1251::toUtf8(t) != cr.s) return false;
            } else {
                const std::string utf8 = c.def.type == FieldType::WideText ? c.texts[slot] : cp1251::toUtf8(c.texts[slot]);
                if (foldCaseUtf8(utf8) != cr.s) return false;
            }
        } else {
            if (cr.null != bool(null)) return false;
            if (!null && c.ints[slot] != cr.i) return false;
        }
    }
    return true;
}

bool RecordTable::locate(std::string_view fieldList, const std::vector<FieldValue>& values, LocateOptions options) {
    d->requireOpen();
    post();
    const auto criteria = makeCriteria(*this, d->columns, fieldList, values, options.ignoreCase);
    for (size_t i = 0; i < d->view.size(); ++i) {
        if (matches(d->columns, d->view[i], criteria, options.ignoreCase)) {
            d->cur = int(i);
            d->bof = d->eof = false;
            d->notifyCurrent();
            return true;
        }
    }
    return false;
}

std::optional<FieldValue> RecordTable::lookup(std::string_view fieldList, const std::vector<FieldValue>& values,
                                              std::string_view resultField) const {
    d->requireOpen();
    const int result = field(resultField);
    const auto criteria = makeCriteria(*this, d->columns, fieldList, values, false);
    for (std::uint32_t slot : d->view) {
        if (!matches(d->columns, slot, criteria, false)) continue;
        const Column& c = d->columns[size_t(result)];
        if (c.nulls[slot]) return FieldValue{};
        if (c.def.type == FieldType::Boolean) return FieldValue{c.ints[slot] != 0};
        if (c.isText()) return FieldValue{RowRef(*this, slot).asText(result)};
        return FieldValue{c.ints[slot]};
    }
    return std::nullopt;
}

// --- bookmarks -------------------------------------------------------------------------------------------

Bookmark RecordTable::bookmark() const {
    if (!d->open || d->cur < 0 || d->view.empty()) return {};
    return Bookmark{d->epoch, d->currentSlot()};
}

bool RecordTable::bookmarkValid(const Bookmark& mark) const {
    return d->open && mark.epoch == d->epoch && mark.slot < d->slotCount && d->alive[mark.slot] &&
           d->viewPosOf(mark.slot) >= 0;
}

bool RecordTable::gotoBookmark(const Bookmark& mark) {
    if (!bookmarkValid(mark)) return false;
    post();
    d->cur = d->viewPosOf(mark.slot);
    d->bof = d->eof = false;
    d->notifyCurrent();
    return true;
}

// --- notifications ---------------------------------------------------------------------------------------

void RecordTable::addObserver(TableObserver* observer) { d->observers.push_back(observer); }

void RecordTable::removeObserver(TableObserver* observer) {
    d->observers.erase(std::remove(d->observers.begin(), d->observers.end(), observer), d->observers.end());
}

void RecordTable::disableControls() { ++d->disabled; }

void RecordTable::enableControls() {
    if (d->disabled == 0) return;
    if (--d->disabled == 0) d->notifyReset();
}

bool RecordTable::controlsDisabled() const { return d->disabled > 0; }

} // namespace marovex
