#include "catalogue/collation.h"
#include "catalogue/recordtable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using namespace marovex;

namespace {

// A small table: Id int32, Name wide text (10), Small int16, Flag bool, Code single-byte text (4).
class RecordTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        t.setFields({{"Id", FieldType::Int32, 0},
                     {"Name", FieldType::WideText, 10},
                     {"Small", FieldType::Int16, 0},
                     {"Flag", FieldType::Boolean, 0},
                     {"Code", FieldType::Text, 4}});
        t.openEmpty();
    }

    void add(std::optional<int> id, std::optional<std::string> name = std::nullopt) {
        t.append();
        if (id) t.setInt("Id", *id);
        if (name) t.setText("Name", *name);
        t.post();
    }

    std::vector<int> ids() {
        std::vector<int> out;
        for (int i = 0; i < t.rowCount(); ++i) out.push_back(t.rowAt(i).isNull(0) ? -999 : t.rowAt(i).asInt(0));
        return out;
    }

    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (int i = 0; i < t.rowCount(); ++i) out.push_back(t.rowAt(i).asText(1));
        return out;
    }

    RecordTable t;
};

TEST_F(RecordTableTest, FieldsAreFoundByNameIgnoringCase) {
    EXPECT_EQ(t.fieldIndex("id"), 0);
    EXPECT_EQ(t.fieldIndex("NAME"), 1);
    EXPECT_EQ(t.fieldIndex("missing"), -1);
    EXPECT_THROW(t.field("missing"), TableError);
    add(7);
    t.first();
    ASSERT_TRUE(t.edit());
    t.setInt("iD", 8);
    t.post();
    EXPECT_EQ(t.asInt("ID"), 8);
}

TEST_F(RecordTableTest, EmptyFieldsReadAsZeroOrEmptyText) {
    add(std::nullopt);
    t.first();
    EXPECT_TRUE(t.isNull("Id"));
    EXPECT_EQ(t.asInt("Id"), 0);
    EXPECT_EQ(t.asText("Name"), "");
    EXPECT_FALSE(t.asBool("Flag"));
    EXPECT_EQ(t.asText("Code"), "");
}

TEST_F(RecordTableTest, TextIsCutToWidthInCharactersOrBytes) {
    t.append();
    t.setText("Name", "Привет, мир и все!"); // 18 characters, 10 kept
    t.setText("Code", "Ёжик-ёж");              // single-byte field: 4 bytes kept
    t.post();
    t.first();
    EXPECT_EQ(t.asText("Name"), "Привет, ми");
    EXPECT_EQ(t.asText("Code"), "Ёжик");
}

TEST_F(RecordTableTest, TrailingBlanksAreKeptAndForeignCharactersBecomeQuestionMarksInSingleByteFields) {
    t.append();
    t.setText("Name", "ab  ");
    t.setText("Code", "a€中");
    t.post();
    t.first();
    EXPECT_EQ(t.asText("Name"), "ab  ");
    EXPECT_EQ(t.asText("Code"), "a€?");
}

TEST_F(RecordTableTest, ValuesCannotBeSetOutsideEditing) {
    add(1);
    t.first();
    EXPECT_THROW(t.setInt("Id", 2), TableError);
    EXPECT_EQ(t.asInt("Id"), 1);
}

TEST_F(RecordTableTest, SortIsStableAscendingLeftToRightWithEmptyValuesFirst) {
    // (Id, Name) rows; sorting by Name then Id keeps natural order among equal keys.
    add(3, "b");
    add(1, "a");
    add(std::nullopt, "b");
    add(2, std::nullopt);
    add(1, "b");
    t.setSortKeys("Name;Id");
    EXPECT_EQ(ids(), (std::vector<int>{2, 1, -999, 1, 3}));
    t.setSortKeys("Id");
    EXPECT_EQ(ids(), (std::vector<int>{-999, 1, 1, 2, 3}));
    EXPECT_EQ(names(), (std::vector<std::string>{"b", "a", "b", "", "b"}));
    t.setSortKeys("");
    EXPECT_EQ(ids(), (std::vector<int>{3, 1, -999, 2, 1}));
}

