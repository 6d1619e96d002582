#include "indexer/pagereader.h"

#include "indexer/pageparser.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace marovex::indexer {

namespace {

class File {
public:
    // Opening does not wait on a FIFO; what is opened is then checked to be a regular file.
    explicit File(const std::filesystem::path& path) : m_fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
    ~File() {
        if (m_fd >= 0) ::close(m_fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

[[noreturn]] void cannotRead(const std::filesystem::path& file) {
    throw std::runtime_error(file.string() + ": cannot read: " + std::strerror(errno));
}

} // namespace

std::string_view PageReader::ReadFile(const std::filesystem::path& file, std::string& buffer) {
    const File f(file);
    if (f.fd() < 0) cannotRead(file);
    struct stat info {};
    // Only a regular file (or a link to one) is a page: a FIFO or a device could block the run for ever,
    // a folder reads as nothing. The type of the opened file counts, so a swap after a check cannot slip by.
    if (::fstat(f.fd(), &info) != 0) cannotRead(file);
    if (!S_ISREG(info.st_mode)) throw std::runtime_error(file.string() + ": cannot read: not a regular file");
    // The size is a hint only: the file is read to its end, whatever it has grown or shrunk to.
    const size_t expected = info.st_size > 0 ? size_t(info.st_size) : 0;
    if (buffer.size() < expected + 1) buffer.resize(expected + 1);
    size_t size = 0;
    for (;;) {
        if (size == buffer.size()) buffer.resize(buffer.size() * 2 + 4096);
        const ssize_t n = ::read(f.fd(), buffer.data() + size, buffer.size() - size);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            cannotRead(file); // a folder in place of a page ends up here
        }
        size += size_t(n);
    }
    return std::string_view(buffer.data(), size);
}

PageReader::~PageReader() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

void PageReader::prepare(Page& page) {
    try {
        page.text = PreparePage(ReadFile(page.file, page.bytes), page.prepared);
    } catch (...) {
        page.error = std::current_exception();
    }
}

void PageReader::start(const std::vector<std::filesystem::path>& files) {
    std::unique_lock lock(m_mutex);
    m_ready.wait(lock, [&] { return !m_busy; });
    if (!m_thread.joinable() && !m_inPlace) {
        try {
            m_thread = std::thread(&PageReader::work, this);
        } catch (const std::system_error&) {
            m_inPlace = true;
        }
    }
    if (m_pages.size() < files.size()) m_pages.resize(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        m_pages[i].state = State::Waiting;
        m_pages[i].file = files[i];
        m_pages[i].error = nullptr;
    }
    m_count = files.size();
    m_taken = 0;
    m_next = 1; // the first page is read in place by next: the thread would only make it wait
    lock.unlock();
    if (m_count > 1 && !m_inPlace) m_wake.notify_one();
}

std::string_view PageReader::next() {
    std::unique_lock lock(m_mutex);
    if (m_taken >= m_count) throw std::logic_error("PageReader::next: no page left");
    Page& page = m_pages[m_taken++];
    if (page.state == State::Waiting) {
        page.state = State::Reading;
        lock.unlock();
        prepare(page);
        lock.lock();
        page.state = State::Ready;
    } else {
        m_ready.wait(lock, [&] { return page.state == State::Ready; });
    }
    if (page.error) std::rethrow_exception(page.error);
    return page.text;
}

void PageReader::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (m_next < m_count && m_pages[m_next].state != State::Waiting)
            ++m_next;
        if (m_quit) return;
        if (m_next >= m_count) {
            m_wake.wait(lock);
            continue;
        }
        Page& page = m_pages[m_next++];
        page.state = State::Reading;
        m_busy = true;
        lock.unlock();
        prepare(page);
        lock.lock();
        page.state = State::Ready;
        m_busy = false;
        m_ready.notify_all();
    }
}

} // namespace marovex::indexer
