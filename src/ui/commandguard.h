#pragma once

#include "base/message.h"
#include "catalogue/recordtable.h"

#include <exception>

namespace marovex {

// Runs a command at the window's boundary. A store the table refused has been reported by the table
// already, so it ends the command quietly; any other failure is handed to `show` once, as its message.
// Whether the command ran to its end.
template <class Show, class Run> bool runReported(Show&& show, Run&& run) {
    try {
        run();
        return true;
    } catch (const StoreAborted&) {
    } catch (const std::exception& e) {
        show(messageOf(e));
    }
    return false;
}

} // namespace marovex
