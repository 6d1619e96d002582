#include "app/inifile.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#endif

using namespace marovex;
using marovex::test::readFile;
using marovex::test::TempDir;
using marovex::test::writeFile;

#if !defined(_WIN32)
namespace {

// Makes every file write beyond `bytes` fail (EFBIG) while it lives; works for root as well.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lim = m_old;
        lim.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
};

} // namespace
#endif

TEST(ParseInteger, DecimalAndHexadecimalForms) {
    EXPECT_EQ(parseInteger("125"), 125);
    EXPECT_EQ(parseInteger("-16"), -16);
    EXPECT_EQ(parseInteger("+7"), 7);
    EXPECT_EQ(parseInteger("$1F"), 31);
    EXPECT_EQ(parseInteger("0x1f"), 31);
    EXPECT_EQ(parseInteger("0X10"), 16);
    EXPECT_EQ(parseInteger("$00750000"), 0x750000);
    EXPECT_EQ(parseInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(parseInteger("$FF000005"), std::int32_t(0xFF000005u));
    EXPECT_EQ(parseInteger("-$10"), -16);
    EXPECT_EQ(parseInteger("2147483647"), 2147483647);
    EXPECT_EQ(parseInteger("-2147483648"), std::int32_t(-2147483647 - 1));
    for (const char* bad :
         {"", "yes", "1.5", " 1", "1 ", "2147483648", "$", "0x", "$100000000", "--1", "$G", "12a"})
        EXPECT_FALSE(parseInteger(bad).has_value()) << bad;
}

TEST(IniFile, ReadsSectionsAndKeysIgnoringCaseAndBlanks) {
    TempDir dir;
    writeFile(dir / "a.ini", "; comment\r\n"
                             "orphan=1\r\n"
                             "[Options]\r\n"
                             "  DBDIR = D:\\Kelvra \r\n"
                             "empty=\r\n"
                             "no equals sign\r\n"
                             "=nameless\r\n"
                             "[interface]\r\n"
                             "select_browser=$2\r\n"
                             "onclick=yes\r\n"
                             "frame=2\r\n"
                             "state_save=0\r\n"
                             "[\xC8\xEC\xFF]\r\n" // a section named in Cyrillic, any case
                             "\xEA\xEB\xFE\xF7=\xE7\xED\xE0\xF7\xE5\xED\xE8\xE5\r\n");
    const IniFile ini(dir / "a.ini");
    EXPECT_EQ(ini.readString("options", "dbdir", "x"), "D:\\Kelvra");
    EXPECT_EQ(ini.readString("OPTIONS", "Empty", "x"), "");
    EXPECT_EQ(ini.readString("options", "missing", "def"), "def");
    EXPECT_EQ(ini.readString("options", "orphan", "none"), "none"); // keys before any section belong to none
    EXPECT_EQ(ini.readString("options", "no equals sign", "d"), "d");
    EXPECT_EQ(ini.readInteger("interface", "select_browser", 1), 2);
    EXPECT_TRUE(ini.readBool("interface", "onclick", true)); // not a number: the default
    EXPECT_FALSE(ini.readBool("interface", "onclick", false));
    EXPECT_TRUE(ini.readBool("interface", "frame", false)); // any number but 0 is true
    EXPECT_FALSE(ini.readBool("interface", "state_save", true));
    EXPECT_TRUE(ini.sectionExists("INTERFACE"));
    EXPECT_FALSE(ini.sectionExists("nothing"));
    EXPECT_TRUE(ini.valueExists("Interface", "FRAME"));
    // Cyrillic names fold with the code page's table: [ИМЯ] / КЛЮЧ.
    EXPECT_EQ(ini.readString("\xC8\xCC\xDF", "\xCA\xCB\xDE\xD7", ""), "\xE7\xED\xE0\xF7\xE5\xED\xE8\xE5");
}

TEST(IniFile, LineEndsDuplicatesAndLongValues) {
    TempDir dir;
    writeFile(dir / "lf.ini", "[s]\nk=lf\n[t]\nk=1\n[S]\nk=second\nj=from the duplicate\n");
    const IniFile lf(dir / "lf.ini");
    EXPECT_EQ(lf.readString("s", "k", ""), "lf"); // the first occurrence counts
    EXPECT_EQ(lf.readString("s", "j", ""), "from the duplicate");

    writeFile(dir / "long.ini",
              "[s]\r\nk=" + std::string(3000, 'v') + "\r\nn=" + std::string(2047, '7') + "1\r\n");
    const IniFile lng(dir / "long.ini");
    EXPECT_EQ(lng.readString("s", "k", "").size(), 2047u);
    EXPECT_EQ(lng.readInteger("s", "n", 5), 5); // read as its first 2047 characters, too long for a number

    writeFile(dir / "bom.ini", "\xEF\xBB\xBF[s]\r\nk=v");
    EXPECT_EQ(IniFile(dir / "bom.ini").readString("s", "k", ""), "v");
}

TEST(IniFile, AbsentFileReadsDefaultsAndIsCreatedByTheFirstWrite) {
    TempDir dir;
    IniFile ini(dir / "new.ini");
    EXPECT_EQ(ini.readString("s", "k", "def"), "def");
    EXPECT_FALSE(std::filesystem::exists(dir / "new.ini"));
    ini.writeString("options", "dbdir", "C:\\");
    ini.writeInteger("interface", "select_browser", 3);
    ini.writeBool("interface", "frame", true);
    ini.writeString("options", "kelvra", "1");
    EXPECT_EQ(readFile(dir / "new.ini"),
              "[options]\r\ndbdir=C:\\\r\nkelvra=1\r\n[interface]\r\nselect_browser=3\r\nframe=1\r\n");
    const IniFile again(dir / "new.ini");
    EXPECT_EQ(again.readInteger("interface", "select_browser", 0), 3);
    EXPECT_TRUE(again.readBool("interface", "frame", false));
}

TEST(IniFile, WritingKeepsEveryOtherLine) {
    TempDir dir;
    const std::string original = "; settings of Marovex\r\n"
                                 "[options]\r\n"
                                 "DBDir = old\r\n"
                                 "   ; indented comment\r\n"
                                 "kelvra=1\r\n"
                                 "\r\n"
                                 "[interface]\r\n"
                                 "local=rus.lng\r\n"
                                 "\r\n"
                                 "[options]\r\n"
                                 "dbdir=shadowed duplicate\r\n";
    writeFile(dir / "mvx.ini", original);
    IniFile ini(dir / "mvx.ini");
    ini.writeString("options", "dbdir", "new");
    ini.writeString("Options", "kelvra GOLD", "0");
    ini.writeString("interface", "frame", "1");
    EXPECT_EQ(readFile(dir / "mvx.ini"), "; settings of Marovex\r\n"
                                         "[options]\r\n"
                                         "DBDir=new\r\n"
                                         "   ; indented comment\r\n"
                                         "kelvra=1\r\n"
                                         "kelvra GOLD=0\r\n"
                                         "\r\n"
                                         "[interface]\r\n"
                                         "local=rus.lng\r\n"
                                         "frame=1\r\n"
                                         "\r\n"
                                         "[options]\r\n"
                                         "dbdir=shadowed duplicate\r\n");
    EXPECT_EQ(IniFile(dir / "mvx.ini").readString("options", "dbdir", ""), "new");
}

TEST(IniFile, WritingFollowsTheFilesLineEnds) {
    TempDir dir;
    writeFile(dir / "lf.ini", "[a]\nx=1\n");
    IniFile lf(dir / "lf.ini");
    lf.writeString("a", "y", "2");
    lf.writeString("b", "z", "3");
    EXPECT_EQ(readFile(dir / "lf.ini"), "[a]\nx=1\ny=2\n[b]\nz=3\n");

    writeFile(dir / "open.ini", "[a]\r\nx=1"); // no final line break
    IniFile open(dir / "open.ini");
    open.writeString("a", "y", "2");
    EXPECT_EQ(readFile(dir / "open.ini"), "[a]\r\nx=1\r\ny=2\r\n");

    writeFile(dir / "open2.ini", "[a]\r\nx=1");
    IniFile open2(dir / "open2.ini");
    open2.writeString("b", "y", "2");
    EXPECT_EQ(readFile(dir / "open2.ini"), "[a]\r\nx=1\r\n[b]\r\ny=2\r\n");
}

TEST(IniFile, UnwritableKeysRaiseTheMessageAndChangeNothing) {
    TempDir dir;
    const auto path = dir / "mvx.ini";
    const std::string original = "[interface]\r\nlocal=rus.lng\r\n";
    writeFile(path, original);
    IniFile ini(path);
    const std::string message = "Unable to write to " + path.string();

    for (auto [section, key, value] :
         {std::tuple{"interface", "local", "a\r\nlocal=injected"}, std::tuple{"interface", "a=b", "1"},
          std::tuple{"inter]face", "k", "1"}, std::tuple{"interface", "", "1"}, std::tuple{"", "k", "1"},
          std::tuple{"interface", "[k", "1"}}) {
        try {
            ini.writeString(section, key, value);
            ADD_FAILURE() << "no error for " << key << " = " << value;
        } catch (const IniWriteError& e) {
            EXPECT_EQ(e.what(), message);
        }
    }
    EXPECT_EQ(readFile(path), original);

    // A write-protected file.
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    EXPECT_THROW(ini.writeString("interface", "local", "eng.lng"), IniWriteError);
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(ini.readString("interface", "local", ""), "rus.lng");
}

TEST(IniFile, AFailedReplaceLeavesTheOldFile) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::fileSizeLimit;
#else
    TempDir dir;
    const auto path = dir / "mvx.ini";
    const std::string original = "[interface]\r\nlocal=rus.lng\r\n";
    writeFile(path, original);
    IniFile ini(path);
    std::string message;
    {
        // Nothing but the write inside: output to a redirected file would fail here as well.
        const FileSizeLimit limit(8); // the new file cannot be written out in full
        try {
            ini.writeString("interface", "text_search", std::string(100, 'x'));
        } catch (const IniWriteError& e) {
            message = e.what();
        }
    }
    EXPECT_EQ(message, "Unable to write to " + path.string());
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "temporary file left";
    EXPECT_EQ(ini.readString("interface", "text_search", "none"), "none");
    ini.writeString("interface", "text_search", "ok"); // and it works again afterwards
    EXPECT_EQ(IniFile(path).readString("interface", "text_search", ""), "ok");
#endif
}

