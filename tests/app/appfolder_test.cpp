// The application folder against odd and hostile files: links planted under our temporary names, special
// files where a regular one belongs, and files the user protected. The companion's side is in
// tests/cli/appfolder_cli_test.cpp.
#include "app/inifile.h"
#include "app/language.h"
#include "app/mainsession.h"
#include "app/settingsactions.h"
#include "base/atomicfile.h"
#include "catalogue/catalogue.h"
#include "search/history.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <map>
#if !defined(_WIN32)
#include <unistd.h>
#endif

using namespace marovex;
using marovex::test::TempDir;
namespace fs = std::filesystem;

namespace {

constexpr auto kDeadline = std::chrono::seconds(5);
constexpr long kGrowthKb = 256 * 1024;

// The window's side of start-up and shutdown: every message it shows, one a line.
struct Window {
    std::string shown;
    std::vector<std::string> entries;
    void startUp(MainSession& session) {
        const Startup result = session.startUp();
        for (const Notice& n : result.notices)
            shown += n.message.english() + "\n";
        if (result.history) entries = *result.history;
    }
    bool shutDown(MainSession& session) {
        Closing closing;
        closing.history = entries;
        const auto closed = session.shutDown(closing);
        for (const Message& m : closed.notes)
            shown += m.english() + "\n";
        if (closed.error) shown += closed.error->english() + "\n";
        return !closed.error;
    }
};

#if !defined(_WIN32)
void addArticle(RecordTable& t, const std::string& title) {
    t.append();
    t.setInt("Kod", 0);
    t.setInt("Type", 1);
    t.setText("Number", "  7");
    t.setText("Statia", title);
    t.setInt("Find", 0);
    t.setInt("Npp", t.rowCount());
    t.post();
}

void addTopic(RecordTable& t, const std::string& topic) {
    t.append();
    t.setText("Tem", topic);
    t.setBool("Key", false);
    t.post();
}

// The counter of the next temporary name of this process: ".<name>.tmp-<process>-<counter>".
unsigned nextTemporary(const fs::path& dir) {
    const std::string probe = temporaryBeside(dir / "probe").filename().string();
    return unsigned(std::stoul(probe.substr(probe.rfind('-') + 1))) + 1;
}

// Links under the temporary names of `files` that the coming writes will try first, each pointing to a
// file of its own in `outside`. The files are listed in the order they are written: the n-th gets links
// for n times `span` names, so that the names a write skips leave the next file's first tries planted too.
std::vector<fs::path> plantLinks(const fs::path& dir, const fs::path& outside,
                                 const std::vector<std::string>& files) {
    constexpr unsigned span = 8;
    const unsigned first = nextTemporary(dir);
    std::vector<fs::path> targets;
    for (size_t n = 0; n < files.size(); ++n) {
        for (unsigned k = first; k < first + unsigned(n + 1) * span; ++k) {
            const std::string name =
                "." + files[n] + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(k);
            const fs::path target = outside / name;
            test::writeFile(target, "untouched");
            fs::create_symlink(target, dir / name);
            targets.push_back(target);
        }
    }
    return targets;
}

bool isPlainFile(const fs::path& file) {
    return fs::is_regular_file(fs::symlink_status(file));
}

void makeSpecial(const fs::path& file, bool fifo) {
    fs::remove(file);
    if (fifo)
        ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    else
        fs::create_symlink("/dev/zero", file);
}
#endif

} // namespace

TEST(AppFolder, WritesNeverFollowLinksPlantedUnderTheirTemporaryNames) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::symlinks;
#else
    TempDir root;
    const fs::path dir = root / "app", outside = root / "outside";
    fs::create_directories(dir);
    catalogue::createEmptyCatalogue(dir, true);
    std::vector<fs::path> targets;
    auto planted = [&](const std::vector<std::string>& files) {
        for (const fs::path& t : plantLinks(dir, outside, files))
            targets.push_back(t);
    };

    planted({"mvx.ini"});
    IniFile ini(dir / "mvx.ini");
    ini.writeString("options", "dbdir", "/archive");

    planted({"search.dat"});
    writeSearchHistory(dir / "search.dat", {"мир"});

    // Both catalogue files as one change: two table temporaries and the commit record's own.
    RecordTable articles, topics;
    catalogue::openArticleTable(articles, dir / "mvx.dat", {});
    catalogue::openTopicTable(topics, dir / "subjects.dat");
    addArticle(articles, "new");
    addTopic(topics, "B");
    planted({"mvx.dat", "subjects.dat", std::string(catalogue::kCommitRecord)});
    catalogue::closeCatalogue(articles, topics);

    catalogue::openTopicTable(topics, dir / "subjects.dat");
    planted({"tem.dat"});
    settingsactions::writeTopicCopy(dir, topics);

    for (const fs::path& t : targets)
        EXPECT_EQ(test::readFile(t), "untouched") << t;
    for (const char* f : {"mvx.ini", "search.dat", "mvx.dat", "subjects.dat", "tem.dat"})
        EXPECT_TRUE(isPlainFile(dir / f)) << f << " is not a regular file of the folder";
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / catalogue::kCommitRecord)));
    EXPECT_EQ(IniFile(dir / "mvx.ini").readString("options", "dbdir", ""), "/archive");
    EXPECT_EQ(readSearchHistory(dir / "search.dat"), std::vector<std::string>{"мир"});
    catalogue::openArticleTable(articles, dir / "mvx.dat", {});
    EXPECT_EQ(articles.rowCount(), 1);
    articles.discard();
    RecordTable copy;
    catalogue::openTopicTable(copy, dir / "tem.dat");
    EXPECT_EQ(copy.rowCount(), 1);
