#include "indexer/pageparser.h"
#include "indexer/pagereader.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

using namespace marovex;
using namespace marovex::indexer;
namespace fs = std::filesystem;

namespace {

TEST(PageReader, PagesComeOutPreparedInOrderAndAnUnreadableOneFailsAtItsTurn) {
    test::TempDir dir;
    std::vector<fs::path> files;
    std::vector<std::string> pages;
    for (int i = 0; i < 6; ++i) {
        // Sizes from empty to past what the buffers held before, line ends of every kind.
        std::string page = "page " + std::to_string(i) + (i % 2 ? "\r\n" : "\n") + "x\ry";
        if (i == 3) page = "";
        if (i == 4) page = std::string(300000, 'a') + "\n";
        files.push_back(dir / ("p" + std::to_string(i) + ".htm"));
        pages.push_back(page);
        test::writeFile(files.back(), page);
    }
    fs::create_directory(dir / "folder.htm");

    // Issues of one to three pages, as a run has them, some of them skipped: the pages come out in order
    // whichever thread found and prepared them, and their memory is reused from issue to issue.
    std::vector<std::vector<size_t>> issues;
    for (int round = 0; round < 300; ++round) {
        issues.emplace_back();
        for (int k = 0; k < 1 + round % 3; ++k) issues.back().push_back(size_t(round * 7 + k * 5) % files.size());
    }
    std::atomic<int> asked{0};
    {
        PageReader reader(issues.size(), [&](size_t i) {
            ++asked;
            std::vector<fs::path> batch;
            for (size_t f : issues[i]) batch.push_back(files[f]);
            return batch;
        });
        for (size_t i = 0; i < issues.size(); i += 1 + i % 4 / 3) {
            const auto& batch = reader.openIssue(i);
            ASSERT_EQ(batch.size(), issues[i].size()) << i;
            for (size_t k = 0; k < batch.size(); ++k)
                ASSERT_EQ(reader.next(), preparePage(pages[issues[i][k]])) << i << " " << k;
        }
        EXPECT_THROW(reader.openIssue(2), std::logic_error);
    }
    EXPECT_LE(asked.load(), int(issues.size()));

    // A page that cannot be read fails at its turn, naming itself; the pages before it are intact.
    const std::vector<fs::path> broken = {files[0], dir / "folder.htm", dir / "missing.htm", files[1]};
    PageReader reader(2, [&](size_t i) { return i == 0 ? broken : std::vector<fs::path>{files[2], files[5]}; });
    reader.openIssue(0);
    EXPECT_EQ(reader.next(), preparePage(pages[0]));
    for (const char* name : {"folder.htm", "missing.htm"}) {
        try {
            reader.next();
            ADD_FAILURE() << name << " was read";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    }
    // An issue left with pages untaken: the next one comes all the same.
    reader.openIssue(1);
    EXPECT_EQ(reader.next(), preparePage(pages[2]));
    EXPECT_EQ(reader.next(), preparePage(pages[5]));
}

} // namespace
