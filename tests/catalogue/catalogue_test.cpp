#include "catalogue/catalogue.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace marovex;
using marovex::test::TempDir;

namespace {

void addArticle(RecordTable& t, int type, const std::string& number, const std::string& tem,
                const std::string& title, int npp) {
    t.append();
    t.setInt("Kod", 0);
    t.setInt("Izb1", 0);
    t.setInt("type", type); // the indexer writes the edition through the lower-case name
    t.setText("Number", catalogue::padIssueNumber(number));
    t.setText("Tem", tem);
    t.setText("Statia", title);
    t.setInt("Find", 0);
    t.setText("Link", "a" + std::to_string(npp) + ".htm");
    t.setInt("Npp", npp);
    t.post();
}

TEST(Catalogue, LayoutsAreExactlyAsStored) {
    const auto a = catalogue::articleFields();
    ASSERT_EQ(a.size(), 10u);
    const char* names[] = {"Kod", "Izb1", "Izb", "Type", "Number", "Tem", "Statia", "Find", "Link", "Npp"};
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(a[i].name, names[i]);
    EXPECT_EQ(a[4].width, 3);
    EXPECT_EQ(a[5].width, 55);
    EXPECT_EQ(a[6].width, 200);
    EXPECT_EQ(a[8].width, 200);
    EXPECT_EQ(a[9].type, FieldType::Int16);
    const auto t = catalogue::topicFields();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].type, FieldType::Text);
    EXPECT_EQ(t[0].width, 55);
    EXPECT_EQ(t[1].type, FieldType::Boolean);
}

TEST(Catalogue, EditionDisplayText) {
    EXPECT_EQ(catalogue::editionDisplayText(1), "Kelvra-Gold");
    EXPECT_EQ(catalogue::editionDisplayText(2), "Kelvra-Release");
    EXPECT_EQ(catalogue::editionDisplayText(3), "Kelvra");
    EXPECT_EQ(catalogue::editionDisplayText(0), "");
    EXPECT_EQ(catalogue::editionDisplayText(4), "");
    EXPECT_EQ(catalogue::editionDisplayText(-1), "");
}

TEST(Catalogue, IssueNumbersArePaddedAndSortNumerically) {
    EXPECT_EQ(catalogue::padIssueNumber("7"), "  7");
    EXPECT_EQ(catalogue::padIssueNumber("42"), " 42");
    EXPECT_EQ(catalogue::padIssueNumber("123"), "123");
    RecordTable t;
    catalogue::openEmptyArticleTable(t);
    addArticle(t, 3, "123", "", "c", 0);
    addArticle(t, 3, "7", "", "a", 0);
    addArticle(t, 3, "42", "", "b", 0);
    addArticle(t, 1, "500", "", "gold", 0);
    t.setSortKeys(catalogue::kStandardOrder);
    std::vector<std::string> order;
    for (t.first(); !t.eof(); t.next())
        order.push_back(t.asText("Statia"));
    EXPECT_EQ(order, (std::vector<std::string>{"gold", "a", "b", "c"}));
}

TEST(Catalogue, SearchMarksAndFavouritesComeFirstInTheirOrders) {
    RecordTable t;
    catalogue::openEmptyArticleTable(t);
    addArticle(t, 1, "1", "Софт", "first", 0);
    addArticle(t, 1, "1", "Софт", "second", 1);
    addArticle(t, 2, "5", "", "third", 0);
    t.last();
    ASSERT_TRUE(t.edit());
    t.setInt("Find", catalogue::kFound);
    t.setInt("Izb1", catalogue::kFavourite);
    t.post();
    t.setSortKeys(catalogue::kStandardOrder);
    t.first();
    EXPECT_EQ(t.asText("Statia"), "third");
    t.setSortKeys(catalogue::orderByField("Statia"));
    EXPECT_EQ(t.sortKeys(), "Find;Statia;Type;Number;Npp");
    t.first();
    EXPECT_EQ(t.asText("Statia"), "third");
    t.next();
    EXPECT_EQ(t.asText("Statia"), "first");
}

