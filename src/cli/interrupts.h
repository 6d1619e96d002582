#pragma once

#include "base/platform.h"

#include <atomic>

namespace marovex::cli {

// Ctrl+C while this lives does not end the program: the first one sets `flag`, which asks the command to
// stop in an orderly way, and lets it finish what it is writing; a second one ends the program at once,
// as Ctrl+C does by default. The catalogue files are then as a crash leaves them: the old pair, or the new
// pair once its commit record was written.
class InterruptDeferral {
public:
    explicit InterruptDeferral(std::atomic<bool>& flag);
    ~InterruptDeferral();
    InterruptDeferral(const InterruptDeferral&) = delete;
    InterruptDeferral& operator=(const InterruptDeferral&) = delete;

private:
    std::atomic<bool>* m_outer;
    platform::InterruptHook m_hook;
};

} // namespace marovex::cli
