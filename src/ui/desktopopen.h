#pragma once

#include "base/message.h"

#include <QString>

#include <functional>

class QObject;

namespace marovex {

// Hands a file to the program the desktop opens files of its kind with, not waiting for that program. When
// the desktop has no such program or cannot start it, `failed` is called with the reason: at once, or later
// from the event loop while `context` still exists.
void openWithDesktop(const QString& file, QObject* context,
                     std::function<void(const Message& reason)> failed);

} // namespace marovex
