#include "indexer/pagereader.h"

#include "indexer/pageparser.h"

#include "base/platform.h"
#include "base/regularfile.h"

#include <cerrno>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace marovex::indexer {

std::string_view PageReader::readFile(const std::filesystem::path& file, std::string& buffer) {
    // Only a regular file (or a link to one) is a page: a FIFO or a device could block the run for ever or
    // feed it without end, a folder reads as nothing.
    const std::optional<std::string_view> bytes =
        readRegularFile(file, buffer, kPageFileLimit, Links::Follow);
    if (!bytes) throw FileError(cannotReadMessage(file, ENOENT)); // gone since it was found
    return *bytes;
}

PageReader::PageReader(std::size_t issues, FindPages find) : m_issues(issues), m_find(std::move(find)) {
    if (issues == 0) return;
    try {
        m_thread = std::thread(&PageReader::work, this);
    } catch (const std::system_error&) {
        // No second thread: every step is done in place when its turn comes.
    }
}

PageReader::~PageReader() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

void PageReader::assign(Slot& slot, std::size_t issue) {
    slot.issue = issue;
    slot.found = State::Waiting;
    slot.findError = nullptr;
    slot.files.clear();
    slot.taken = 0;
}

// Finds the files of the slot's issue, whose finding was claimed; takes the lock at the end only.
void PageReader::find(Slot& slot) {
    std::vector<std::filesystem::path> files;
    std::exception_ptr error;
    try {
        files = m_find(slot.issue);
    } catch (...) {
        error = std::current_exception();
    }
    const std::lock_guard lock(m_mutex);
    slot.files = std::move(files);
    slot.findError = error;
    if (slot.pages.size() < slot.files.size()) slot.pages.resize(slot.files.size());
    for (size_t k = 0; k < slot.files.size(); ++k) {
        slot.pages[k].state = State::Waiting;
        slot.pages[k].error = nullptr;
    }
    slot.found = State::Done;
}

// Reads and prepares a page whose preparation was claimed; takes the lock at the end only.
void PageReader::prepare(Slot& slot, Page& page) {
    const std::filesystem::path& file = slot.files[size_t(&page - slot.pages.data())];
    try {
        page.text = preparePage(readFile(file, page.bytes), page.prepared);
    } catch (...) {
        page.error = std::current_exception();
    }
    const std::lock_guard lock(m_mutex);
    page.state = State::Done;
}

// The earliest step of the issues from the open one on that nobody has begun, claimed for the thread.
bool PageReader::claimWork(Slot*& slot, Page*& page) {
    for (std::size_t i = m_open; i < m_issues && i < m_open + kSlots; ++i) {
        Slot& s = slotOf(i);
        if (s.issue != i) assign(s, i); // it held an issue before the open one, which is done with
        page = nullptr;
        if (s.found == State::Waiting) {
            s.found = State::Working;
        } else if (s.found == State::Working) {
            continue; // being found in place
        } else {
            for (size_t k = 0; k < s.files.size() && !page; ++k)
                if (s.pages[k].state == State::Waiting) page = &s.pages[k];
            if (!page) continue;
            page->state = State::Working;
        }
        s.busy = true;
        slot = &s;
        return true;
    }
    return false;
}

const std::vector<std::filesystem::path>& PageReader::openIssue(std::size_t issue) {
    if (issue >= m_issues || (m_opened && issue <= m_open))
        throw std::logic_error("PageReader::openIssue: out of order");
    std::unique_lock lock(m_mutex);
    m_open = issue;
    m_opened = true;
    m_wake.notify_one(); // the slots of the issues before are free now
    Slot& slot = slotOf(issue);
    // The slot may still be at work on an issue that was skipped.
    m_ready.wait(lock, [&] { return !slot.busy || slot.issue == issue; });
    if (slot.issue != issue) assign(slot, issue);
    if (slot.found == State::Waiting) {
        slot.found = State::Working;
        lock.unlock();
        find(slot);
        lock.lock();
        m_wake.notify_one(); // its pages are there to be read
    } else {
        m_ready.wait(lock, [&] { return slot.found == State::Done; });
    }
    if (slot.findError) std::rethrow_exception(slot.findError);
    return slot.files;
}

std::string_view PageReader::next() {
    std::unique_lock lock(m_mutex);
    Slot& slot = slotOf(m_open);
    if (!m_opened || slot.issue != m_open || slot.found != State::Done || slot.taken >= slot.files.size())
        throw std::logic_error("PageReader::next: no page left");
    Page& page = slot.pages[slot.taken++];
    if (page.state == State::Waiting) {
        page.state = State::Working;
        lock.unlock();
        prepare(slot, page);
        lock.lock();
    } else {
        m_ready.wait(lock, [&] { return page.state == State::Done; });
    }
    if (page.error) std::rethrow_exception(page.error);
    return page.text;
}

void PageReader::work() {
    // Signals such as Ctrl+C are for the thread that runs the indexing, which decides what they mean.
    platform::blockSignalsInThisThread();
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_quit) return;
        Slot* slot = nullptr;
        Page* page = nullptr;
        if (!claimWork(slot, page)) {
            m_wake.wait(lock);
            continue;
        }
        lock.unlock();
        if (page)
            prepare(*slot, *page);
        else
            find(*slot);
        lock.lock();
        slot->busy = false;
        m_ready.notify_all();
    }
}

} // namespace marovex::indexer
