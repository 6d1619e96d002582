#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "search/findcommand.h"
#include "search/history.h"
#include "search/titlesearch.h"

#include <gtest/gtest.h>

using namespace marovex;
using namespace marovex::search;

namespace {

std::string w(std::string_view utf8) {
    return cp1251::fromUtf8(utf8);
}

bool titleMatches(std::string_view title, std::string_view text, bool caseSensitive = false,
                  bool words = false) {
    return search::titleMatches(w(title), Cp1251Text::fromUtf8(text), {caseSensitive, words});
}

struct Row {
    Row(std::string t, int f, std::string tem = {}) : title(std::move(t)), find(f), topic(std::move(tem)) {}
    std::string title;
    int find = 0;
    std::string topic;
};

void fill(RecordTable& t, const std::vector<Row>& rows) {
    catalogue::openEmptyArticleTable(t);
    int n = 0;
    for (const Row& r : rows) {
        t.append();
        t.setInt("Kod", 0);
        t.setInt("Type", 1 + n % 3);
        t.setText("Number", catalogue::padIssueNumber(std::to_string(100 - n)));
        t.setText("Tem", r.topic);
        t.setText("Statia", r.title);
        t.setInt("Find", r.find);
        t.setInt("Npp", n++);
        t.post();
    }
}

// Marks in natural order.
std::vector<int> marks(RecordTable& t) {
    const std::string keys = t.sortKeys();
    const bool filtered = t.filtered();
    t.setFiltered(false);
    t.setSortKeys("");
    std::vector<int> out;
    for (t.first(); !t.eof(); t.next())
        out.push_back(t.asInt("Find"));
    t.setSortKeys(keys);
    t.setFiltered(filtered);
    return out;
}

struct Recorder {
    std::vector<std::string> boxTexts;
    std::vector<int> results;
    std::vector<bool> detaches;
    int clearEnabled = -1;
    FindHooks hooks() {
        FindHooks h;
        h.setBoxText = [this](const std::string& s) { boxTexts.push_back(s); };
        h.detachGrid = [this](bool d) { detaches.push_back(d); };
        h.showResult = [this](int hits, bool) { results.push_back(hits); };
        h.setClearEnabled = [this](bool e) { clearEnabled = e; };
        return h;
    }
};

FindRequest titles(std::string_view utf8, bool caseSensitive = false, bool words = false) {
    FindRequest r;
    r.boxText = std::string(utf8);
    r.scope = FindScope::Titles;
    r.options = {caseSensitive, words};
    return r;
}

} // namespace

TEST(TitleMatch, OptionsAndTheFirstOccurrenceRule) {
    EXPECT_TRUE(titleMatches("Мир и война", "мир"));
    EXPECT_TRUE(titleMatches("Это мирный договор", "мир"));
    EXPECT_FALSE(titleMatches("Мир и война", "мир", true));
    EXPECT_TRUE(titleMatches("Мир и война", "Мир", true));

    EXPECT_TRUE(titleMatches("(Мир)", "мир", false, true));
    EXPECT_TRUE(titleMatches("мир, труд", "мир", false, true));
    EXPECT_TRUE(titleMatches("Мир", "мир", false, true)); // the title's ends separate words
    EXPECT_FALSE(titleMatches("Миры", "мир", false, true));
    EXPECT_FALSE(titleMatches("мирный мир", "мир", false, true)); // only the first occurrence counts
    EXPECT_FALSE(titleMatches("«мир»", "мир", false, true));      // guillemets belong to words
    EXPECT_TRUE(titleMatches("2мир!", "мир", false, true));

    // A phrase, and titles that are never searched.
    EXPECT_TRUE(titleMatches("Про мир труд май", "мир труд"));
    EXPECT_FALSE(titleMatches("", "мир"));
    EXPECT_FALSE(titleMatches(" ", " "));
    EXPECT_FALSE(titleMatches("\tмир", "мир"));
    EXPECT_TRUE(titleMatches("  мир", "мир"));
    EXPECT_FALSE(titleMatches("мир", ""));
}

TEST(History, NewestFirstWithoutRepeatingTheNewestAndAtMost26) {
    std::vector<std::string> h;
    rememberSearch(h, "");
    EXPECT_TRUE(h.empty()); // an empty history counts as one whose newest entry is empty
    for (const char* s : {"A", "B", "A", "A"})
        rememberSearch(h, s);
    EXPECT_EQ(h, (std::vector<std::string>{"A", "B", "A"}));
    rememberSearch(h, "");
    EXPECT_EQ(h.front(), "");

    h.clear();
    for (int i = 0; i < 27; ++i)
        rememberSearch(h, std::to_string(i));
    ASSERT_EQ(h.size(), kHistoryCapacity);
    EXPECT_EQ(h.front(), "26");
    EXPECT_EQ(h.back(), "1");
}

