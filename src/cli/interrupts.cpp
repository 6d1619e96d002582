#include "cli/interrupts.h"

namespace marovex::cli {

namespace {

std::atomic<std::atomic<bool>*> g_flag{nullptr};
std::atomic<bool> g_interrupted{false};

bool onInterrupt() {
    // The second Ctrl+C takes the default action.
    if (g_interrupted.exchange(true)) return false;
    if (std::atomic<bool>* flag = g_flag.load()) flag->store(true);
    return true;
}

} // namespace

InterruptDeferral::InterruptDeferral(std::atomic<bool>& flag)
    : m_outer(g_flag.exchange(&flag)), m_hook(onInterrupt) {}

InterruptDeferral::~InterruptDeferral() {
    g_flag.store(m_outer);
}

} // namespace marovex::cli
