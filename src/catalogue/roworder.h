#pragma once

#include "catalogue/collation.h"
#include "catalogue/columnstore.h"
#include "catalogue/keystore.h"
#include "catalogue/recordtable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marovex::detail {

// The orders of a table's rows, as slots of its column store:
//  - natural: the order rows were added in (an inserted row goes before the row it was inserted at);
//  - sorted: every row by the sort key list, each field ascending, compared left to right, empty values
//    first; rows whose keys are all equal keep their natural order, so no two rows ever tie;
//  - view: the sorted order narrowed by the filter.
// The store's values are read, never written; whoever changes a value tells the order (see the changes).
class RowOrder {
public:
    RowOrder(const ColumnStore& store, const RecordTable& table) : m_store(store), m_table(table) {}

    // --- Life cycle --------------------------------------------------------------------------------
    void clear(); // no rows; collation keys dropped (the layout may have changed)
    // Every slot of the store, in slot order, as the natural order; sorted and view are not yet made.
    void loadNatural();
    void reserve(size_t rows);
    // Takes over `other`'s natural and sorted order with its sort key list and collation keys; `other` is
    // left with ours (to be cleared) and keeps its list. The view is not yet made.
    void swapOrder(RowOrder& other);
    const std::vector<std::uint32_t>& natural() const { return m_natural; }

    // --- Sort key list -----------------------------------------------------------------------------
    const std::string& sortKeys() const { return m_sortKeys; }
    // Takes the list without sorting (see sortAll); `fields` are its field numbers.
    void setSortKeys(std::string list, std::vector<int> fields);
    bool sortsBy(int field) const;
    void buildSortKeys(); // collation keys for every text field of the list
    void sortAll();       // the sorted order afresh

    // --- Filter ------------------------------------------------------------------------------------
    void setPredicate(RecordTable::FilterPredicate predicate) { m_predicate = std::move(predicate); }
    bool filtered() const { return m_filtered; }
    void setFiltered(bool on) { m_filtered = on; }
    bool passes(std::uint32_t slot) const;
    void filterAll(); // the view afresh from the sorted order, every row evaluated again

    // --- The view ----------------------------------------------------------------------------------
    size_t viewSize() const { return m_view.size(); }
    std::uint32_t viewSlot(size_t viewPos) const { return m_view[viewPos]; }
    int viewPosOf(std::uint32_t slot) const; // -1 when the row is not in the view

    // --- Changes (the store changed first, then the order is told) ------------------------------------
    // A slot was added to the store; it is in no order until placed.
    void slotAdded();
    // A value was stored; its collation key follows.
    void valueStored(std::uint32_t slot, int field);
    // Places a new row at the end of the natural order, in the sorted order and, when it passes the filter,
    // in the view. Returns its view position, -1 when the filter hides it.
    int placeNew(std::uint32_t slot);
    // A sort field of this row is about to change: out of the sorted order and the view, until placeAgain.
    void takeOut(std::uint32_t slot);
    int placeAgain(std::uint32_t slot); // returns its view position
    // The row at this view position is deleted: out of every order, before the store drops its values.
    void remove(size_t viewPos);

    // --- Locating ----------------------------------------------------------------------------------
    // The first view position whose row holds these values, -1 when none does. Empty text and no text
    // are alike; ignoring case folds letters.
    int firstMatch(std::string_view fieldList, const std::vector<FieldValue>& values, bool ignoreCase) const;

private:
    struct SortEntry;
    bool less(std::uint32_t a, std::uint32_t b) const;
    SortEntry sortEntry(std::uint32_t slot) const;
    std::string keyOf(const Column& c, const std::string& text) const;
    void buildKeys(int field);
    void ensureViewIndex() const;
    std::vector<std::uint32_t>::iterator placeIn(std::vector<std::uint32_t>& v, std::uint32_t slot);
    void eraseFrom(std::vector<std::uint32_t>& v, std::uint32_t slot);
    void eraseFromNatural(std::uint32_t slot);

    const ColumnStore& m_store;
    const RecordTable& m_table; // filter predicates read rows through it

    std::vector<std::uint32_t> m_naturalPos;       // per slot; only relative order matters
    std::vector<std::uint32_t> m_natural;          // slots in natural order
    std::vector<std::uint32_t> m_sorted;           // slots in sort order
    std::vector<std::uint32_t> m_view;             // sorted, narrowed by the filter
    mutable std::vector<std::int32_t> m_viewIndex; // slot -> view position, -1 when not in view
    mutable bool m_viewIndexValid = false;

    std::string m_sortKeys;
    std::vector<int> m_sortFields;
    std::vector<KeyStore> m_keys; // per field: collation keys by slot, once a sort needed them
    Collation m_collation;

    RecordTable::FilterPredicate m_predicate;
    bool m_filtered = false;
};

} // namespace marovex::detail