TEST(RunSearch, CompactsRemembersMarksAndReports) {
    RecordTable t;
    fill(t, {{"Мир и война", 0}, {"Миры", -1}, {"Это мирный договор", -1}, {"", -1}, {"мир труд", 0}});
    t.setSortKeys(catalogue::kStandardOrder);
    std::vector<std::string> history{"old"};
    std::string remembered = "before";
    Recorder rec;

    // An empty box does nothing at all.
    FindOutcome out = runSearch(t, history, remembered, titles(""), rec.hooks());
    EXPECT_FALSE(out.ran);
    EXPECT_EQ(remembered, "before");
    EXPECT_TRUE(rec.results.empty());

    out = runSearch(t, history, remembered, titles("  мир   труд "), rec.hooks());
    EXPECT_EQ(rec.boxTexts, std::vector<std::string>{"мир труд"});
    EXPECT_EQ(remembered, "мир труд");
    EXPECT_EQ(history, (std::vector<std::string>{"мир труд", "old"}));
    EXPECT_EQ(marks(t),
              (std::vector<int>{0, 0, 0, 0, -1})); // every visited mark rewritten, the empty title too
    EXPECT_EQ(rec.results, std::vector<int>{1});
    EXPECT_EQ(rec.clearEnabled, 1);
    EXPECT_EQ(t.sortKeys(), catalogue::kStandardOrder);
    EXPECT_EQ(rec.detaches, (std::vector<bool>{true, false}));
    EXPECT_FALSE(t.controlsDisabled());

    out = runSearch(t, history, remembered, titles("мир"), rec.hooks());
    EXPECT_EQ(out.hits, 4);
    EXPECT_EQ(marks(t), (std::vector<int>{-1, -1, -1, 0, -1}));

    // Blanks only: an empty text is searched, remembered and put on top of the history.
    out = runSearch(t, history, remembered, titles("   "), rec.hooks());
    EXPECT_TRUE(out.ran);
    EXPECT_EQ(out.hits, 0);
    EXPECT_EQ(remembered, "");
    EXPECT_EQ(history.front(), "");
    EXPECT_EQ(marks(t), (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_EQ(rec.results.back(), 0);
    EXPECT_EQ(rec.clearEnabled, 0);

    // What the code page of the files cannot hold becomes "?" in the box, the history and the match alike.
    out = runSearch(t, history, remembered, titles("мир 中"), rec.hooks());
    EXPECT_EQ(rec.boxTexts.back(), "мир ?");
    EXPECT_EQ(remembered, "мир ?");
    EXPECT_EQ(history.front(), "мир ?");
}

TEST(RunSearch, HiddenRowsAreMarkedAndTheFilterComesBack) {
    RecordTable t;
    fill(t, {{"мир", 0, "shown"}, {"мир", 0, "hidden"}, {"война", -1, "hidden"}});
    const int topic = t.field("Tem");
    t.setFilterPredicate([topic](const RowRef& r) { return r.asText(topic) == "shown"; });
    t.setFiltered(true);
    t.setSortKeys(catalogue::kStandardOrder);
    ASSERT_EQ(t.rowCount(), 1);
    std::vector<std::string> history;
    std::string remembered;
    Recorder rec;
    EXPECT_EQ(runSearch(t, history, remembered, titles("мир"), rec.hooks()).hits, 2);
    EXPECT_TRUE(t.filtered());
    EXPECT_EQ(t.rowCount(), 1);
    EXPECT_EQ(marks(t), (std::vector<int>{-1, -1, 0}));
}

TEST(RunSearch, NoScopeChangesNoMarkAndTheButtonFollowsTheCurrentRow) {
    RecordTable t;
    fill(t, {{"мир", -1}, {"мир", 0}});
    std::vector<std::string> history;
    std::string remembered;
    Recorder rec;
    FindRequest r = titles("мир");
    r.scope = FindScope::None;
    const FindOutcome out = runSearch(t, history, remembered, r, rec.hooks());
    EXPECT_EQ(out.hits, 0);
    EXPECT_EQ(rec.results, std::vector<int>{0});
    EXPECT_EQ(marks(t), (std::vector<int>{-1, 0}));
    EXPECT_EQ(rec.clearEnabled, 1); // the walk "ended" on the first row, which is marked

    RecordTable empty;
    fill(empty, {});
    EXPECT_EQ(runSearch(empty, history, remembered, titles("мир"), rec.hooks()).hits, 0);
    EXPECT_EQ(rec.clearEnabled, 0);
}

TEST(ClearSearchMarks, ClearsEveryMarkKeepsTheRowAndTheFilter) {
    RecordTable t;
    fill(t, {{"a", -1, "x"}, {"b", 0, "y"}, {"c", -1, "y"}, {"d", -1, "x"}});
    const int topic = t.field("Tem");
    t.setFilterPredicate([topic](const RowRef& r) { return r.asText(topic) == "x"; });
    t.setFiltered(true);
    t.setSortKeys(catalogue::kStandardOrder);
    t.last();
    const std::string current = t.asText("Statia");
    std::string remembered = "мир";
    int enabled = -1;
    ClearHooks hooks;
    hooks.setClearEnabled = [&](bool e) { enabled = e; };

    EXPECT_TRUE(clearSearchMarks(t, remembered, hooks));
    EXPECT_EQ(t.asText("Statia"), current);
    EXPECT_EQ(marks(t), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(remembered, "");
    EXPECT_EQ(enabled, 0);
    EXPECT_TRUE(t.filtered());
    EXPECT_EQ(t.sortKeys(), catalogue::kStandardOrder);

    // Nothing marked: nothing changes, so pages stay highlighted.
    remembered = "мир";
    enabled = -1;
    EXPECT_FALSE(clearSearchMarks(t, remembered, hooks));
    EXPECT_EQ(remembered, "мир");
    EXPECT_EQ(enabled, -1);
}

TEST(FindResultMessage, TextsAndCount) {
    EXPECT_EQ(findResultMessage("Done", "Found: ", 12), "Done\rFound: 12");
}
