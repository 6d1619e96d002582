#include "catalogue/recordtable.h"

#include "base/cp1251.h"
#include "catalogue/columnstore.h"
#include "catalogue/roworder.h"
#include "catalogue/tablefile.h"

#include <algorithm>
#include <atomic>

namespace marovex {

using detail::Cell;
using detail::Column;

namespace {
std::atomic<std::uint64_t> g_epoch{0};
} // namespace

// The table keeps the cursor, the edit in hand and the notifications; the values live in the column store
// and the orders (natural, sorted, filtered) in the row order.
struct RecordTable::Impl {
    explicit Impl(const RecordTable& table) : order(store, table) {}

    detail::ColumnStore store;
    detail::RowOrder order;

    std::filesystem::path file;
    bool open = false;
    bool modified = false;
    std::uint64_t epoch = 0; // bookmarks of an earlier set of rows are not valid

    int cur = -1;
    bool eof = true;
    State state = State::Inactive;
    std::vector<Cell> pending;

    BeforeEditHandler beforeEdit;
    PostErrorHandler postError;

    std::vector<TableObserver*> observers;
    int disabled = 0;

    void resetRows() {
        store.clearRows();
        order.clear();
        cur = -1;
        eof = true;
        epoch = ++g_epoch;
    }

    void requireOpen() const {
        if (!open) throw TableError("the table is not open");
    }

    bool editing() const { return state == State::Edit || state == State::Insert; }
    bool viewEmpty() const { return order.viewSize() == 0; }
    std::uint32_t currentSlot() const { return order.viewSlot(size_t(cur)); }

    void toFirstRow() {
        cur = viewEmpty() ? -1 : 0;
        eof = viewEmpty();
    }

    Cell& pendingCell(int field) {
        store.checkField(field);
        if (!editing()) throw TableError("the table is not in edit or insert mode");
        return pending[size_t(field)];
    }