TEST_F(RecordTableTest, ALargeTableSortsByTheSameRuleAsASmallOne) {
    // Large enough to be sorted in parts on two threads; few distinct keys, so ties decide most places.
    const char* const words[] = {"", "c", "a", "b"};
    struct Row {
        int id, word, small;
    };
    std::vector<Row> rows;
    for (int id = 0; id < 70000; ++id) {
        const Row r{id, int((id * 7919u) % 4), int((id * 104729u) % 5) - 1}; // small -1: no value
        t.append();
        t.setInt("Id", id);
        t.setText("Name", words[r.word]);
        if (r.small >= 0) t.setInt("Small", r.small);
        t.post();
        rows.push_back(r);
    }
    t.setSortKeys("Name;Small");
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        const std::string_view wa = words[a.word], wb = words[b.word];
        return wa != wb ? wa < wb : a.small < b.small;
    });
    ASSERT_EQ(t.rowCount(), int(rows.size()));
    for (int i = 0; i < t.rowCount(); ++i) ASSERT_EQ(t.rowAt(i).asInt(0), rows[size_t(i)].id) << "at " << i;
}

TEST_F(RecordTableTest, TextOrderIsRussianAndIgnoresCaseAndDiaeresis) {
    for (const char* s : {"яблоко", "Ёлка", "ель", "Ежик", "банан", "Арбуз", "zebra", "Apple"}) add(0, s);
    t.setSortKeys("Name");
    const auto n = names();
    auto pos = [&](const std::string& s) { return std::find(n.begin(), n.end(), s) - n.begin(); };
    EXPECT_LT(pos("Арбуз"), pos("банан"));
    EXPECT_LT(pos("банан"), pos("Ежик"));
    // ё sorts as е: "Ёлка" falls between "Ежик" and "ель" (ж < л, к < ь), not after "я".
    EXPECT_LT(pos("Ежик"), pos("Ёлка"));
    EXPECT_LT(pos("Ёлка"), pos("ель"));
    EXPECT_LT(pos("ель"), pos("яблоко"));
    EXPECT_LT(pos("Apple"), pos("zebra"));
}

TEST_F(RecordTableTest, LeftPaddedNumbersSortNumerically) {
    for (const char* s : {"123", "  7", " 42", "  9", " 10"}) add(0, s);
    t.setSortKeys("Name");
    EXPECT_EQ(names(), (std::vector<std::string>{"  7", "  9", " 10", " 42", "123"}));
}

