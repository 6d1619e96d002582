// marovex-cli against odd and hostile files in the application folder and the archive: special files,
// forged commit records, protected files, an interrupt during the final write, unreadable issue folders.
#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <thread>
#if !defined(_WIN32)
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace marovex;
using marovex::test::TempDir;
namespace fs = std::filesystem;

namespace {

constexpr auto kDeadline = std::chrono::seconds(5);
constexpr long kGrowthKb = 256 * 1024;

// Runs the companion on the test's application folder; `program` replaces the plain call (to run it as
// another user).
test::BoundedRun cli(const TempDir& dir, const std::vector<std::string>& args,
                     const std::vector<std::string>& program = {MAROVEX_CLI_PATH}) {
    std::vector<std::string> all = program;
    all.insert(all.end(), {"--app-dir", (dir / "app").string()});
    all.insert(all.end(), args.begin(), args.end());
    return test::RunBounded(all, kDeadline, kGrowthKb);
}

// A contents page with one heading and links to the given article files, in Windows-1251.
std::string contentsPage(const std::vector<std::string>& links) {
    std::string html = "<html><body>Материалы<br>\r\n<b>Тема</b><br>\r\n";
    for (const auto& l : links)
        html += "<a href=\"../pub/" + l + "\">Статья про мир " + l + "</a><br>\r\n";
    return cp1251::fromUtf8(html + "</body></html>\r\n");
}

// An archive of issues 5 to 7 of the Gold edition, each with a frame page, a contents page and two article
// files, and an application folder whose catalogue was built from it.
void prepare(const TempDir& dir) {
    for (const char* issue : {"Kelvra-Gold5", "Kelvra-Gold6", "Kelvra-Gold7"}) {
        const fs::path folder = dir / "archive" / issue;
        test::writeFile(folder / "frame" / "left.htm", "<html></html>");
        test::writeFile(folder / "pages" / "materials.htm", contentsPage({"a.htm", "b.htm"}));
        test::writeFile(folder / "pub" / "a.htm", cp1251::fromUtf8("<p>Война и мир</p>"));
        test::writeFile(folder / "pub" / "b.htm", cp1251::fromUtf8("мирный договор"));
    }
    test::writeFile(dir / "app" / "mvx.ini", "[options]\r\ndbdir=" + (dir / "archive").string() +
                                                 "\r\nkelvra GOLD=1\r\nkelvra Release=1\r\nkelvra=1\r\n");
    ASSERT_EQ(cli(dir, {"init"}).status, 0);
    const auto r = cli(dir, {"index"});
    ASSERT_EQ(r.status, 0) << r.output;
}

// The bytes of both catalogue files; a special file in place of one is never opened.
std::string pair(const TempDir& dir) {
    std::string bytes;
    for (const char* name : {"mvx.dat", "subjects.dat"}) {
        const fs::path file = dir / "app" / name;
        bytes +=
            (fs::is_regular_file(fs::symlink_status(file)) ? test::readFile(file) : "(special)") + "\n--\n";
    }
    return bytes;
}

// What a reader sees of the catalogue: the dumps of both tables.
std::string dumps(const TempDir& dir) {
    return cli(dir, {"dump"}).output + "\n--\n" + cli(dir, {"dump", "--table", "topics"}).output;
}

[[maybe_unused]] int articleRows(const TempDir& dir) { // its callers are POSIX-only
    RecordTable t;
    catalogue::openArticleTable(t, dir / "app" / "mvx.dat", {});
    return t.rowCount();
}

} // namespace