    void notifyReset() {
        if (disabled) return;
        for (TableObserver* o : observers)
            o->tableReset();
    }
    void notifyRow(int pos) {
        if (disabled) return;
        for (TableObserver* o : observers)
            o->rowChanged(pos);
    }
    void notifyCurrent() {
        if (disabled) return;
        for (TableObserver* o : observers)
            o->currentChanged(cur);
    }
};

// --- RowRef ----------------------------------------------------------------------------------------------

bool RowRef::isNull(int field) const {
    return m_table->d->store.isNull(m_slot, field);
}
std::int32_t RowRef::asInt(int field) const {
    return m_table->d->store.asInt(m_slot, field);
}
std::string RowRef::asText(int field) const {
    return m_table->d->store.asText(m_slot, field);
}
bool RowRef::asBool(int field) const {
    return asInt(field) != 0;
}
std::string_view RowRef::storedText(int field) const {
    return m_table->d->store.storedText(m_slot, field);
}

// --- life cycle ------------------------------------------------------------------------------------------

RecordTable::RecordTable() : d(std::make_unique<Impl>(*this)) {}

RecordTable::~RecordTable() = default;

void RecordTable::setFields(std::vector<FieldDef> fields) {
    if (d->open) throw TableError("the layout of an open table cannot change");
    d->store.setLayout(std::move(fields));
    d->resetRows();
    // Another layout: the sort key list may name fields that no longer exist.
    d->order.setSortKeys({}, {});
}

const std::vector<FieldDef>& RecordTable::fields() const {
    return d->store.defs();
}

int RecordTable::fieldIndex(std::string_view name) const {
    return d->store.fieldIndex(name);
}
int RecordTable::field(std::string_view name) const {
    return d->store.requireField(name);
}

void RecordTable::setFileName(std::filesystem::path file) {
    d->file = std::move(file);
}
const std::filesystem::path& RecordTable::fileName() const {
    return d->file;
}

void RecordTable::open(const std::filesystem::path& readFrom) {
    if (d->open) return;
    d->store.load(readFrom.empty() || readFrom == d->file ? detail::readTableFile(d->file)
                                                          : detail::readTableFile(readFrom, d->file));
    d->order.clear();
    d->order.loadNatural();
    d->epoch = ++g_epoch;
    d->open = true;
    d->modified = false;
    d->state = State::Browse;
    // A sort key list naming fields the file does not have gives way to the natural order.
    try {
        d->order.setSortKeys(d->order.sortKeys(), d->store.fieldList(d->order.sortKeys()));
    } catch (const TableError&) {
        d->order.setSortKeys({}, {});
    }
    d->order.sortAll();
    d->order.filterAll();
    d->toFirstRow();
    d->notifyReset();
}

void RecordTable::openEmpty() {
    if (d->open) return;
    d->resetRows();
    d->open = true;
    d->modified = false;
    d->state = State::Browse;
    d->order.setSortKeys(d->order.sortKeys(), d->store.fieldList(d->order.sortKeys()));
    d->order.buildSortKeys();
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
    return detail::writeTableTemporary(d->file, d->store.columns(), d->order.natural());
}

void RecordTable::close() {
    if (!d->open) return;
    storePendingForClose();
    if (d->modified && !d->file.empty())
        detail::writeTableFile(d->file, d->store.columns(), d->order.natural());
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

bool RecordTable::isOpen() const {
    return d->open;
}
bool RecordTable::isModified() const {
    return d->modified;
}

void RecordTable::saveToFile(const std::filesystem::path& file) const {
    d->requireOpen();
    detail::writeTableFile(file, d->store.columns(), d->order.natural());
}

// --- cursor ----------------------------------------------------------------------------------------------

RecordTable::State RecordTable::state() const {
    return d->state;
}
int RecordTable::rowCount() const {
    return d->open ? int(d->order.viewSize()) : 0;
}
int RecordTable::position() const {
    return d->open ? d->cur : -1;
}

bool RecordTable::first() {
    d->requireOpen();
    post();
    d->toFirstRow();
    d->notifyCurrent();
    return !d->viewEmpty();
}

bool RecordTable::last() {
    d->requireOpen();
    post();
    d->cur = int(d->order.viewSize()) - 1;
    d->eof = true;
    d->notifyCurrent();
    return !d->viewEmpty();
}

bool RecordTable::next() {
    d->requireOpen();
    post();
    if (d->cur + 1 < int(d->order.viewSize())) {
        ++d->cur;
        d->eof = false;
        d->notifyCurrent();
        return true;
    }
    d->eof = true;
    return false;
}

bool RecordTable::moveTo(int viewPos) {
    d->requireOpen();
    if (viewPos < 0 || viewPos >= int(d->order.viewSize())) return false;
    post();
    d->cur = viewPos;
    d->eof = false;
    d->notifyCurrent();
    return true;
}

bool RecordTable::eof() const {
    return !d->open || d->eof || d->viewEmpty();
}

// --- values ----------------------------------------------------------------------------------------------

bool RecordTable::isNull(int field) const {
    d->store.checkField(field);
    if (d->editing()) return d->pending[size_t(field)].null;
    if (!d->open || d->cur < 0) return true;
    return d->store.isNull(d->currentSlot(), field);
}

std::int32_t RecordTable::asInt(int field) const {
    d->store.checkField(field);
    if (d->editing()) return d->store.cellAsInt(field, d->pending[size_t(field)]);
    if (!d->open || d->cur < 0) return 0;
    return d->store.asInt(d->currentSlot(), field);
}

std::string RecordTable::asText(int field) const {
    d->store.checkField(field);
    if (d->editing()) return d->store.cellAsText(field, d->pending[size_t(field)]);
    if (!d->open || d->cur < 0) return {};
    return d->store.asText(d->currentSlot(), field);
}

bool RecordTable::asBool(int field) const {
    return asInt(field) != 0;
}

void RecordTable::setInt(int field, std::int32_t value) {
    d->store.setCellInt(field, d->pendingCell(field), value);
}

void RecordTable::setText(int field, std::string_view utf8) {
    d->store.setCellText(field, d->pendingCell(field), utf8);
}

void RecordTable::setBool(int field, bool value) {
    setInt(field, value ? 1 : 0);
}

void RecordTable::setNull(int field) {
    d->pendingCell(field) = Cell{};
}

RowRef RecordTable::rowAt(int viewPos) const {
    if (!d->open || viewPos < 0 || viewPos >= int(d->order.viewSize()))
        throw TableError("no row at position " + std::to_string(viewPos));
    return RowRef(*this, d->order.viewSlot(size_t(viewPos)));
}

// --- changes ---------------------------------------------------------------------------------------------

void RecordTable::append() {
    d->requireOpen();
    post();
    d->pending.assign(d->store.fieldCount(), Cell{});
    d->state = State::Insert;
}

bool RecordTable::edit() {
    d->requireOpen();
    if (d->editing()) return true;
    if (d->beforeEdit && !d->beforeEdit(*this)) return false;
    if (d->viewEmpty() || d->cur < 0) return false;
    const std::uint32_t slot = d->currentSlot();
    d->pending.clear();
    for (size_t f = 0; f < d->store.fieldCount(); ++f)
        d->pending.push_back(d->store.cellOf(slot, int(f)));
    d->state = State::Edit;
    return true;
}

void RecordTable::post() {
    if (!d->editing()) return;
    // Refuse values a field cannot hold before anything is changed.
    if (const std::string message = d->store.refusal(d->pending); !message.empty()) {
        const ErrorAction action = d->postError ? d->postError(*this, message) : ErrorAction::Fail;
        if (action == ErrorAction::Abort) throw StoreAborted();
        throw TableError(message);
    }
    auto storePending = [this](std::uint32_t slot) {
        for (size_t f = 0; f < d->store.fieldCount(); ++f) {
            d->store.store(slot, int(f), d->pending[f]);
            d->order.valueStored(slot, int(f));
        }
        d->pending.clear();
    };

    if (d->state == State::Edit) {
        const std::uint32_t slot = d->currentSlot();
        bool changed = false, keyChanged = false;
        for (size_t f = 0; f < d->store.fieldCount(); ++f) {
            if (d->store.cellOf(slot, int(f)) == d->pending[f]) continue;
            changed = true;
            if (d->order.sortsBy(int(f))) keyChanged = true;
        }
        d->state = State::Browse;
        if (!changed) {
            d->pending.clear();
            return;
        }
        d->modified = true;
        if (keyChanged) d->order.takeOut(slot);
        storePending(slot);
        if (keyChanged) {
            // The row moves to its place in the order and stays current.
            d->cur = d->order.placeAgain(slot);
            d->notifyReset();
        } else {
            d->notifyRow(d->cur);
        }
        return;
    }

    // Insert: the new row takes its place in natural order, sorted order and, when it passes the filter, the
    // view.
    const std::uint32_t slot = d->store.addSlot();
    d->order.slotAdded();
    storePending(slot);
    d->state = State::Browse;
    d->modified = true;
    const int pos = d->order.placeNew(slot);
    if (pos >= 0) {
        d->cur = pos;
        d->eof = false;
    }
    d->notifyReset();
}

void RecordTable::cancel() {
    if (d->editing()) {
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
    if (d->viewEmpty() || d->cur < 0) throw TableError("cannot delete: the view holds no rows");
    const std::uint32_t slot = d->currentSlot();
    d->order.remove(size_t(d->cur));
    d->store.removeSlot(slot);
    d->modified = true;
    if (d->cur >= int(d->order.viewSize())) d->cur = int(d->order.viewSize()) - 1;
    d->eof = d->viewEmpty();
    d->notifyReset();
}

void RecordTable::emptyTable() {
    d->requireOpen();
    cancel();
    if (d->store.slotCount() > 0) d->modified = true;
    d->resetRows();
    d->order.buildSortKeys();
    d->notifyReset();
}

void RecordTable::reserve(int rows) {
    const size_t n = size_t(std::max(rows, 0));
    d->order.reserve(n);
    d->store.reserve(n);
}

void RecordTable::adoptRows(RecordTable& other) {
    d->requireOpen();
    other.d->requireOpen();
    if (other.d->store.defs() != d->store.defs()) throw TableError("cannot take rows of another layout");
    cancel();
    other.post();
    d->store.swapRows(other.d->store);
    // The order comes along as it stands, collation keys included: a million rows are not sorted again.
    d->order.swapOrder(other.d->order);
    d->epoch = ++g_epoch;
    d->modified = true;
    d->order.filterAll();
    d->toFirstRow();
    other.emptyTable();
    d->notifyReset();
}

void RecordTable::setBeforeEdit(BeforeEditHandler handler) {
    d->beforeEdit = std::move(handler);
}
void RecordTable::setPostError(PostErrorHandler handler) {
    d->postError = std::move(handler);
}

// --- order and filter ------------------------------------------------------------------------------------

const std::string& RecordTable::sortKeys() const {
    return d->order.sortKeys();
}

void RecordTable::setSortKeys(std::string_view fieldList) {
    std::vector<int> fields;
    if (d->store.fieldCount() > 0)
        fields = d->store.fieldList(fieldList); // validates names before anything changes
    if (!d->open) {
        d->order.setSortKeys(std::string(fieldList), std::move(fields));
        return;
    }
    post();
    const std::int64_t slot = d->cur >= 0 ? std::int64_t(d->currentSlot()) : -1;
    d->order.setSortKeys(std::string(fieldList), std::move(fields));
    d->order.sortAll();
    d->order.filterAll();
    d->cur = slot >= 0 ? d->order.viewPosOf(std::uint32_t(slot)) : -1;
    if (d->cur < 0 && !d->viewEmpty()) d->cur = 0;
    d->notifyReset();
}

void RecordTable::setFilterPredicate(FilterPredicate predicate) {
    d->order.setPredicate(std::move(predicate));
}

bool RecordTable::filtered() const {
    return d->order.filtered();
}

void RecordTable::setFiltered(bool on) {
    if (d->order.filtered() == on) return;
    d->order.setFiltered(on);
    refilter();
}

void RecordTable::refilter() {
    if (!d->open) return;
    post();
    d->order.filterAll();
    d->toFirstRow();
    d->notifyReset();
}

// --- searching -------------------------------------------------------------------------------------------

bool RecordTable::locate(std::string_view fieldList, const std::vector<FieldValue>& values,
                         LocateOptions options) {
    d->requireOpen();
    post();
    const int pos = d->order.firstMatch(fieldList, values, options.ignoreCase);
    if (pos < 0) return false;
    d->cur = pos;
    d->eof = false;
    d->notifyCurrent();
    return true;
}

std::optional<FieldValue> RecordTable::lookup(std::string_view fieldList,
                                              const std::vector<FieldValue>& values,
                                              std::string_view resultField) const {
    d->requireOpen();
    const int result = field(resultField);
    const int pos = d->order.firstMatch(fieldList, values, false);
    if (pos < 0) return std::nullopt;
    return d->store.value(d->order.viewSlot(size_t(pos)), result);
}

// --- bookmarks -------------------------------------------------------------------------------------------

Bookmark RecordTable::bookmark() const {
    if (!d->open || d->cur < 0 || d->viewEmpty()) return {};
    return Bookmark{d->epoch, d->currentSlot()};
}

bool RecordTable::bookmarkValid(const Bookmark& mark) const {
    return d->open && mark.epoch == d->epoch && mark.slot < d->store.slotCount() &&
           d->store.alive(mark.slot) && d->order.viewPosOf(mark.slot) >= 0;
}

bool RecordTable::gotoBookmark(const Bookmark& mark) {
    if (!bookmarkValid(mark)) return false;
    post();
    d->cur = d->order.viewPosOf(mark.slot);
    d->eof = false;
    d->notifyCurrent();
    return true;
}

// --- notifications ---------------------------------------------------------------------------------------

void RecordTable::addObserver(TableObserver* observer) {
    d->observers.push_back(observer);
}

void RecordTable::removeObserver(TableObserver* observer) {
    d->observers.erase(std::remove(d->observers.begin(), d->observers.end(), observer), d->observers.end());
}

void RecordTable::disableControls() {
    ++d->disabled;
}

void RecordTable::enableControls() {
    if (d->disabled == 0) return;
    if (--d->disabled == 0) d->notifyReset();
}

bool RecordTable::controlsDisabled() const {
    return d->disabled > 0;
}

} // namespace marovex
