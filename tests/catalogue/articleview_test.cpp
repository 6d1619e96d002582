#include "catalogue/articleview.h"
#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

using namespace marovex;
using namespace marovex::catalogue;

namespace {

struct Row {
    std::string title, topic;
    int find = 0;
    int izb = 0;
};

class ArticleViewTest : public ::testing::Test {
protected:
    void load(const std::vector<Row>& rows, const std::vector<std::pair<std::string, bool>>& topicRows) {
        openEmptyArticleTable(articles);
        openEmptyTopicTable(topics);
        int npp = 0;
        for (const Row& r : rows) {
            articles.append();
            articles.setInt("Kod", 0);
            articles.setInt("Izb1", 0);
            articles.setInt("Izb", r.izb);
            articles.setInt("Type", 1);
            articles.setText("Number", "  1");
            articles.setText("Tem", r.topic);
            articles.setText("Statia", r.title);
            articles.setInt("Find", r.find);
            articles.setInt("Npp", npp++);
            articles.post();
        }
        for (const auto& [tem, key] : topicRows) {
            topics.append();
            topics.setText("Tem", tem);
            topics.setBool("Key", key);
            topics.post();
        }
        filter = bindTopicFilter(articles, topics);
        articles.setSortKeys(kStandardOrder);
    }
    std::vector<std::string> titles() {
        std::vector<std::string> out;
        for (int i = 0; i < articles.rowCount(); ++i) out.push_back(articles.rowAt(i).asText(articles.field("Statia")));
        return out;
    }
    std::string current() { return articles.asText("Statia"); }
    void go(const std::string& title) { ASSERT_TRUE(articles.locate("Statia", {title})); }
    // No row of the table, hidden ones included, keeps the carry mark.
    void expectNoMark() {
        const bool wasOn = articles.filtered();
        articles.setFiltered(false);
        for (int i = 0; i < articles.rowCount(); ++i)
            EXPECT_EQ(articles.rowAt(i).asInt(articles.field("Kod")), 0) << articles.rowAt(i).asText(articles.field("Statia"));
        articles.setFiltered(wasOn);
    }

    RecordTable articles, topics;
    std::shared_ptr<TopicFilter> filter;
};

TEST_F(ArticleViewTest, TitleButtonsSortMarkedRowsFirstAndCarryTheCurrentRow) {
    load({{"b", "X"}, {"d", "Y", -1}, {"a", "Y"}, {"c", "X", -1}}, {{"X", true}, {"Y", true}});
    go("a");
    EXPECT_EQ(sortByTitle(articles, "Statia"), "Statia");
    EXPECT_EQ(titles(), (std::vector<std::string>{"c", "d", "a", "b"}));
    EXPECT_EQ(current(), "a");
    EXPECT_EQ(sortByTitle(articles, "Number"), "Type");
    EXPECT_EQ(articles.sortKeys(), kStandardOrder);
    EXPECT_EQ(current(), "a");
    EXPECT_EQ(sortByTitle(articles, "Link"), "");
    expectNoMark();
}

TEST_F(ArticleViewTest, AFavouriteToggledInTheFavouritesOrderStaysUntilTheTitleIsClickedAgain) {
    load({{"a", "X"}, {"b", "X"}, {"c", "X"}}, {{"X", true}});
    go("c");
    ASSERT_EQ(sortByTitle(articles, "Izb"), "Izb");
    EXPECT_EQ(titles(), (std::vector<std::string>{"a", "b", "c"}));
    ASSERT_TRUE(toggleFavourite(articles));
    EXPECT_EQ(articles.asInt("Izb"), -1);
    EXPECT_EQ(titles(), (std::vector<std::string>{"a", "b", "c"})) << "the row moved at once";
    sortByTitle(articles, "Izb");
    EXPECT_EQ(titles(), (std::vector<std::string>{"c", "a", "b"}));
    EXPECT_EQ(current(), "c");
    ASSERT_TRUE(toggleFavourite(articles));
    EXPECT_EQ(articles.asInt("Izb"), 0);
    expectNoMark();
}

TEST_F(ArticleViewTest, TheFilterHidesUntickedTopicsAndKeepsTheCurrentRowWhenItCan) {
    load({{"x1", "X"}, {"y1", "Y"}, {"x2", "X"}, {"z", "no topic row"}}, {{"X", true}, {"Y", true}});
    // Unticking a topic with the filter off changes nothing in the view.
    ASSERT_TRUE(topics.locate("Tem", {std::string("X")}));
    EXPECT_FALSE(toggleTopic(topics, articles, *filter));
    EXPECT_EQ(articles.rowCount(), 4);

    // The filter button with the current row in the unticked topic: the row is hidden, the view puts
    // another row current, and no row keeps the mark.
    go("x2");
    EXPECT_TRUE(filterGo(articles, *filter, false));
    EXPECT_EQ(titles(), (std::vector<std::string>{"y1"}));
    EXPECT_EQ(current(), "y1");
    expectNoMark();

    // Off and on again with a visible current row keeps it.
    EXPECT_FALSE(filterGo(articles, *filter, false));
    go("y1");
    EXPECT_TRUE(filterGo(articles, *filter, false));
    EXPECT_EQ(current(), "y1");
    EXPECT_TRUE(filterGo(articles, *filter, true)) << "forced: the filter ends on";

    // Ticking the topic again while the filter is on evaluates every row afresh.
    ASSERT_TRUE(topics.locate("Tem", {std::string("X")}));
    EXPECT_TRUE(toggleTopic(topics, articles, *filter));
    EXPECT_EQ(titles(), (std::vector<std::string>{"x1", "x2", "y1"}));
    expectNoMark();
}

TEST_F(ArticleViewTest, TheStoredSortColumnRestoresItsOrderByExactName) {
    load({{"b", "X"}, {"a", "X"}}, {{"X", true}});
    EXPECT_EQ(restoreSortColumn(articles, "Statia"), "Statia");
    EXPECT_EQ(titles(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(restoreSortColumn(articles, "izb"), "Type");
    EXPECT_EQ(articles.sortKeys(), kStandardOrder);
    EXPECT_EQ(restoreSortColumn(articles, "Number"), "Type");
    EXPECT_EQ(restoreSortColumn(articles, "Izb"), "Izb");
    EXPECT_EQ(articles.sortKeys(), kFavouritesOrder);
}

} // namespace
