#include "base/regularfile.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

using namespace marovex;
namespace fs = std::filesystem;

namespace {

// What reading gives: "read" and the bytes, "none", or the refusal's message. In a child process with a
// deadline, since a reader that waited on a FIFO or read a device to its end would never come back.
std::string outcome(const fs::path& file, std::size_t limit, Links links = Links::Follow) {
    const test::BoundedRun run = test::RunBounded(
        [&] {
            const std::optional<std::string> bytes = readRegularFile(file, limit, links);
            return bytes ? "read " + *bytes : std::string("none");
        },
        std::chrono::seconds(5), 64 * 1024);
    return run.finished ? run.output : "did not come back";
}

} // namespace

TEST(RegularFile, OnlyRegularFilesWithinTheLimitAreTakenIn) {
    test::TempDir dir;
    test::writeFile(dir / "page.htm", "12345678");
    const auto refused = [](const std::string& text, const std::string& why) {
        return text.find("cannot read: " + why) != std::string::npos ? "refused" : text;
    };
    EXPECT_EQ(outcome(dir / "page.htm", 8, Links::Refuse), "read 12345678");
    EXPECT_EQ(refused(outcome(dir / "page.htm", 7), "the file is larger than 7 bytes"), "refused");
    EXPECT_EQ(outcome(dir / "missing.htm", 8), "none");
    EXPECT_EQ(refused(outcome(dir.path(), 8), "not a regular file (a folder)"), "refused");
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::fifos;
#else
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink(dir / "page.htm", dir / "link.htm");
    fs::create_symlink(dir / "fifo", dir / "fifo.htm");
    fs::create_symlink(dir / "gone", dir / "dangling.htm");
    EXPECT_EQ(outcome(dir / "dangling.htm", 8), "none");
    EXPECT_EQ(outcome(dir / "link.htm", 8), "read 12345678");
    EXPECT_EQ(refused(outcome(dir / "link.htm", 8, Links::Refuse), "not a regular file (a symbolic link)"),
              "refused");
    EXPECT_EQ(refused(outcome(dir / "fifo", 8), "not a regular file (a FIFO)"), "refused");
    EXPECT_EQ(refused(outcome(dir / "fifo.htm", 8), "not a regular file (a FIFO)"), "refused");
    EXPECT_EQ(refused(outcome("/dev/zero", 8), "not a regular file (a character device)"), "refused");
    // A file whose size tells nothing of what it holds, as those of /proc, is cut off at the limit too.
    EXPECT_EQ(refused(outcome("/proc/self/maps", 16), "the file is larger than 16 bytes"), "refused");
#endif
}
