// Without DDE the browser is started with the address: activation has no counterpart, and every open
// request starts the program anew (a running browser hands the address to its open window itself).
#ifndef _WIN32

#include "viewer/browserlaunch.h"

#include "base/cp1251.h"
#include "indexer/archive.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace marovex::viewer {

namespace {

// Starts the program detached from this process: a shell starts it in the background and ends at once,
// so only the shell is waited for and the browser never becomes a child left to reap.
void startDetached(const std::string& program, const std::string& argument) {
    static const char* const kScript = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";
    const char* argv[] = {"sh", "-c", kScript, program.c_str(), argument.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

class SpawnConversation final : public Conversation {
public:
    explicit SpawnConversation(std::string program) : m_program(std::move(program)) {}

    void connect(std::string_view /*service*/, std::string_view topic) override { m_topic = topic; }
    void request(std::string_view item) override {
        if (m_topic != kOpenUrlTopic) return;
        startDetached(indexer::ArchiveFolderPath(m_program).string(),
                      cp1251::toUtf8(AddressOfOpenItem(item)));
    }
    void close() override { m_topic.clear(); }

private:
    std::string m_program;
    std::string m_topic;
};

} // namespace

std::unique_ptr<Conversation> NewPlatformConversation(const std::string& program) {
    return std::make_unique<SpawnConversation>(program);
}

} // namespace marovex::viewer

#endif
