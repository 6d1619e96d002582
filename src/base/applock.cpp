#include "base/applock.h"

#include <optional>

namespace marovex {

AppFolderLock AppFolderLock::acquire(const std::filesystem::path& folder) {
    // The lock is taken on the folder itself, so it creates no file there, and it dies with its process.
    bool busy = false;
    std::optional<platform::LockHolder> holder;
    int err = 0;
    platform::FolderLockHandle taken = platform::FolderLockHandle::tryLock(folder, busy, holder, err);
    if (busy) {
        const Message who =
            !holder ? Message(msg::AnotherProgram, {})
            : holder->commandLine.empty()
                ? Message(msg::HolderProcess, {textValue(holder->process)})
                : Message(msg::HolderNamed, {textValue(holder->commandLine), textValue(holder->process)});
        throw FolderLocked(Message(msg::FolderLocked, {pathValue(folder), nested(who)}));
    }
    if (!taken.held())
        throw MessageError(Message(msg::CannotLockFolder, {pathValue(folder), errorReason(err)}));
    AppFolderLock lock;
    lock.m_lock = std::move(taken);
    return lock;
}

} // namespace marovex