TEST_F(RecordTableTest, EditingASortFieldMovesTheRowAndKeepsItCurrent) {
    add(1, "a");
    add(2, "b");
    add(3, "c");
    t.setSortKeys("Name");
    t.first();
    ASSERT_TRUE(t.edit());
    t.setText("Name", "z");
    t.post();
    EXPECT_EQ(ids(), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(t.asInt("Id"), 1);
    EXPECT_EQ(t.position(), 2);
}

TEST_F(RecordTableTest, AppendedRowTakesItsPlaceInTheOrder) {
    add(5);
    add(1);
    t.setSortKeys("Id");
    add(3);
    EXPECT_EQ(ids(), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(t.asInt("Id"), 3);
    t.setSortKeys("");
    EXPECT_EQ(ids(), (std::vector<int>{5, 1, 3}));
}

TEST_F(RecordTableTest, MovingTheCursorStoresThePendingEdit) {
    add(1);
    add(2);
    t.first();
    ASSERT_TRUE(t.edit());
    t.setInt("Id", 10);
    t.next();
    EXPECT_EQ(t.state(), RecordTable::State::Browse);
    EXPECT_EQ(ids(), (std::vector<int>{10, 2}));
    EXPECT_TRUE(t.isModified());
}

TEST_F(RecordTableTest, CancelRestoresValuesAndDropsANewRow) {
    add(1);
    t.first();
    ASSERT_TRUE(t.edit());
    t.setInt("Id", 5);
    EXPECT_EQ(t.asInt("Id"), 5);
    t.cancel();
    EXPECT_EQ(t.asInt("Id"), 1);
    t.append();
    t.setInt("Id", 2);
    t.cancel();
    EXPECT_EQ(t.rowCount(), 1);
}

TEST(RecordTableChanges, OnlyRealChangesMarkTheTableModified) {
    RecordTable u;
    u.setFields({{"A", FieldType::Int32, 0}});
    u.openEmpty();
    EXPECT_FALSE(u.isModified());
    u.append();
    u.setInt("A", 1);
    u.post();
    EXPECT_TRUE(u.isModified());
}

TEST_F(RecordTableTest, DeletingFromTheFirstRowUntilEofEmptiesTheView) {
    for (int i = 0; i < 5; ++i) add(i);
    t.setSortKeys("Id");
    t.first();
    int deleted = 0;
    while (!t.eof()) {
        t.deleteRow();
        ++deleted;
        ASSERT_LE(deleted, 5);
    }
    EXPECT_EQ(deleted, 5);
    EXPECT_EQ(t.rowCount(), 0);
    EXPECT_THROW(t.deleteRow(), TableError);
}

TEST_F(RecordTableTest, DeleteMakesTheSuccessorCurrentOrThePredecessorAtTheEnd) {
    add(1);
    add(2);
    add(3);
    t.first();
    t.next();
    t.deleteRow();
    EXPECT_EQ(t.asInt("Id"), 3);
    t.deleteRow();
    EXPECT_EQ(t.asInt("Id"), 1);
    EXPECT_FALSE(t.eof());
}

TEST_F(RecordTableTest, SixteenBitOverflowIsRefusedAndTheRowStaysInEditing) {
    std::string reported;
    t.setPostError([&](RecordTable&, const std::string& msg) {
        reported = msg;
        return RecordTable::ErrorAction::Abort;
    });
    t.append();
    t.setInt("Small", 40000);
    EXPECT_THROW(t.post(), StoreAborted);
    EXPECT_NE(reported.find("Small"), std::string::npos);
    EXPECT_EQ(t.state(), RecordTable::State::Insert);
    EXPECT_EQ(t.rowCount(), 0);
    // A cursor move cannot store it either, and the row is not lost until cancelled.
    EXPECT_THROW(t.first(), StoreAborted);
    t.setInt("Small", -32768);
    t.post();
    EXPECT_EQ(t.rowCount(), 1);
    EXPECT_EQ(t.asInt("Small"), -32768);
}

TEST_F(RecordTableTest, RefusedStoreWithoutAReactionFails) {
    t.append();
    t.setInt("Small", 32768);
    EXPECT_THROW(t.post(), TableError);
}

TEST_F(RecordTableTest, BeforeEditCanRefuseAndEmptyViewsAreNeverEdited) {
    EXPECT_FALSE(t.edit()); // no rows
    EXPECT_EQ(t.rowCount(), 0);
    add(1);
    t.setBeforeEdit([](RecordTable&) { return false; });
    t.first();
    EXPECT_FALSE(t.edit());
    EXPECT_EQ(t.state(), RecordTable::State::Browse);
}

TEST_F(RecordTableTest, FilterIsEvaluatedAfreshWhenSwitchedOn) {
    for (int i = 1; i <= 6; ++i) add(i);
    std::set<int> hidden = {2, 4};
    t.setFilterPredicate([&](const RowRef& r) { return !hidden.count(r.asInt(0)); });
    t.setFiltered(true);
    EXPECT_EQ(ids(), (std::vector<int>{1, 3, 5, 6}));
    hidden = {1};
    EXPECT_EQ(ids(), (std::vector<int>{1, 3, 5, 6})); // not yet evaluated
    t.setFiltered(false);
    EXPECT_EQ(t.rowCount(), 6);
    t.setFiltered(true);
    EXPECT_EQ(ids(), (std::vector<int>{2, 3, 4, 5, 6}));
    // A filtered view keeps the sort order.
    t.setSortKeys("Id");
    t.first();
    ASSERT_TRUE(t.edit());
    t.setInt("Id", 100);
    t.post();
    EXPECT_EQ(ids(), (std::vector<int>{3, 4, 5, 6, 100}));
}

TEST_F(RecordTableTest, NewRowsThatFailTheFilterAreStoredButNotShown) {
    t.setFilterPredicate([](const RowRef& r) { return r.asInt(0) > 0; });
    t.setFiltered(true);
    add(5);
    add(-1);
    EXPECT_EQ(ids(), (std::vector<int>{5}));
    t.setFiltered(false);
    EXPECT_EQ(ids(), (std::vector<int>{5, -1}));
}

TEST_F(RecordTableTest, LocateFindsTheFirstMatchInViewOrder) {
    add(1, "Alpha");
    add(2, "beta");
    add(3, "Beta");
    add(4, "beta");
    t.setSortKeys("Id");
    EXPECT_TRUE(t.locate("Name", {std::string("beta")}));
    EXPECT_EQ(t.asInt("Id"), 2);
    t.setSortKeys("Name;Id");
    // Order now: Alpha(1), beta(2), Beta(3), beta(4) (case ignored by the order, natural breaks ties).
    EXPECT_TRUE(t.locate("Name;Id", {std::string("BETA"), std::int32_t(3)}, {true}));
    EXPECT_EQ(t.asInt("Id"), 3);
    EXPECT_FALSE(t.locate("Name;Id", {std::string("BETA"), std::int32_t(3)}));
    EXPECT_EQ(t.asInt("Id"), 3); // a failed locate leaves the cursor
    EXPECT_THROW(t.locate("Name;Id", {std::string("x")}), TableError);
}

TEST_F(RecordTableTest, LocateIgnoringCaseFoldsCyrillic) {
    add(1, "Ёжик");
    add(2, "ПРИВЕТ");
    EXPECT_TRUE(t.locate("name", {std::string("привет")}, {true}));
    EXPECT_EQ(t.asInt("Id"), 2);
    EXPECT_TRUE(t.locate("name", {std::string("ёЖИК")}, {true}));
    EXPECT_EQ(t.asInt("Id"), 1);
    EXPECT_FALSE(t.locate("name", {std::string("ежик")}, {true})); // ё is not е for equality
}

TEST_F(RecordTableTest, LocateDistinguishesEmptyFromZero) {
    add(std::nullopt);
    add(0);
    EXPECT_TRUE(t.locate("Id", {std::int32_t(0)}));
    EXPECT_EQ(t.position(), 1);
    EXPECT_TRUE(t.locate("Id", {FieldValue{}}));
    EXPECT_EQ(t.position(), 0);
}

TEST_F(RecordTableTest, LookupReturnsTheResultFieldAndLeavesTheCursor) {
    add(1, "one");
    add(2, "two");
    t.first();
    auto v = t.lookup("Id", {std::int32_t(2)}, "Name");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(std::get<std::string>(*v), "two");
    EXPECT_EQ(t.asInt("Id"), 1);
    EXPECT_FALSE(t.lookup("Id", {std::int32_t(3)}, "Name").has_value());
    auto empty = t.lookup("Id", {std::int32_t(1)}, "Small");
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(std::holds_alternative<std::monostate>(*empty));
}

TEST_F(RecordTableTest, BookmarksSurviveSortsAndDieWithTheirRow) {
    for (int i = 0; i < 10; ++i) add(9 - i);
    t.locate("Id", {std::int32_t(4)});
    Bookmark mark = t.bookmark();
    ASSERT_FALSE(mark.isNull());
    t.setSortKeys("Id");
    t.first();
    EXPECT_TRUE(t.gotoBookmark(mark));
    EXPECT_EQ(t.asInt("Id"), 4);
    EXPECT_EQ(t.position(), 4);
    // Hidden by the filter: not valid for the view.
    t.setFilterPredicate([](const RowRef& r) { return r.asInt(0) != 4; });
    t.setFiltered(true);
    EXPECT_FALSE(t.bookmarkValid(mark));
    EXPECT_FALSE(t.gotoBookmark(mark));
    t.setFiltered(false);
    EXPECT_TRUE(t.bookmarkValid(mark));
    t.gotoBookmark(mark);
    t.deleteRow();
    EXPECT_FALSE(t.bookmarkValid(mark));
    add(4); // a new row with the same values is another row
    EXPECT_FALSE(t.bookmarkValid(mark));
    t.emptyTable();
    EXPECT_EQ(t.rowCount(), 0);
}

class CountingObserver : public TableObserver {
public:
    int resets = 0, rows = 0, currents = 0;
    void tableReset() override { ++resets; }
    void rowChanged(int) override { ++rows; }
    void currentChanged(int) override { ++currents; }
};

TEST_F(RecordTableTest, SuspendedNotificationsNestAndEndWithOneReset) {
    CountingObserver obs;
    t.addObserver(&obs);
    t.disableControls();
    t.disableControls();
    for (int i = 0; i < 3; ++i) add(i);
    t.first();
    t.enableControls();
    EXPECT_EQ(obs.resets + obs.rows + obs.currents, 0);
    t.enableControls();
    EXPECT_EQ(obs.resets, 1);
    EXPECT_FALSE(t.controlsDisabled());
    t.enableControls(); // unpaired: ignored
    t.next();
    EXPECT_EQ(obs.currents, 1);
    t.edit();
    t.setInt("Id", 50);
    t.post();
    EXPECT_EQ(obs.rows, 1);
    t.removeObserver(&obs);
}

TEST_F(RecordTableTest, AnEmptiedSortedTableTakesNewRowsInOrder) {
    add(2, "b");
    add(1, "a");
    t.setSortKeys("Name;Id");
    t.emptyTable();
    add(5, "z");
    add(4, "y");
    EXPECT_EQ(ids(), (std::vector<int>{4, 5}));
}

TEST(RecordTableLayout, LayoutCannotChangeWhileOpen) {
    RecordTable t;
    t.setFields({{"A", FieldType::Int32, 0}});
    t.openEmpty();
    EXPECT_THROW(t.setFields({}), TableError);
    EXPECT_THROW(t.setSortKeys("B"), TableError);
    EXPECT_EQ(t.sortKeys(), "");
}

// A model check: random operations against a plain vector of rows in natural order. After every step the
// view must hold exactly the model's rows in the model's order: filtered, then stably sorted by the key list
// (empty values first, texts by the collation), so rows of equal keys keep their natural order. Each row
// carries a serial number, so rows of equal values are told apart; the filter looks at it only, so which
// rows it hides does not depend on when it judges them.
TEST(RecordTableModel, RandomOperationsMatchAReferenceModel) {
    RecordTable t;
    t.setFields({{"K", FieldType::Int32, 0}, {"S", FieldType::WideText, 5}, {"N", FieldType::Int32, 0}});
    t.openEmpty();
    struct Row {
        int serial;
        std::optional<int> k;
        std::string s;
    };
    std::vector<Row> natural;
    int serial = 0;
    unsigned seed = 12345;
    auto rnd = [&](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    // Few distinct keys, so ties decide most places; "B"/"b" and "ё"/"е" are equal for the collation.
    const std::vector<std::string> words = {"", "a", "B", "b", "ab", "ё", "е"};
    std::map<std::string, int> rank; // words of equal rank compare equal
    for (const std::string& w : words)
        rank[w] = int(std::count_if(words.begin(), words.end(),
                                    [&](const std::string& o) { return icuComparePrimary(o, w) < 0; }));
    ASSERT_EQ(rank["B"], rank["b"]);
    ASSERT_EQ(rank["ё"], rank["е"]);
    const char* const lists[] = {"", "K", "S", "S;K", "K;S"};
    std::string keys;
    bool filter = false;
    auto shown = [](const Row& r) { return r.serial % 3 != 0; };
    t.setFilterPredicate([](const RowRef& r) { return r.asInt(2) % 3 != 0; });

    auto modelView = [&] {
        std::vector<const Row*> v;
        for (const Row& r : natural)
            if (!filter || shown(r)) v.push_back(&r);
        std::stable_sort(v.begin(), v.end(), [&](const Row* a, const Row* b) {
            for (char field : keys) { // names of one letter, between semicolons
                if (field == 'K' && a->k != b->k) return a->k < b->k; // no value before any value
                if (field == 'S' && rank.at(a->s) != rank.at(b->s)) return rank.at(a->s) < rank.at(b->s);
            }
            return false;
        });
        std::vector<int> serials;
        for (const Row* r : v)
            serials.push_back(r->serial);
        return serials;
    };
    auto tableView = [&] {
        std::vector<int> serials;
        for (int i = 0; i < t.rowCount(); ++i)
            serials.push_back(t.rowAt(i).asInt(2));
        return serials;
    };
    auto naturalAt = [&](int viewPos) {
        const int n = t.rowAt(viewPos).asInt(2);
        return std::find_if(natural.begin(), natural.end(), [&](const Row& r) { return r.serial == n; });
    };
    auto setValues = [&](Row& r) {
        r.k = rnd(4) ? std::optional<int>(int(rnd(7))) : std::nullopt;
        r.s = words[rnd(unsigned(words.size()))];
        if (r.k)
            t.setInt("K", *r.k);
        else
            t.setNull("K");
        t.setText("S", r.s);
    };
    auto add = [&] {
        Row r{serial++, std::nullopt, {}};
        setValues(r);
        t.setInt("N", r.serial);
        t.post();
        natural.push_back(r);
        return r.serial;
    };

    for (int step = 0; step < 3000; ++step) {
        const unsigned op = rnd(10);
        SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op) + " keys \"" + keys + "\"");
        int current = -1; // the serial of the row that must be current afterwards, when it is shown
        if (op < 4 || (op < 5 && t.rowCount() == 0)) {
            t.append();
            current = add();
        } else if (op < 5) {
            const int pos = int(rnd(unsigned(t.rowCount())));
            const auto it = naturalAt(pos);
            t.moveTo(pos);
            ASSERT_TRUE(t.edit());
            setValues(*it);
            t.post();
            current = it->serial;
        } else if (op < 6 && t.rowCount() > 0) {
            const int pos = int(rnd(unsigned(t.rowCount())));
            natural.erase(naturalAt(pos));
            t.moveTo(pos);
            t.deleteRow();
        } else if (op < 8) {
            keys = lists[rnd(unsigned(std::size(lists)))];
            t.setSortKeys(keys);
        } else {
            filter = !filter;
            t.setFiltered(filter);
        }
        ASSERT_EQ(tableView(), modelView());
        const auto it =
            std::find_if(natural.begin(), natural.end(), [&](const Row& r) { return r.serial == current; });
        if (it != natural.end() && (!filter || shown(*it))) {
            ASSERT_EQ(t.asInt("N"), current);
        }
    }
}

} // namespace
