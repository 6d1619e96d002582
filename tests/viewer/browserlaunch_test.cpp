#include "viewer/browserlaunch.h"

#include "base/cp1251.h"
#include "base/message.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

using namespace marovex;
using namespace marovex::viewer;
using marovex::test::TempDir;

namespace {

// Records every conversation step, its creation and its release, in one log.
class RecordingConversation final : public Conversation {
public:
    explicit RecordingConversation(std::vector<std::string>& log) : m_log(log) {}
    ~RecordingConversation() override { m_log.push_back("released"); }
    void connect(std::string_view service, std::string_view topic) override {
        m_log.push_back("connect " + std::string(service) + " " + std::string(topic));
    }
    void request(std::string_view item) override { m_log.push_back("request " + std::string(item)); }
    void close() override { m_log.push_back("close"); }

private:
    std::vector<std::string>& m_log;
};

struct Recorder {
    std::vector<std::string> log;
    ConversationFactory factory() {
        return [this](const std::string& program) {
            log.push_back("program " + program);
            return std::make_unique<RecordingConversation>(log);
        };
    }
};

} // namespace

TEST(BrowserLaunch, MsieActivatesThenOpensWithItsItemTexts) {
    TempDir dir;
    test::writeFile(dir / "iexplore.exe", "");
    const std::string program = (dir / "iexplore.exe").string();
    Recorder r;
    openUrlInMsie(program, "IExplore", "C:\\K\\a,b.htm", r.factory());
    EXPECT_EQ(r.log,
              (std::vector<std::string>{"program " + program, "connect IExplore WWW_Activate",
                                        "request 0xFFFFFFFF,0xFFFFFFFF", "connect IExplore WWW_OpenURL",
                                        "request C:\\K\\a,b.htm,,0xFFFFFFFF", "close", "released"}));
}

TEST(BrowserLaunch, OperaOnlyOpensWithItsItemText) {
    TempDir dir;
    test::writeFile(dir / "opera.exe", "");
    Recorder r;
    openUrlInOpera((dir / "opera.exe").string(), "Opera", "C:\\K\\a.htm", r.factory());
    EXPECT_EQ(r.log, (std::vector<std::string>{
                         "program " + (dir / "opera.exe").string(), "connect Opera WWW_OpenURL",
                         "request C:\\K\\a.htm,,0xFFFFFFFF,0x3,,,", "close", "released"}));
}

TEST(BrowserLaunch, MissingProgramIsReportedBeforeAnyConversation) {
    TempDir dir;
    for (const std::string& program : {std::string(), (dir / "none.exe").string(), dir.path().string()}) {
        Recorder r;
        try {
            openUrlInMsie(program, "IExplore", "C:\\K\\a.htm", r.factory());
            ADD_FAILURE() << "no error for " << program;
        } catch (const BrowserMissing& e) {
            EXPECT_EQ(e.message().key, program.empty() ? msg::BrowserNotSet : msg::BrowserNotFound);
            EXPECT_NE(std::string(e.what()).find(program), std::string::npos) << e.what();
        }
        try {
            openUrlInOpera(program, "Opera", "C:\\K\\a.htm", r.factory());
            ADD_FAILURE() << "no error for " << program;
        } catch (const BrowserMissing& e) {
            EXPECT_EQ(e.message().key, program.empty() ? msg::BrowserNotSet : msg::BrowserNotFound);
        }
        EXPECT_TRUE(r.log.empty()) << program;
    }
}

TEST(BrowserLaunch, AddressComesBackOutOfBothOpenItems) {
    EXPECT_EQ(addressOfOpenItem("/k/a,,b.htm,,0xFFFFFFFF"), "/k/a,,b.htm");
    EXPECT_EQ(addressOfOpenItem("/k/a b.htm,,0xFFFFFFFF,0x3,,,"), "/k/a b.htm");
}

// The browser program gets the address as one argument, blanks and Cyrillic letters intact, and is not
// waited for.
TEST(BrowserLaunch, PlatformConversationStartsTheProgramWithTheAddress) {
#if defined(_WIN32)
    GTEST_SKIP() << test::notOnWindows::shellScript;
#else
    TempDir dir;
    const std::filesystem::path program = dir / "my browser";
    const std::filesystem::path out = dir / "args.txt";
    test::writeFile(program, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + out.string() + ".part'\nmv '" +
                                 out.string() + ".part' '" + out.string() + "'\n");
    ::chmod(program.c_str(), 0755);
    const std::string address = cp1251::fromUtf8((dir / "Выпуск 7" / "a,b.htm").string());
    openUrlInOpera(program.string(), "Opera", address);
    for (int i = 0; i < 200 && !std::filesystem::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(test::readFile(out), cp1251::toUtf8(address) + "|");

    // A program that cannot be started is named, with the system's reason.
    ::chmod(program.c_str(), 0644);
    try {
        openUrlInOpera(program.string(), "Opera", address);
        ADD_FAILURE() << "no error";
    } catch (const MessageError& e) {
        EXPECT_EQ(e.message().english(), program.string() + ": cannot start the program: permission denied");
    }
#endif
}
