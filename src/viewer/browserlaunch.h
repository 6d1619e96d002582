#pragma once

#include "base/message.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

// Handing an address to MSIE or Opera. On Windows the browser is asked through a DDE conversation (and
// started when it does not answer); elsewhere the named browser program is started with the address.
namespace marovex::viewer {

inline constexpr std::string_view kMsieService = "IExplore";
inline constexpr std::string_view kOperaService = "Opera";
inline constexpr std::string_view kActivateTopic = "WWW_Activate";
inline constexpr std::string_view kOpenUrlTopic = "WWW_OpenURL";
inline constexpr std::string_view kActivateItem = "0xFFFFFFFF,0xFFFFFFFF";
inline constexpr std::string_view kMsieOpenSuffix = ",,0xFFFFFFFF";
inline constexpr std::string_view kOperaOpenSuffix = ",,0xFFFFFFFF,0x3,,,";

// The browser program of the settings (UTF-8) is empty or names no file; the message names it.
class BrowserMissing : public MessageError {
public:
    explicit BrowserMissing(const std::string& program)
        : MessageError(program.empty() ? Message(msg::BrowserNotSet, {})
                                       : Message(msg::BrowserNotFound, {textValue(program)})) {}
};

// One client conversation with a browser. Texts are Windows-1251 (the ANSI code page of the browsers).
class Conversation {
public:
    virtual ~Conversation() = default;
    // Closes the current conversation, then connects to service and topic; when no server answers, the
    // browser program is started and the connection tried once more. Failure is silent: the following
    // requests then do nothing.
    virtual void connect(std::string_view service, std::string_view topic) = 0;
    // Asks the server to act on the item; the answer is not used.
    virtual void request(std::string_view item) = 0;
    virtual void close() = 0;
};

// The platform's conversation for a browser program (its path as the settings hold it). Where the program
// is started with the address (no DDE), a program that cannot be started makes the request raise a
// MessageError naming it.
std::unique_ptr<Conversation> newPlatformConversation(const std::string& program);

using ConversationFactory = std::function<std::unique_ptr<Conversation>(const std::string& program)>;

// Raise BrowserMissing before anything else when the program is empty or no file exists there. The address is
// a Windows-1251 path passed without a scheme or quoting.
void openUrlInMsie(const std::string& program, std::string_view service, const std::string& address,
                   ConversationFactory factory = newPlatformConversation);
void openUrlInOpera(const std::string& program, std::string_view service, const std::string& address,
                    ConversationFactory factory = newPlatformConversation);

// The address of an open-URL item: the item up to its last ",,0xFFFFFFFF".
std::string addressOfOpenItem(std::string_view item);

// Whether a browser program setting names an existing file.
bool browserProgramExists(std::string_view program);

} // namespace marovex::viewer
