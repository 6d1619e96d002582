#include "viewer/browserlaunch.h"

#include "indexer/archive.h"

#include <filesystem>

namespace marovex::viewer {

bool browserProgramExists(std::string_view program) {
    if (program.empty()) return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(indexer::archiveFolderPath(program), ec);
}

void openUrlInMsie(const std::string& program, std::string_view service, const std::string& address,
                   ConversationFactory factory) {
    if (!browserProgramExists(program)) throw BrowserMissing(program);
    const std::unique_ptr<Conversation> conversation = factory(program);
    conversation->connect(service, kActivateTopic);
    conversation->request(kActivateItem);
    conversation->connect(service, kOpenUrlTopic);
    conversation->request(address + std::string(kMsieOpenSuffix));
    conversation->close();
}

void openUrlInOpera(const std::string& program, std::string_view service, const std::string& address,
                    ConversationFactory factory) {
    if (!browserProgramExists(program)) throw BrowserMissing(program);
    // Opera is not asked to activate: without a conversation at that point the request could do nothing.
    const std::unique_ptr<Conversation> conversation = factory(program);
    conversation->connect(service, kOpenUrlTopic);
    conversation->request(address + std::string(kOperaOpenSuffix));
    conversation->close();
}

std::string addressOfOpenItem(std::string_view item) {
    const size_t end = item.rfind(kMsieOpenSuffix);
    return std::string(end == std::string_view::npos ? item : item.substr(0, end));
}

} // namespace marovex::viewer