TEST(IniFile, CreateIfAbsent) {
    TempDir dir;
    IniFile::createIfAbsent(dir / "mvx.ini");
    EXPECT_EQ(readFile(dir / "mvx.ini"), "");
    writeFile(dir / "keep.ini", "[a]\r\n");
    IniFile::createIfAbsent(dir / "keep.ini");
    EXPECT_EQ(readFile(dir / "keep.ini"), "[a]\r\n");
    EXPECT_THROW(IniFile::createIfAbsent(dir / "no such folder" / "mvx.ini"), IniWriteError);
}

TEST(IniFile, QuotesKeepOuterBlanksAndRoundTrip) {
    TempDir dir;
    writeFile(dir / "q.ini", "[s]\r\na=\"Found: \"\r\nb='x'\r\nc=\"half\r\nd=\"\r\ne=\"mixed'\r\n");
    const IniFile read(dir / "q.ini");
    EXPECT_EQ(read.readString("s", "a", ""), "Found: ");
    EXPECT_EQ(read.readString("s", "b", ""), "x");
    EXPECT_EQ(read.readString("s", "c", ""), "\"half");
    EXPECT_EQ(read.readString("s", "d", ""), "\"");
    EXPECT_EQ(read.readString("s", "e", ""), "\"mixed'");

    IniFile ini(dir / "w.ini");
    for (const std::string value : {" lead", "trail\t", "\"quoted\"", "'single'", "\"", "plain text", ""}) {
        ini.writeString("s", "k", value);
        EXPECT_EQ(IniFile(dir / "w.ini").readString("s", "k", "?"), value);
    }
    ini.writeString("s", "k", "plain");
    EXPECT_EQ(readFile(dir / "w.ini"), "[s]\r\nk=plain\r\n");
}