#endif
}

TEST(AppFolder, SpecialFilesInPlaceOfWhatTheWindowReadsAreReportedByName) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::fifos;
#else
    TempDir dir;
    catalogue::createEmptyCatalogue(dir.path(), true);
    test::writeFile(dir / "Locale" / "x.lng", "[MVX Language File]\r\nLanguageName=X\r\n");
    const std::string settings = "[interface]\r\nlocal=x.lng\r\n";
    test::writeFile(dir / "mvx.ini", settings);
    test::writeFile(dir / "search.dat", "мир\r\n");
    const std::string catalogueBefore = test::readFile(dir / "mvx.dat");

    for (const char* name : {"mvx.ini", "search.dat", ".mvx.commit", "Locale/x.lng"}) {
        for (const bool fifo : {true, false}) {
            SCOPED_TRACE(std::string(name) + (fifo ? " as a FIFO" : " linked to /dev/zero"));
            const fs::path file = dir / name;
            const std::string before = fs::exists(file) ? test::readFile(file) : std::string();
            makeSpecial(file, fifo);
            // The window's start-up and shutdown, then its settings dialog's language list.
            const auto run = test::RunBounded(
                [&] {
                    MainSession session(dir.path());
                    Window window;
                    window.startUp(session);
                    window.shutDown(session);
                    session.closeTopicTable();
                    const auto list = buildLanguageList(dir.path());
                    return window.shown;
                },
                kDeadline, kGrowthKb);
            EXPECT_TRUE(run.finished) << "hung or grew by " << run.peakKb << " KiB";
            EXPECT_NE(run.output.find(file.string()), std::string::npos) << run.output;
            EXPECT_EQ(fs::symlink_status(file).type(), fifo ? fs::file_type::fifo : fs::file_type::symlink);
            EXPECT_TRUE(test::readFile(dir / "mvx.dat") == catalogueBefore) << "mvx.dat was rewritten";
            fs::remove(file);
            if (!before.empty()) test::writeFile(file, before);
        }
    }
    // The window's state is written at a normal close; the user's settings stay.
    EXPECT_TRUE(isPlainFile(dir / "mvx.ini"));
    EXPECT_EQ(IniFile(dir / "mvx.ini").readString("interface", "local", ""), "x.lng");

    // The settings dialog's copy of the topic table is not written over one either.
    RecordTable topics;
    catalogue::openTopicTable(topics, dir / "subjects.dat");
    for (const bool fifo : {true, false}) {
        makeSpecial(dir / "tem.dat", fifo);
        try {
            settingsactions::writeTopicCopy(dir.path(), topics);
            ADD_FAILURE() << "tem.dat written over a special file";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find((dir / "tem.dat").string()), std::string::npos) << e.what();
        }
        EXPECT_EQ(fs::symlink_status(dir / "tem.dat").type(),
                  fifo ? fs::file_type::fifo : fs::file_type::symlink);
    }
#endif
}

