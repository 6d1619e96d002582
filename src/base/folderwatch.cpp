#include "base/folderwatch.h"

#if defined(__linux__)

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace marovex {

namespace {

constexpr std::uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                   IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;

} // namespace

FolderWatch::FolderWatch() {
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_mounts = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    mountsChanged(); // the first poll reports the table as new
}

FolderWatch::~FolderWatch() {
    if (m_fd >= 0) ::close(m_fd);
    if (m_mounts >= 0) ::close(m_mounts);
}

int FolderWatch::add(const std::filesystem::path& folder) {
    if (m_fd < 0) return -1;
    const int wd = ::inotify_add_watch(m_fd, folder.c_str(), kChanges | IN_ONLYDIR);
    return wd >= 0 ? wd : -1;
}

bool FolderWatch::take(std::vector<Change>& changes) {
    if (m_fd < 0) return false;
    bool complete = true;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (errno != EAGAIN) complete = false;
            break;
        }
        if (n == 0) break;
        for (ssize_t pos = 0; pos + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + pos);
            pos += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                complete = false;
                continue;
            }
            Change c;
            c.watch = e->wd;
            if (e->len > 0) c.name.assign(e->name, ::strnlen(e->name, e->len));
            c.folderGone = (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) != 0;
            // A moved folder stays watched where it went; the caller watches its path anew.
            if (e->mask & IN_MOVE_SELF) ::inotify_rm_watch(m_fd, e->wd);
            changes.push_back(std::move(c));
        }
    }
    return complete;
}

bool FolderWatch::mountsChanged() {
    if (m_mounts < 0) return true;
    // The kernel flags the table's file when a mount comes or goes, and the poll that sees it clears it.
    pollfd p{m_mounts, POLLPRI, 0};
    const int n = ::poll(&p, 1, 0);
    return n != 0 && (n < 0 || (p.revents & (POLLPRI | POLLERR | POLLNVAL)) != 0);
}

bool FolderWatch::reportsEveryChange(const std::filesystem::path& folder) {
    struct statfs fs {};
    if (::statfs(folder.c_str(), &fs) != 0) return false;
    // Local file systems only: whatever is not known here is taken for one that may change unreported.
    static constexpr std::uint32_t kLocal[] = {
        0xEF53,     // ext2, ext3, ext4
        0x58465342, // xfs
        0x9123683E, // btrfs
        0x01021994, // tmpfs
        0x858458F6, // ramfs
        0xF2F52010, // f2fs
        0x2FC12FC1, // zfs
        0xCA451A4E, // bcachefs
        0x3153464A, // jfs
        0x52654973, // reiserfs
        0x4D44,     // msdos, vfat
        0x2011BAB0, // exfat
        0x5346544E, // ntfs
        0x7366746E, // ntfs3
        0x9660,     // iso9660
        0x15013346, // udf
        0x482B,     // hfsplus
        0x794C7630, // overlay
        0x73717368, // squashfs
        0xE0F5E1E2, // erofs
        0x3434,     // nilfs2
    };
    const auto type = std::uint32_t(fs.f_type);
    return std::find(std::begin(kLocal), std::end(kLocal), type) != std::end(kLocal);
}

} // namespace marovex

#else

namespace marovex {

FolderWatch::FolderWatch() = default;
FolderWatch::~FolderWatch() = default;
int FolderWatch::add(const std::filesystem::path&) {
    return -1;
}
bool FolderWatch::take(std::vector<Change>&) {
    return false;
}
bool FolderWatch::mountsChanged() {
    return true;
}
bool FolderWatch::reportsEveryChange(const std::filesystem::path&) {
    return false;
}

} // namespace marovex

#endif
