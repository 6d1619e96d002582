#include "indexer/pageparser.h"
#include "indexer/pagereader.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

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

    PageReader reader;
    // Many calls one after the other, as a run makes them: the pages and their memory are reused.
    for (int round = 0; round < 300; ++round) {
        std::vector<fs::path> batch;
        std::vector<std::string> expected;
        for (int k = 0; k < 1 + round % 3; ++k) {
            const size_t i = size_t(round * 7 + k * 5) % files.size();
            batch.push_back(files[i]);
            expected.push_back(PreparePage(pages[i]));
        }
        reader.start(batch);
        for (size_t k = 0; k < batch.size(); ++k)
            ASSERT_EQ(reader.next(), expected[k]) << round << " " << k;
    }

    reader.start({files[0], dir / "folder.htm", dir / "missing.htm", files[1]});
    EXPECT_EQ(reader.next(), PreparePage(pages[0]));
    for (const char* name : {"folder.htm", "missing.htm"}) {
        try {
            reader.next();
            ADD_FAILURE() << name << " was read";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    }
    // A run that ends at an error leaves pages untaken; the next call starts afresh all the same.
    reader.start({files[2], files[5]});
    EXPECT_EQ(reader.next(), PreparePage(pages[2]));
    EXPECT_EQ(reader.next(), PreparePage(pages[5]));
}

} // namespace
