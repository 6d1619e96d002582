#include "app/settingsactions.h"
#include "catalogue/catalogue.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace marovex;
using namespace marovex::settingsactions;
using marovex::test::readFile;
using marovex::test::TempDir;
using marovex::test::writeFile;

namespace {

struct Catalogue {
    TempDir dir;
    RecordTable articles;
    RecordTable topics;

    Catalogue() {
        catalogue::createEmptyCatalogue(dir.path(), true);
        catalogue::openArticleTable(articles, dir / "mvx.dat", {});
        catalogue::openTopicTable(topics, dir / "subjects.dat");
    }
    void addTopic(const std::string& tem) {
        topics.append();
        topics.setText("Tem", tem);
        topics.setBool("Key", true);
        topics.post();
    }
    std::vector<std::string> topicNames() {
        std::vector<std::string> names;
        for (bool more = topics.first(); more; more = topics.next())
            names.push_back(topics.asText("Tem"));
        return names;
    }
};

} // namespace

TEST(SettingsDialog, HexKeyFilterTakesSixDigitsUpperCased) {
    EXPECT_EQ(filterHexKey(0, U'a'), U'A');
    EXPECT_EQ(filterHexKey(5, U'f'), U'F');
    EXPECT_EQ(filterHexKey(5, U'9'), U'9');
    EXPECT_EQ(filterHexKey(6, U'0'), 0u);
    EXPECT_EQ(filterHexKey(9, U'\b'), U'\b');
    for (char32_t refused : {U'g', U'G', U' ', U'#', U'\r', U'\x16', U'ф'})
        EXPECT_EQ(filterHexKey(0, refused), 0u);
}

TEST(SettingsDialog, ReopeningWritesAChangedTopicTableAndTheCopyHoldsIt) {
    Catalogue c;
    c.addTopic("Zeta");
    c.addTopic("Alpha");
    reopenTopicTable(c.topics, c.articles);
    EXPECT_TRUE(c.topics.isOpen());
    EXPECT_FALSE(c.topics.isModified());
    EXPECT_EQ(c.topics.sortKeys(), "Tem");
    EXPECT_EQ(c.topicNames(), (std::vector<std::string>{"Alpha", "Zeta"}));

    RecordTable onDisk;
    catalogue::openTopicTable(onDisk, c.dir / "subjects.dat");
    EXPECT_EQ(onDisk.rowCount(), 2);

    writeTopicCopy(c.dir.path(), c.topics);
    RecordTable copy;
    catalogue::openTopicTable(copy, c.dir / "tem.dat");
    EXPECT_EQ(copy.rowCount(), 2);
}

TEST(SettingsDialog, ReopeningKeepsTheCataloguePairTogether) {
    // New topics beside new articles (an indexing run not yet written): writing the topics alone would
    // pair them with the old articles on disk.
    Catalogue c;
    c.addTopic("Beta");
    c.articles.append();
    c.articles.setInt("Type", 1);
    c.articles.post();
    const std::string before = readFile(c.dir / "subjects.dat");
    reopenTopicTable(c.topics, c.articles);
    EXPECT_EQ(readFile(c.dir / "subjects.dat"), before);
    EXPECT_TRUE(c.topics.isModified());
    EXPECT_EQ(c.topicNames(), std::vector<std::string>{"Beta"});

    catalogue::closeCatalogue(c.articles, c.topics);
    RecordTable onDisk;
    catalogue::openTopicTable(onDisk, c.dir / "subjects.dat");
    EXPECT_EQ(onDisk.rowCount(), 1);
}

TEST(SettingsDialog, ReopeningAnUnreadableFileLeavesAnEmptyTableAndTheFile) {
    Catalogue c;
    writeFile(c.dir / "subjects.dat", "not a table");
    EXPECT_ANY_THROW(reopenTopicTable(c.topics, c.articles));
    EXPECT_TRUE(c.topics.isOpen());
    EXPECT_EQ(c.topics.rowCount(), 0);
    EXPECT_FALSE(c.topics.isModified());
    c.topics.close();
    EXPECT_EQ(readFile(c.dir / "subjects.dat"), "not a table");
}
