// Without DDE the browser is started with the address: activation has no counterpart, and every open
// request starts the program anew (a running browser hands the address to its open window itself). A
// program that cannot be started is named in the error the request raises.
#ifndef _WIN32

#include "viewer/browserlaunch.h"

#include "base/cp1251.h"
#include "base/message.h"
#include "base/platform.h"
#include "indexer/archive.h"

#include <filesystem>

namespace marovex::viewer {

namespace {

class SpawnConversation final : public Conversation {
public:
    explicit SpawnConversation(std::string program) : m_program(std::move(program)) {}

    void connect(std::string_view /*service*/, std::string_view topic) override { m_topic = topic; }
    void request(std::string_view item) override {
        if (m_topic != kOpenUrlTopic) return;
        const std::filesystem::path program = indexer::archiveFolderPath(m_program);
        if (const int error = platform::startDetached(program, cp1251::toUtf8(addressOfOpenItem(item))))
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
