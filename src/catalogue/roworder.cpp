#include "catalogue/roworder.h"

#include "base/cp1251.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <system_error>
#include <thread>

namespace marovex::detail {

// --- life cycle ------------------------------------------------------------------------------------------

void RowOrder::clear() {
    m_naturalPos.clear();
    m_natural.clear();
    m_sorted.clear();
    m_view.clear();
    m_viewIndex.clear();
    m_viewIndexValid = false;
    m_keys.assign(m_store.fieldCount(), {});
}

void RowOrder::loadNatural() {
    const std::uint32_t rows = m_store.slotCount();
    m_naturalPos.resize(rows);
    m_natural.resize(rows);
    for (std::uint32_t i = 0; i < rows; ++i)
        m_naturalPos[i] = m_natural[i] = i;
}

void RowOrder::reserve(size_t rows) {
    for (auto* v : {&m_naturalPos, &m_natural, &m_sorted, &m_view})
        v->reserve(rows);
}

void RowOrder::swapOrder(RowOrder& other) {
    m_naturalPos.swap(other.m_naturalPos);
    m_natural.swap(other.m_natural);
    m_sortKeys = other.m_sortKeys;
    m_sortFields = other.m_sortFields;
    m_sorted.swap(other.m_sorted);
    m_keys.swap(other.m_keys);
    m_viewIndexValid = other.m_viewIndexValid = false;
}

// --- sorting ---------------------------------------------------------------------------------------------

void RowOrder::setSortKeys(std::string list, std::vector<int> fields) {
    m_sortKeys = std::move(list);
    m_sortFields = std::move(fields);
}

bool RowOrder::sortsBy(int field) const {
    return std::find(m_sortFields.begin(), m_sortFields.end(), field) != m_sortFields.end();
}

std::string RowOrder::keyOf(const Column& c, const std::string& text) const {
    return c.def.type == FieldType::WideText ? m_collation.keyUtf8(text) : m_collation.keyCp1251(text);
}

void RowOrder::buildKeys(int field) {
    const Column& c = m_store.column(field);
    KeyStore& k = m_keys[size_t(field)];
    if (k.built()) return;
    const std::uint32_t slots = m_store.slotCount();
    k.clear();
    k.reserve(slots, size_t(slots) * 16);
    for (std::uint32_t s = 0; s < slots; ++s)
        k.push(m_store.alive(s) && !c.nulls[s] ? keyOf(c, c.texts[s]) : std::string());
    k.markBuilt();
}

void RowOrder::buildSortKeys() {
    for (int f : m_sortFields)
        if (m_store.column(f).isText()) buildKeys(f);
}

bool RowOrder::less(std::uint32_t a, std::uint32_t b) const {
    for (int f : m_sortFields) {
        const Column& c = m_store.column(f);
        const bool na = c.nulls[a], nb = c.nulls[b];
        if (c.isText()) {
            // An empty text and no text sort alike.
            const std::string_view ka = na ? std::string_view() : m_keys[size_t(f)].at(a);
            const std::string_view kb = nb ? std::string_view() : m_keys[size_t(f)].at(b);
            const int r = ka.compare(kb);
            if (r != 0) return r < 0;
        } else {
            if (na != nb) return na;
            if (!na && c.ints[a] != c.ints[b]) return c.ints[a] < c.ints[b];
        }
    }
    return m_naturalPos[a] < m_naturalPos[b];
}

// A fixed-size, byte-comparable prefix of a row's sort key: most comparisons are settled by it without
// touching the rows themselves.
struct RowOrder::SortEntry {
    std::uint64_t prefix[4];
    std::uint32_t slot;
};

RowOrder::SortEntry RowOrder::sortEntry(std::uint32_t slot) const {
    unsigned char buf[32] = {};
    size_t n = 0;
    auto put = [&](unsigned char b) {
        if (n < sizeof buf) buf[n++] = b;
    };
    for (int f : m_sortFields) {
        if (n >= sizeof buf) break;
        const Column& c = m_store.column(f);
        if (c.isText()) {
            if (!c.nulls[slot])
                for (char b : m_keys[size_t(f)].at(slot)) {
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
        for (int i = 0; i < 8; ++i)
            e.prefix[w] = (e.prefix[w] << 8) | buf[w * 8 + i];
    e.slot = slot;
    return e;
}

namespace {
constexpr size_t kParallelSortRows = 50000;
}

void RowOrder::sortAll() {
    m_sorted = m_natural;
    if (m_sortFields.empty()) return;
    buildSortKeys();
    const size_t n = m_natural.size();
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
        for (size_t i = from; i < to; ++i)
            entries[i] = sortEntry(m_natural[i]);
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
        for (size_t i = 0; i < n; ++i)
            m_sorted[i] = entries[i].slot;
        return;
    }
    sortPart(half, n);
    helper.join();
    const SortEntry *a = entries.get(), *b = a + half, *const middle = b, *const end = a + n;
    size_t i = 0;
    while (a != middle && b != end)
        m_sorted[i++] = (before(*b, *a) ? b++ : a++)->slot;
    for (; a != middle; ++a)
        m_sorted[i++] = a->slot;
    for (; b != end; ++b)
        m_sorted[i++] = b->slot;
}

// --- filter and view -------------------------------------------------------------------------------------

bool RowOrder::passes(std::uint32_t slot) const {
    return !m_filtered || !m_predicate || m_predicate(RowRef(m_table, slot));
}

void RowOrder::filterAll() {
    m_view.clear();
    if (m_filtered && m_predicate) {
        // Rows are visited in the order they lie in memory; the view then follows the sorted order.
        std::vector<std::uint8_t> pass(m_store.slotCount(), 0);
        for (std::uint32_t s : m_natural)
            pass[s] = m_predicate(RowRef(m_table, s)) ? 1 : 0;
        m_view.reserve(m_sorted.size());
        for (std::uint32_t s : m_sorted)
            if (pass[s]) m_view.push_back(s);
    } else {
        m_view = m_sorted;
    }
    m_viewIndexValid = false;
}

void RowOrder::ensureViewIndex() const {
    if (m_viewIndexValid) return;
    m_viewIndex.assign(m_store.slotCount(), -1);
    for (size_t i = 0; i < m_view.size(); ++i)
        m_viewIndex[m_view[i]] = std::int32_t(i);
    m_viewIndexValid = true;
}

int RowOrder::viewPosOf(std::uint32_t slot) const {
    ensureViewIndex();
    return slot < m_viewIndex.size() ? m_viewIndex[slot] : -1;
}

// --- changes ---------------------------------------------------------------------------------------------

// Position of a slot in an ordered vector, or where it belongs.
std::vector<std::uint32_t>::iterator RowOrder::placeIn(std::vector<std::uint32_t>& v, std::uint32_t slot) {
    return std::lower_bound(v.begin(), v.end(), slot,
                            [this](std::uint32_t a, std::uint32_t b) { return less(a, b); });
}

void RowOrder::eraseFrom(std::vector<std::uint32_t>& v, std::uint32_t slot) {
    auto it = placeIn(v, slot);
    if (it != v.end() && *it == slot) {
        v.erase(it);
    } else if (auto lin = std::find(v.begin(), v.end(), slot); lin != v.end()) {
        v.erase(lin);
    }
}

void RowOrder::eraseFromNatural(std::uint32_t slot) {
    auto it =
        std::lower_bound(m_natural.begin(), m_natural.end(), slot, [this](std::uint32_t a, std::uint32_t b) {
            return m_naturalPos[a] < m_naturalPos[b];
        });
    if (it != m_natural.end() && *it == slot) m_natural.erase(it);
}

void RowOrder::slotAdded() {
    m_naturalPos.push_back(0);
    for (KeyStore& k : m_keys)
        if (k.built()) k.push({});
}

void RowOrder::valueStored(std::uint32_t slot, int field) {
    KeyStore& k = m_keys[size_t(field)];
    if (!k.built()) return;
    const Column& c = m_store.column(field);
    k.set(slot, c.nulls[slot] ? std::string() : keyOf(c, c.texts[slot]));
}

int RowOrder::placeNew(std::uint32_t slot) {
    m_naturalPos[slot] = m_natural.empty() ? 0 : m_naturalPos[m_natural.back()] + 1;
    m_natural.push_back(slot);
    if (m_sorted.empty() || !less(slot, m_sorted.back()))
        m_sorted.push_back(slot);
    else
        m_sorted.insert(placeIn(m_sorted, slot), slot);
    if (!passes(slot)) {
        if (m_viewIndexValid) m_viewIndex.resize(m_store.slotCount(), -1);
        return -1;
    }
    const bool atEnd = m_view.empty() || !less(slot, m_view.back());
    auto it = atEnd ? m_view.insert(m_view.end(), slot) : m_view.insert(placeIn(m_view, slot), slot);
    const int pos = int(it - m_view.begin());
    // Rows added at the end (the usual case while indexing) keep the position index valid.
    if (atEnd && m_viewIndexValid) {
        m_viewIndex.resize(m_store.slotCount(), -1);
        m_viewIndex[slot] = pos;
    } else {
        m_viewIndexValid = false;
    }
    return pos;
}

void RowOrder::takeOut(std::uint32_t slot) {
    eraseFrom(m_sorted, slot);
    eraseFrom(m_view, slot);
}

int RowOrder::placeAgain(std::uint32_t slot) {
    m_sorted.insert(placeIn(m_sorted, slot), slot);
    auto it = m_view.insert(placeIn(m_view, slot), slot);
    m_viewIndexValid = false;
    return int(it - m_view.begin());
}

void RowOrder::remove(size_t viewPos) {
    const std::uint32_t slot = m_view[viewPos];
    m_view.erase(m_view.begin() + std::ptrdiff_t(viewPos));
    eraseFrom(m_sorted, slot);
    eraseFromNatural(slot);
    for (KeyStore& k : m_keys)
        if (k.built()) k.set(slot, {});
    m_viewIndexValid = false;
}

// --- locating --------------------------------------------------------------------------------------------

namespace {

struct Criterion {
    int field;
    bool null;      // the value sought is empty
    std::int32_t i; // integer fields
    std::string s;  // text fields, as UTF-8 (folded when case is ignored)
};

std::vector<Criterion> makeCriteria(const ColumnStore& store, std::string_view fieldList,
                                    const std::vector<FieldValue>& values, bool ignoreCase) {
    std::vector<Criterion> out;
    const std::vector<int> fields = store.fieldList(fieldList);
    if (fields.size() != values.size())
        throw TableError("locate: " + std::to_string(fields.size()) + " fields but " +
                         std::to_string(values.size()) + " values");
    for (size_t k = 0; k < fields.size(); ++k) {
        const Column& c = store.column(fields[k]);
        Criterion cr{fields[k], false, 0, {}};
        const FieldValue& v = values[k];
        if (std::holds_alternative<std::monostate>(v)) {
            cr.null = true;
        } else if (c.isText()) {
            std::string text = std::holds_alternative<std::string>(v) ? std::get<std::string>(v)
                               : std::holds_alternative<std::int32_t>(v)
                                   ? std::to_string(std::get<std::int32_t>(v))
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

bool matches(const ColumnStore& store, std::uint32_t slot, const std::vector<Criterion>& criteria,
             bool ignoreCase) {
    for (const Criterion& cr : criteria) {
        const Column& c = store.column(cr.field);
        const bool null = c.nulls[slot];
        if (c.isText()) {
            if (cr.null) {
                if (!null) return false;
                continue;
            }
            if (null) return false;
            const std::string& t = c.texts[slot];
            if (!ignoreCase) {
                if (c.def.type == FieldType::WideText ? t != cr.s : cp1251::toUtf8(t) != cr.s) return false;
            } else {
                const std::string utf8 = c.def.type == FieldType::WideText ? t : cp1251::toUtf8(t);
                if (foldCaseUtf8(utf8) != cr.s) return false;
            }
        } else {
            if (cr.null != null) return false;
            if (!null && c.ints[slot] != cr.i) return false;
        }
    }
    return true;
}

} // namespace

int RowOrder::firstMatch(std::string_view fieldList, const std::vector<FieldValue>& values,
                         bool ignoreCase) const {
    const auto criteria = makeCriteria(m_store, fieldList, values, ignoreCase);
    for (size_t i = 0; i < m_view.size(); ++i)
        if (matches(m_store, m_view[i], criteria, ignoreCase)) return int(i);
    return -1;
}

} // namespace marovex::detail