TEST(Catalogue, LongTitlesAreCutTo200Characters) {
    RecordTable t;
    catalogue::openEmptyArticleTable(t);
    std::string title;
    for (int i = 0; i < 250; ++i)
        title += (i % 2 ? "я" : "z");
    addArticle(t, 1, "1", std::string(60, 'T'), title, 0);
    t.first();
    const std::string stored = t.asText("Statia");
    EXPECT_EQ(stored.size(), 100u + 100u * 2u); // 100 ASCII + 100 two-byte letters
    EXPECT_EQ(title.rfind(stored, 0), 0u);
    EXPECT_EQ(t.asText("Tem"), std::string(55, 'T'));
}

TEST(Catalogue, NewRowsAreNoFavouritesAndToggleToMinusOne) {
    RecordTable t;
    catalogue::openEmptyArticleTable(t);
    addArticle(t, 1, "1", "", "x", 0);
    t.first();
    EXPECT_TRUE(t.isNull("Izb"));
    ASSERT_TRUE(t.edit());
    t.setInt("Izb", t.asInt("Izb") == catalogue::kFavourite ? 0 : catalogue::kFavourite);
    t.post();
    EXPECT_EQ(t.asInt("Izb"), -1);
}

TEST(Catalogue, EditOnAViewHiddenByTheFilterChangesNothingAndAddsNoRow) {
    RecordTable t;
    catalogue::openEmptyArticleTable(t);
    addArticle(t, 1, "1", "Hidden", "x", 0);
    t.setFilterPredicate([](const RowRef&) { return false; });
    t.setFiltered(true);
    EXPECT_FALSE(t.edit());
    EXPECT_EQ(t.state(), RecordTable::State::Browse);
    t.setFiltered(false);
    EXPECT_EQ(t.rowCount(), 1);
    t.first();
    EXPECT_TRUE(t.isNull("Izb"));
}

TEST(Catalogue, ARefusedStoreShowsTheDuplicateMessageAndStopsQuietly) {
    std::vector<std::string> shown;
    RecordTable t;
    catalogue::openEmptyArticleTable(t, [&](const std::string& m) { shown.push_back(m); });
    t.append();
    t.setInt("Npp", 70000);
    EXPECT_THROW(t.post(), StoreAborted);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Повторяющиеся записи");
    EXPECT_EQ(t.state(), RecordTable::State::Insert);
}

TEST(Catalogue, EmptyCatalogueFilesOpenWithTheirLayoutsAndAreNotReplaced) {
    TempDir dir;
    auto written = catalogue::createEmptyCatalogue(dir.path(), false);
    EXPECT_EQ(written.size(), 2u);
    RecordTable a, t;
    catalogue::openArticleTable(a, dir / "mvx.dat", {});
    catalogue::openTopicTable(t, dir / "subjects.dat");
    EXPECT_EQ(a.rowCount(), 0);
    t.append();
    t.setText("Tem", "Новости");
    t.setBool("Key", true);
    t.post();
    t.close();
    EXPECT_TRUE(catalogue::createEmptyCatalogue(dir.path(), false).empty());
    t.open();
    EXPECT_EQ(t.rowCount(), 1);
    t.discard();
    EXPECT_EQ(catalogue::createEmptyCatalogue(dir.path(), true).size(), 2u);
    t.open();
    EXPECT_EQ(t.rowCount(), 0);
}

TEST(Catalogue, ATableOfAnotherLayoutIsRefusedByName) {
    TempDir dir;
    catalogue::createEmptyCatalogue(dir.path(), false);
    RecordTable a;
    try {
        catalogue::openArticleTable(a, dir / "subjects.dat", {});
        FAIL() << "a topic table opened as the article table";
    } catch (const TableError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find((dir / "subjects.dat").string()), std::string::npos) << what;
        EXPECT_NE(what.find("not an article table"), std::string::npos) << what;
    }
    EXPECT_FALSE(a.isOpen());
}

TEST(Catalogue, TopicTableKeepsItsOrderByTopic) {
    RecordTable t;
    catalogue::openEmptyTopicTable(t);
    for (const char* s : {"Софт", "Новости", "", "Железо"}) {
        t.append();
        t.setText("Tem", s);
        t.setBool("Key", true);
        t.post();
    }
    std::vector<std::string> order;
    for (t.first(); !t.eof(); t.next())
        order.push_back(t.asText("Tem"));
    EXPECT_EQ(order, (std::vector<std::string>{"", "Железо", "Новости", "Софт"}));
}

} // namespace