TEST(CliAppFolder, SpecialFilesInPlaceOfWhatTheCommandsReadAreReportedByName) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::fifos;
#else
    TempDir dir;
    prepare(dir);
    test::writeFile(dir / "app" / "search.dat", "war\r\n");
    const std::vector<std::string> search = {"search", "мир"};
    struct Case {
        std::string file;
        std::vector<std::vector<std::string>> commands;
        // Commands that do not need the file: they name it and do their work.
        std::vector<std::vector<std::string>> warned = {};
    };
    const std::vector<Case> cases = {
        {"app/mvx.ini",
         {{"index"}, search, {"dump", "--order", "view"}},
         {{"init", "--if-missing"}, {"dump"}, {"dump", "--table", "topics", "--order", "view"}}},
        {"app/search.dat", {search}},
        {"app/.mvx.commit", {{"init"}, {"index"}, search, {"dump"}}},
        {"app/mvx.dat", {{"init", "--if-missing"}, {"init"}, {"index"}, search, {"dump"}}},
        {"app/subjects.dat", {{"init", "--if-missing"}, {"dump", "--table", "topics"}}},
        {"archive/Kelvra-Gold6/pages/materials.htm", {{"index", "--full"}}},
    };
    for (const Case& c : cases) {
        const fs::path file = dir / c.file;
        const bool existed = fs::exists(file);
        if (existed) fs::rename(file, dir / "saved");
        for (const bool fifo : {true, false}) {
            fs::remove(file);
            if (fifo)
                ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
            else
                fs::create_symlink("/dev/zero", file);
            for (const auto& command : c.commands) {
                SCOPED_TRACE(c.file + (fifo ? " as a FIFO, " : " linked to /dev/zero, ") + command[0]);
                const std::string before = pair(dir);
                const auto r = cli(dir, command);
                ASSERT_TRUE(r.finished) << "hung or grew by " << r.peakKb << " KiB";
                EXPECT_EQ(r.status, 1) << r.output;
                EXPECT_NE(r.output.find(file.string()), std::string::npos) << r.output;
                EXPECT_TRUE(pair(dir) == before) << "the catalogue changed";
            }
            for (const auto& command : c.warned) {
                SCOPED_TRACE(c.file + (fifo ? " as a FIFO, " : " linked to /dev/zero, ") + command[0]);
                const auto r = cli(dir, command);
                ASSERT_TRUE(r.finished) << "hung or grew by " << r.peakKb << " KiB";
                EXPECT_EQ(r.status, 0) << r.output;
                EXPECT_NE(r.output.find("warning: " + file.string()), std::string::npos) << r.output;
            }
            EXPECT_EQ(fs::symlink_status(file).type(), fifo ? fs::file_type::fifo : fs::file_type::symlink);
        }
        fs::remove(file);
        if (existed) fs::rename(dir / "saved", file);
    }
    EXPECT_EQ(test::readFile(dir / "app" / "search.dat"), "war\r\n");

    // An article file that is none is passed over by the full-text search like a missing one.
    const fs::path article = dir / "archive" / "Kelvra-Gold6" / "pub" / "a.htm";
    for (const bool fifo : {true, false}) {
        fs::remove(article);
        if (fifo)
            ASSERT_EQ(::mkfifo(article.c_str(), 0644), 0);
        else
            fs::create_symlink("/dev/zero", article);
        const auto r = cli(dir, {"search", "--scope", "texts", "Война"});
        ASSERT_TRUE(r.finished) << "hung or grew by " << r.peakKb << " KiB";
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_NE(r.output.find("Found: 2"), std::string::npos) << r.output;
    }
#endif
}