// A settings or history file spoiled while the window runs keeps it open until fixed, with nothing lost; one
// the user protected is said and left as it is, and the close goes on.
TEST(AppFolder, AFileSpoiledWhileTheWindowRunsKeepsItOpenUntilFixedAndNothingIsLost) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::fifos;
#else
    TempDir dir;
    catalogue::createEmptyCatalogue(dir.path(), true);
    {
        RecordTable articles, topics;
        catalogue::openArticleTable(articles, dir / "mvx.dat", {});
        catalogue::openTopicTable(topics, dir / "subjects.dat");
        addArticle(articles, "a");
        addArticle(articles, "b");
        catalogue::closeCatalogue(articles, topics);
    }
    const std::string settings = "[interface]\r\nstate_save=1\r\n";
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    auto izbOf = [&](const std::string& title) {
        RecordTable t;
        catalogue::openArticleTable(t, dir / "mvx.dat", {});
        EXPECT_TRUE(t.locate("Statia", {title}));
        return t.isNull("Izb") ? 0 : t.asInt("Izb");
    };
    auto regularFiles = [&] {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.is_regular_file()) files[e.path().filename().string()] = test::readFile(e.path());
        return files;
    };
    for (const char* name : {"mvx.ini", "search.dat"}) {
        for (const bool fifo : {true, false}) {
            SCOPED_TRACE(std::string(name) + (fifo ? " as a FIFO" : " write-protected"));
            test::writeFile(dir / "mvx.ini", settings);
            writeSearchHistory(dir / "search.dat", {"old"});
            const fs::path file = dir / name;
            const std::string content = test::readFile(file);
            MainSession session(dir.path());
            Window window;
            window.startUp(session);
            ASSERT_EQ(window.shown, "");
            window.entries = {"new", "old"};
            ASSERT_TRUE(session.articles().locate("Statia", {std::string("b")}));
            if (fifo)
                makeSpecial(file, true);
            else
                fs::permissions(file, readOnly);
            const auto before = regularFiles();
            if (!fifo) {
                // The user protected it: it is said and left as it is, and the rest is written.
                EXPECT_TRUE(window.shutDown(session)) << window.shown;
                EXPECT_NE(window.shown.find(file.string()), std::string::npos) << window.shown;
                EXPECT_TRUE(test::readFile(file) == content);
                EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, readOnly);
                EXPECT_EQ(izbOf("b"), 5);
                EXPECT_TRUE(session.closeTopicTable().empty());
                fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
                continue;
            }
            EXPECT_FALSE(window.shutDown(session)) << "the window closed";
            EXPECT_NE(window.shown.find(file.string()), std::string::npos) << window.shown;
            EXPECT_TRUE(regularFiles() == before) << "written before every file was found writable";
            EXPECT_EQ(fs::symlink_status(file).type(), fifo ? fs::file_type::fifo : fs::file_type::regular);
            ASSERT_TRUE(session.articles().isOpen());

            // Fixed, and closed with another row current: only that row is remembered.
            if (fifo) {
                fs::remove(file);
                test::writeFile(file, content);
            } else {
                fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
            }
            ASSERT_TRUE(session.articles().locate("Statia", {std::string("a")}));
            EXPECT_TRUE(window.shutDown(session)) << window.shown;
            EXPECT_TRUE(session.closeTopicTable().empty());
            EXPECT_EQ(izbOf("a"), 5);
            EXPECT_EQ(izbOf("b"), 0);
            EXPECT_EQ(readSearchHistory(dir / "search.dat"), (std::vector<std::string>{"new", "old"}));
            const IniFile ini(dir / "mvx.ini");
            EXPECT_EQ(ini.readString("interface", "state_save", ""), "1");
            EXPECT_EQ(ini.readString("interface", "WindowState", ""), "3");
        }
    }
#endif
}

TEST(AppFolder, ALanguageFileThatCannotBeReadIsListedAndReportedWhenChosen) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::fifos;
#else
    TempDir dir;
    test::writeFile(dir / "Locale" / "eng.lng", "[MVX Language File]\r\nLanguageName=English\r\n");
    ASSERT_EQ(::mkfifo((dir / "Locale" / "fifo.lng").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", dir / "Locale" / "zero.lng");
    const auto run = test::RunBounded(
        [&] {
            std::string out;
            for (const LanguageEntry& e : buildLanguageList(dir.path()))
                out += e.file + "=" + e.name + ";";
            return out;
        },
        kDeadline, kGrowthKb);
    ASSERT_TRUE(run.finished) << "hung or grew by " << run.peakKb << " KiB";
    EXPECT_EQ(run.output, "fifo.lng=***;zero.lng=***;eng.lng=English;");
    for (const char* name : {"fifo.lng", "zero.lng"}) {
        MessageTexts messages;
        Message problem;
        int set = 0;
        EXPECT_FALSE(applyLanguage(
            language::Target::MainWindow, dir.path(), name, [&set](const TextAssignment&) { ++set; },
            messages, &problem));
        EXPECT_EQ(set, 0);
        EXPECT_NE(problem.english().find((dir / "Locale" / name).string()), std::string::npos)
            << problem.english();
    }
#endif
}

TEST(AppFolder, WriteProtectedCatalogueFilesEndTheStartUpAndTheTopicCopyIsKept) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::permissions;
#else
    TempDir dir;
    catalogue::createEmptyCatalogue(dir.path(), true);
    for (const char* name : {"mvx.dat", "subjects.dat"}) {
        SCOPED_TRACE(name);
        const fs::path file = dir / name;
        fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        const std::string before = test::readFile(file);
        {
            MainSession session(dir.path());
            Window window;
            window.startUp(session);
            EXPECT_TRUE(session.startupFailed());
            EXPECT_NE(window.shown.find(file.string()), std::string::npos) << window.shown;
            // A change made anyway is not written.
            if (session.articles().isOpen()) addArticle(session.articles(), "new");
            EXPECT_TRUE(window.shutDown(session));
        }
        EXPECT_TRUE(test::readFile(file) == before) << "replaced";
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    }

    RecordTable topics;
    catalogue::openTopicTable(topics, dir / "subjects.dat");
    addTopic(topics, "A");
    settingsactions::writeTopicCopy(dir.path(), topics);
    fs::permissions(dir / "tem.dat", fs::perms::owner_read);
    addTopic(topics, "B");
    const std::string before = test::readFile(dir / "tem.dat");
    try {
        settingsactions::writeTopicCopy(dir.path(), topics);
        ADD_FAILURE() << "a write-protected tem.dat was replaced";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find((dir / "tem.dat").string()), std::string::npos) << e.what();
    }
    EXPECT_TRUE(test::readFile(dir / "tem.dat") == before) << "replaced";
    topics.discard();
#endif
}
