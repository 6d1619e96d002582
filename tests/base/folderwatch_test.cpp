#include "base/folderwatch.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace marovex;
namespace fs = std::filesystem;

#if defined(__linux__)
// A change in a watched folder is reported with the entry's name. A folder removed or moved away ends its
// watch, and says so, and changes the system dropped make take() say that anything may have changed: the
// callers trust no file of such a folder any more.
TEST(FolderWatch, ChangesAreSeenAndAWatchThatEndedOrLostChangesIsNotTrusted) {
    test::TempDir dir;
    for (const char* name : {"kept", "moved", "removed"})
        fs::create_directories(dir / name);
    test::writeFile(dir / "kept" / "old.htm", "old");
    FolderWatch watch;
    ASSERT_TRUE(watch.available());
    const int kept = watch.add(dir / "kept"), moved = watch.add(dir / "moved"),
              removed = watch.add(dir / "removed");
    ASSERT_TRUE(kept >= 0 && moved >= 0 && removed >= 0);
    EXPECT_EQ(watch.add(dir / "kept" / "old.htm"), -1); // no folder
    std::vector<FolderWatch::Change> changes;
    ASSERT_TRUE(watch.take(changes));
    EXPECT_TRUE(changes.empty());

    test::writeFile(dir / "kept" / "old.htm", "changed");
    test::writeFile(dir / "kept" / "new.htm", "new");
    fs::rename(dir / "moved", dir / "elsewhere");
    fs::remove_all(dir / "removed");
    ASSERT_TRUE(watch.take(changes));
    const auto seen = [&](int wd, const std::string& name, bool gone) {
        return std::any_of(changes.begin(), changes.end(), [&](const FolderWatch::Change& c) {
            return c.watch == wd && c.name == name && c.folderGone == gone;
        });
    };
    EXPECT_TRUE(seen(kept, "old.htm", false));
    EXPECT_TRUE(seen(kept, "new.htm", false));
    EXPECT_TRUE(seen(moved, "", true));
    EXPECT_TRUE(seen(removed, "", true));
    EXPECT_FALSE(seen(kept, "", true));

    // More changes than the system keeps for us: some are lost.
#if defined(_WIN32)
    const long queue = 2 * 64 * 1024 / 16; // two of the watch's buffers, of records of 16 bytes at least
#else
    const long queue = std::stol(test::readFile("/proc/sys/fs/inotify/max_queued_events"));
    if (queue > 100000) GTEST_SKIP() << "a queue of " << queue << " changes takes too long to fill";
#endif
    for (long i = 0; i <= queue / 2; ++i)
        test::writeFile(dir / "kept" / ("f" + std::to_string(i)), "");
    changes.clear();
    EXPECT_FALSE(watch.take(changes));
}
#endif
