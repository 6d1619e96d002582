#include "base/folderwatch.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace marovex;
namespace fs = std::filesystem;

#if defined(__linux__) || defined(_WIN32)
// A change in a watched folder is reported with the entry's name. A folder removed or moved away ends its
// watch, and says so, and changes the system dropped make take() say that anything may have changed: the
// callers trust no file of such a folder any more. Folders are watched as the callers do: the archive, then
// folders inside it, and one apart.
TEST(FolderWatch, ChangesAreSeenAndAWatchThatEndedOrLostChangesIsNotTrusted) {
    test::TempDir dir;
    for (const char* name : {"archive/kept", "archive/moved", "archive/removed", "apart"})
        fs::create_directories(dir / name);
    test::writeFile(dir / "archive" / "kept" / "old.htm", "old");
    FolderWatch watch;
    ASSERT_TRUE(watch.available());
    const int archive = watch.add(dir / "archive"), kept = watch.add(dir / "archive" / "kept"),
              moved = watch.add(dir / "archive" / "moved"), removed = watch.add(dir / "archive" / "removed"),
              apart = watch.add(dir / "apart");
    ASSERT_TRUE(archive >= 0 && kept >= 0 && moved >= 0 && removed >= 0 && apart >= 0);
    EXPECT_EQ(watch.add(dir / "archive" / "kept"), kept);
    EXPECT_EQ(watch.add(dir / "archive" / "kept" / "old.htm"), -1); // no folder
    std::vector<FolderWatch::Change> changes;
    ASSERT_TRUE(watch.take(changes));
    EXPECT_TRUE(changes.empty());

    test::writeFile(dir / "archive" / "kept" / "old.htm", "changed");
    test::writeFile(dir / "archive" / "kept" / "new.htm", "new");
    test::writeFile(dir / "archive" / "kept" / "new~1.htm", "new"); // a long name that looks short
    fs::rename(dir / "archive" / "moved", dir / "archive" / "elsewhere");
    fs::remove_all(dir / "archive" / "removed");
    fs::rename(dir / "apart", dir / "gone");
    ASSERT_TRUE(watch.take(changes));
    const auto seen = [&](int wd, const std::string& name, bool gone) {
        return std::any_of(changes.begin(), changes.end(), [&](const FolderWatch::Change& c) {
            return c.watch == wd && c.name == name && c.folderGone == gone;
        });
    };
    EXPECT_TRUE(seen(kept, "old.htm", false));
    EXPECT_TRUE(seen(kept, "new.htm", false));
    EXPECT_TRUE(seen(kept, "new~1.htm", false));
    EXPECT_TRUE(seen(archive, "moved", false));
    EXPECT_TRUE(seen(moved, "", true));
    EXPECT_TRUE(seen(removed, "", true));
    EXPECT_TRUE(seen(apart, "", true));
    EXPECT_FALSE(seen(kept, "", true) || seen(archive, "", true));

    // More changes than the system keeps for us: some are lost.
#if defined(_WIN32)
    const long queue = 2 * 64 * 1024 / 16; // two of the watch's buffers, of records of 16 bytes at least
#else
    const long queue = std::stol(test::readFile("/proc/sys/fs/inotify/max_queued_events"));
    if (queue > 100000) GTEST_SKIP() << "a queue of " << queue << " changes takes too long to fill";
#endif
    for (long i = 0; i <= queue / 2; ++i)
        test::writeFile(dir / "archive" / "kept" / ("f" + std::to_string(i)), "");
    changes.clear();
    EXPECT_FALSE(watch.take(changes));
}
#endif
