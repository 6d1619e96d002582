#include "viewer/archiveaddress.h"

#include "base/cp1251.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#if defined(__linux__)
#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

using namespace marovex;
using namespace marovex::viewer;
namespace fs = std::filesystem;

// The pane's addresses resolve ignoring letter case, also names kept in Windows-1251 bytes, and a lookup
// never even opens a folder that a link leads to outside the archive.
TEST(ArchiveAddress, ResolvesInsideTheArchiveOnlyWithoutLookingIntoAFolderOutside) {
#if !defined(__linux__)
    GTEST_SKIP() << test::notOnWindows::inotify;
#else
    test::TempDir dir;
    const fs::path archive = dir / "archive", hx = archive / "Kelvra1/pub/hx";
    test::writeFile(hx / "Page.htm", "inside");
    test::writeFile(hx / cp1251::fromUtf8("АБВ.htm"), "raw name");
    test::writeFile(dir / "outside/s.txt", "secret");
    fs::create_symlink(dir / "outside", hx / "secretdir");
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (dir / "outside").c_str(), IN_OPEN), 0);
    auto openedOutside = [&] {
        alignas(inotify_event) char events[4096];
        return ::read(watch, events, sizeof events) > 0;
    };

    EXPECT_EQ(resolveArchiveAddress(archive, "/KELVRA1/pub/HX/page.HTM"), hx / "Page.htm");
    EXPECT_EQ(resolveArchiveAddress(archive, "/Kelvra1/pub/hx/абв.htm"), hx / cp1251::fromUtf8("АБВ.htm"));
    EXPECT_FALSE(resolveArchiveAddress(archive, "/Kelvra1/pub/hx/SECRETDIR/S.TXT"));
    EXPECT_FALSE(resolveArchiveAddress(archive, "/Kelvra1/pub/hx/secretdir/s.txt"));
    EXPECT_FALSE(openedOutside());
    // The watch does see a listing there.
    ::closedir(::opendir((dir / "outside").c_str()));
    EXPECT_TRUE(openedOutside());
    ::close(watch);
#endif
}

// ".." stops at the archive folder, and an address reaches only a regular file whose real path lies inside:
// no folder, no link to a file outside, no name cut short by a NUL. Nor is a path outside given an address.
TEST(ArchiveAddress, NoAddressReachesOutOfTheArchive) {
    test::TempDir dir;
    const fs::path archive = dir / "archive", hx = archive / "Kelvra1/pub/hx";
    test::writeFile(hx / "Page.htm", "inside");
    test::writeFile(dir / "outside/s.htm", "secret");
#if !defined(_WIN32) // links are POSIX's alone
    fs::create_symlink(dir / "outside/s.htm", hx / "link.htm");
#endif

#if defined(_WIN32) // the system ignores case itself: the name comes as asked
    EXPECT_TRUE(fs::equivalent(resolveArchiveAddress(archive, "/../../Kelvra1/./pub/x/../HX\\page.htm").value(),
                               hx / "Page.htm"));
#else
    EXPECT_EQ(resolveArchiveAddress(archive, "/../../Kelvra1/./pub/x/../HX\\page.htm"), hx / "Page.htm");
#endif
    EXPECT_FALSE(resolveArchiveAddress(archive, "/../outside/s.htm"));
    EXPECT_FALSE(resolveArchiveAddress(archive, "/Kelvra1/pub/hx/link.htm"));
    EXPECT_FALSE(resolveArchiveAddress(archive, "/Kelvra1/pub/hx"));
    EXPECT_FALSE(resolveArchiveAddress(archive, std::string_view("/Kelvra1/pub/hx/Page.htm\0.jpg", 29)));
    EXPECT_EQ(archiveAddressPath(archive, hx / "Page.htm"), "/Kelvra1/pub/hx/Page.htm");
    EXPECT_FALSE(archiveAddressPath(archive, archive / ".." / "outside/s.htm"));
}
