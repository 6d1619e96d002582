// Without DDE the browser is started with the address: activation has no counterpart, and every open
// request starts the program anew (a running browser hands the address to its open window itself). A
// program that cannot be started is named in the error the request raises.
#ifndef _WIN32

#include "viewer/browserlaunch.h"

#include "base/cp1251.h"
#include "base/message.h"
#include "indexer/archive.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace marovex::viewer {

namespace {

// Starts the program detached from this process and returns 0, or the error number of a program that could
// not be started. A child starts it and ends at once, so only the child is waited for and the browser is
// never a child left to reap; the program's own failure to start comes back through a pipe that its
// successful start closes. Between fork and exec only async-signal-safe calls are made.
int startDetached(const std::string& program, const std::string& argument) {
    const char* argv[] = {program.c_str(), argument.c_str(), nullptr};
    // A script without its interpreter line runs in the shell, as a shell would run it.
    const char* script[] = {"sh", program.c_str(), argument.c_str(), nullptr};
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return errno;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        const pid_t browser = ::fork();
        if (browser == 0) {
            ::setsid();
            const int null = ::open("/dev/null", O_RDWR);
            for (int fd = 0; fd < 3 && null >= 0; ++fd)
                ::dup2(null, fd);
            ::execv(program.c_str(), const_cast<char* const*>(argv));
            if (errno == ENOEXEC) ::execv("/bin/sh", const_cast<char* const*>(script));
        }
        const int error = browser <= 0 ? errno : 0;
        if (error != 0) (void)!::write(report[1], &error, sizeof error);
        ::_exit(0);
    }
    int error = child < 0 ? errno : 0;
    ::close(report[1]);
    if (child > 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        ssize_t got = 0;
        while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
        }
        if (got != ssize_t(sizeof error)) error = 0;
    }
    ::close(report[0]);
    return error;
}

class SpawnConversation final : public Conversation {
public:
    explicit SpawnConversation(std::string program) : m_program(std::move(program)) {}

    void connect(std::string_view /*service*/, std::string_view topic) override { m_topic = topic; }
    void request(std::string_view item) override {
        if (m_topic != kOpenUrlTopic) return;
        const std::filesystem::path program = indexer::archiveFolderPath(m_program);
        if (const int error = startDetached(program.string(), cp1251::toUtf8(addressOfOpenItem(item))))
            throw MessageError(Message(msg::CannotStartProgram, {pathValue(program), errorReason(error)}));
    }
    void close() override { m_topic.clear(); }

private:
    std::string m_program;
    std::string m_topic;
};

} // namespace

std::unique_ptr<Conversation> newPlatformConversation(const std::string& program) {
    return std::make_unique<SpawnConversation>(program);
}

} // namespace marovex::viewer

#endif
