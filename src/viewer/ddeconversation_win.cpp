// The browser conversation on Windows: a DDE client conversation through the DDE management library.
#ifdef _WIN32

#include "viewer/browserlaunch.h"

#include "base/cp1251.h"

#include <windows.h>

#include <ddeml.h>

namespace marovex::viewer {

namespace {

constexpr DWORD kRequestTimeoutMs = 10000;

HDDEDATA CALLBACK clientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

class DdeConversation final : public Conversation {
public:
    explicit DdeConversation(const std::string& program) : m_program(cp1251::fromUtf8(program)) {
        if (DdeInitializeA(&m_instance, clientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
            m_instance = 0;
    }
    ~DdeConversation() override {
        close();
        if (m_instance != 0) DdeUninitialize(m_instance);
    }
    DdeConversation(const DdeConversation&) = delete;
    DdeConversation& operator=(const DdeConversation&) = delete;

    void connect(std::string_view service, std::string_view topic) override {
        close();
        if (m_instance == 0) return;
        m_service = stringHandle(service);
        m_topic = stringHandle(topic);
        if (!tryConnect() && !m_program.empty()) {
            // Quoted, so that a path with blanks cannot be read as a shorter program name.
            const std::string command = "\"" + m_program + "\"";
            if (WinExec(command.c_str(), SW_SHOWMINNOACTIVE) >= 32) tryConnect();
        }
    }

    void request(std::string_view item) override {
        if (m_conversation == nullptr) return;
        const HSZ itemHandle = stringHandle(item);
        if (itemHandle == nullptr) return;
        const HDDEDATA data = DdeClientTransaction(nullptr, 0, m_conversation, itemHandle, m_format,
                                                   XTYP_REQUEST, kRequestTimeoutMs, nullptr);
        if (data != nullptr) DdeFreeDataHandle(data);
        DdeFreeStringHandle(m_instance, itemHandle);
    }

    void close() override {
        if (m_conversation != nullptr) DdeDisconnect(m_conversation);
        m_conversation = nullptr;
        if (m_service != nullptr) DdeFreeStringHandle(m_instance, m_service);
        if (m_topic != nullptr) DdeFreeStringHandle(m_instance, m_topic);
        m_service = m_topic = nullptr;
    }

private:
    HSZ stringHandle(std::string_view text) const {
        const std::string zeroEnded(text);
        return DdeCreateStringHandleA(m_instance, zeroEnded.c_str(), CP_WINANSI);
    }

    bool tryConnect() {
        CONVCONTEXT context{};
        context.cb = sizeof(context);
        context.iCodePage = CP_WINANSI;
        m_conversation = DdeConnect(m_instance, m_service, m_topic, &context);
        if (m_conversation == nullptr) return false;
        CONVINFO info{};
        info.cb = sizeof(info);
        m_format = CF_TEXT;
        if (DdeQueryConvInfo(m_conversation, QID_SYNC, &info) != 0 && info.wFmt != 0) m_format = info.wFmt;
        return true;
    }

    std::string m_program; // Windows-1251, the ANSI code page of the browsers' desktop
    DWORD m_instance = 0;
    HSZ m_service = nullptr;
    HSZ m_topic = nullptr;
    HCONV m_conversation = nullptr;
    UINT m_format = CF_TEXT;
};

} // namespace

std::unique_ptr<Conversation> newPlatformConversation(const std::string& program) {
    return std::make_unique<DdeConversation>(program);
}

} // namespace marovex::viewer

#endif
