#include "cli/interrupts.h"

namespace marovex::cli {

namespace {

std::atomic<std::atomic<bool>*> g_flag{nullptr};
std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int) {
    if (g_interrupted.exchange(true)) {
        // The second Ctrl+C: the default action, once this handler has returned.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(SIGINT, &fallback, nullptr);
        raise(SIGINT);
        return;
    }
    if (std::atomic<bool>* flag = g_flag.load()) flag->store(true);
}

} // namespace

InterruptDeferral::InterruptDeferral(std::atomic<bool>& flag) : m_outer(g_flag.exchange(&flag)) {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESTART; // progress output and file writes go on undisturbed
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_previous);
}

InterruptDeferral::~InterruptDeferral() {
    sigaction(SIGINT, &m_previous, nullptr);
    g_flag.store(m_outer);
}

} // namespace marovex::cli