// The full-text search's store in place of a FIFO, a folder or a protected file: the search answers, names
// the file once, and leaves it as it is.
TEST(CliAppFolder, AStoreFileThatMustNotBeReplacedIsLeftAloneAndNamed) {
    TempDir dir;
    prepare(dir);
    const fs::path app = dir / "app", store = app / "texts.dat", additions = app / "texts.add";
    std::this_thread::sleep_for(std::chrono::milliseconds(2100)); // texts younger than 2 s are not kept
    ASSERT_EQ(cli(dir, {"search", "--scope", "texts", "Война"}).status, 0);
    const std::string kept = test::readFile(store);
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read;
    for (const fs::path& file : {store, additions}) {
#if defined(_WIN32)
        for (const std::string kind : {"folder", "protected"}) { // Windows has no FIFOs
#else
        for (const std::string kind : {"FIFO", "folder", "protected"}) {
#endif
            SCOPED_TRACE(file.filename().string() + " as a " + kind);
            for (const fs::path& f : {store, additions}) {
                if (fs::exists(fs::symlink_status(f)))
                    fs::permissions(f, fs::perms::owner_all, fs::perm_options::add);
                fs::remove_all(f);
            }
            if (file != store) test::writeFile(store, kept);
#if !defined(_WIN32)
            if (kind == "FIFO") {
                ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
            }
#endif
            if (kind == "folder") fs::create_directory(file);
            fs::perms protectedAs{};
            if (kind == "protected") {
                test::writeFile(file, kept);
                fs::permissions(file, readOnly);
                protectedAs = fs::status(file).permissions();
            }
            // A changed text that the store would keep.
            test::writeFile(dir / "archive/Kelvra-Gold6/pub/b.htm", cp1251::fromUtf8("Война " + kind));
            const auto r = cli(dir, {"search", "--scope", "texts", "Война"});
            ASSERT_TRUE(r.finished) << "hung or grew by " << r.peakKb << " KiB";
            EXPECT_EQ(r.status, 0) << r.output;
            EXPECT_NE(r.output.find("Found: 4"), std::string::npos) << r.output;
            const size_t named = r.output.find(file.string() + ":");
            EXPECT_NE(named, std::string::npos) << r.output;
            EXPECT_EQ(r.output.find(file.string() + ":", named + 1), std::string::npos) << r.output;
            EXPECT_EQ(fs::symlink_status(file).type(), kind == "FIFO"     ? fs::file_type::fifo
                                                       : kind == "folder" ? fs::file_type::directory
                                                                          : fs::file_type::regular);
            if (kind == "protected") {
                EXPECT_TRUE(test::readFile(file) == kept);
                EXPECT_EQ(fs::status(file).permissions(), protectedAs);
            }
        }
    }
}

TEST(CliAppFolder, AForgedCommitRecordIsReportedAndDiscardedAndNothingIsRenamed) {
    TempDir dir;
    prepare(dir);
    const fs::path app = dir / "app";
    const std::string settings = test::readFile(app / "mvx.ini");
    const std::string seen = dumps(dir);
    const std::string articles = test::readFile(app / "mvx.dat");
    const std::vector<std::string> forged = {
        "mvx.ini\tmvx.dat",                    // not a temporary at all
        ".mvx.dat.tmp-1-2\tsubjects.dat",      // a temporary of the other file
        ".mvx.dat.tmp-1-2\tmvx.ini",           // a file that is not part of the catalogue
#if !defined(_WIN32) // no links or FIFOs to plant there
        ".subjects.dat.tmp-1-1\tsubjects.dat", // a link, which no writer makes
        ".mvx.dat.tmp-1-0\tmvx.dat",           // a FIFO, which no writer makes either
#endif
    };
    for (const std::string& line : forged) {
        SCOPED_TRACE(line);
        test::writeFile(dir / "outside.dat", articles);
        test::writeFile(app / ".mvx.dat.tmp-1-2", articles);
#if !defined(_WIN32) // the link and the FIFO are POSIX's alone
        fs::remove(app / ".subjects.dat.tmp-1-1");
        fs::create_symlink(dir / "outside.dat", app / ".subjects.dat.tmp-1-1");
        fs::remove(app / ".mvx.dat.tmp-1-0");
        ASSERT_EQ(::mkfifo((app / ".mvx.dat.tmp-1-0").c_str(), 0644), 0);
#endif
        // Folders under such names are no writer's either: one holding anything is left as it is.
        test::writeFile(app / ".mvx.dat.tmp-1-3" / "kept", "kept");
        fs::create_directory(app / ".subjects.dat.tmp-1-4");
        test::writeFile(app / ".mvx.commit", "marovex replace 1\n" + line + "\nend\n");
        EXPECT_EQ(dumps(dir), seen) << "a reader takes the record in";
        const auto r = cli(dir, {"index"});
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_NE(r.output.find((app / ".mvx.commit").string()), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(app / ".mvx.commit"));
        for (const char* leftover :
             {".mvx.dat.tmp-1-0", ".subjects.dat.tmp-1-1", ".mvx.dat.tmp-1-2", ".subjects.dat.tmp-1-4"})
            EXPECT_FALSE(fs::exists(fs::symlink_status(app / leftover))) << leftover << " was left";
        EXPECT_EQ(test::readFile(app / ".mvx.dat.tmp-1-3" / "kept"), "kept");
        EXPECT_EQ(dumps(dir), seen);
        EXPECT_EQ(test::readFile(app / "mvx.ini"), settings);
        EXPECT_TRUE(test::readFile(dir / "outside.dat") == articles) << "written through a link";
    }
}

TEST(CliAppFolder, WriteProtectedFilesAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    prepare(dir);
    const fs::path app = dir / "app";
    test::writeFile(app / "search.dat", "war\r\n");
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    for (const char* name : {"mvx.dat", "subjects.dat"}) {
        fs::permissions(app / name, readOnly);
        const fs::perms protectedAs = fs::status(app / name).permissions();
        std::vector<std::vector<std::string>> commands = {{"index", "--full"}, {"init", "--force"}};
        if (name == std::string("mvx.dat")) commands.push_back({"search", "мир"}); // it writes no topics
        for (const auto& command : commands) {
            SCOPED_TRACE(std::string(name) + ", " + command[0]);
            const std::string before = pair(dir);
            const auto r = cli(dir, command);
            ASSERT_TRUE(r.finished);
            EXPECT_EQ(r.status, 1) << r.output;
            EXPECT_NE(r.output.find((app / name).string()), std::string::npos) << r.output;
            EXPECT_TRUE(pair(dir) == before) << "the catalogue changed";
            EXPECT_EQ(fs::status(app / name).permissions(), protectedAs);
            EXPECT_EQ(test::readFile(app / "search.dat"), "war\r\n");
        }
        fs::permissions(app / name, fs::perms::owner_write, fs::perm_options::add);
    }
    // A search writes the catalogue, the history and the settings: a protected settings file stops it
    // before the first of them.
    const std::string settings = test::readFile(app / "mvx.ini");
    fs::permissions(app / "mvx.ini", readOnly);
    const std::string before = pair(dir);
    const auto r = cli(dir, {"search", "мир"});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find((app / "mvx.ini").string()), std::string::npos) << r.output;
    EXPECT_TRUE(pair(dir) == before) << "the catalogue changed";
    EXPECT_EQ(test::readFile(app / "search.dat"), "war\r\n");
    EXPECT_EQ(test::readFile(app / "mvx.ini"), settings);
}

TEST(CliAppFolder, AnInterruptDuringTheFinalWriteStillWritesTheCatalogue) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::signals;
#else
    TempDir dir;
    prepare(dir);
    const fs::path app = dir / "app";
    const int rows = articleRows(dir);
    ASSERT_GT(rows, 0);
    // The settings now enable another edition only, so the full run's catalogue is a new one.
    test::writeFile(app / "mvx.ini", "[options]\r\ndbdir=" + (dir / "archive").string() +
                                         "\r\nkelvra GOLD=0\r\nkelvra Release=1\r\nkelvra=0\r\n");
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, app.c_str(), IN_CREATE), 0);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], STDERR_FILENO);
        ::close(out[0]);
        ::execl(MAROVEX_CLI_PATH, MAROVEX_CLI_PATH, "--app-dir", app.c_str(), "index", "--full",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    // Ctrl+C the moment the new article table's file is begun.
    bool interrupted = false;
    alignas(inotify_event) char events[4096];
    while (!interrupted) {
        pollfd p{watch, POLLIN, 0};
        if (::poll(&p, 1, 20000) != 1) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            FAIL() << "the catalogue was never written";
        }
        const ssize_t n = ::read(watch, events, sizeof events);
        ASSERT_GT(n, 0);
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            if (e->len > 0 && std::string(e->name).rfind(".mvx.dat.tmp-", 0) == 0 && !interrupted) {
                ::kill(child, SIGINT);
                interrupted = true;
            }
            at += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
    ::close(watch);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, size_t(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0)
                                   << "\n"
                                   << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("Done: 0 issues read"), std::string::npos) << output;
    EXPECT_EQ(articleRows(dir), 0) << "the new catalogue was written";
#endif
}

TEST(CliAppFolder, AnIssueFolderThatCannotBeReadEndsAFullRunAndKeepsTheCatalogue) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::permissions;
#else
    TempDir dir;
    prepare(dir);
    // Permissions do not bind the superuser: the runs go as an unprivileged user over files it owns, with
    // a copy of the program it can reach wherever the build lies.
    std::vector<std::string> asUser = {MAROVEX_CLI_PATH};
    if (::geteuid() == 0) {
        const char* setpriv = ::access("/usr/bin/setpriv", X_OK) == 0 ? "/usr/bin/setpriv"
                              : ::access("/bin/setpriv", X_OK) == 0   ? "/bin/setpriv"
                                                                      : nullptr;
        const passwd* nobody = ::getpwnam("nobody");
        if (!setpriv || !nobody) GTEST_SKIP() << "no setpriv or no user nobody to run as";
        fs::copy_file(MAROVEX_CLI_PATH, dir / "marovex-cli");
        asUser = {setpriv, "--reuid=" + std::to_string(nobody->pw_uid),
                  "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups",
                  (dir / "marovex-cli").string()};
        fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            ASSERT_EQ(::lchown(e.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0) << e.path();
    }
    const int rows = articleRows(dir);
    ASSERT_EQ(rows, 6);
    const fs::path issue = dir / "archive" / "Kelvra-Gold6";
    for (const fs::path& unreadable : {issue, issue / "frame", issue / "pages"}) {
        SCOPED_TRACE(unreadable.string());
        fs::permissions(unreadable, fs::perms::none);
        const std::string before = pair(dir);
        const auto full = cli(dir, {"index", "--full"}, asUser);
        ASSERT_TRUE(full.finished);
        EXPECT_EQ(full.status, 1) << full.output;
        EXPECT_NE(full.output.find(unreadable.string()), std::string::npos) << full.output;
        EXPECT_TRUE(pair(dir) == before) << "the catalogue changed";
        fs::permissions(unreadable, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    }
    const auto full = cli(dir, {"index", "--full"}, asUser);
    EXPECT_EQ(full.status, 0) << full.output;
    EXPECT_EQ(articleRows(dir), rows);
#endif
}
