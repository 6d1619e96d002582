#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace marovex::indexer {

// Finds, reads and prepares (preparePage) the contents pages of a run's issues on a second thread, a few
// issues ahead of the one being parsed, so that parsing never waits for the disk or for preparation.
//
// Work is shared, not handed over: any step (finding an issue's pages, preparing one page) that the thread
// has not begun when its turn comes is done in place, so when the machine has no second core to give,
// nothing waits for the thread. Issues are taken in rising order and may be skipped; pages come out in the
// order they were found, and a page that cannot be read gives its error when its turn comes, as reading it
// in place would. The memory of the pages is reused from issue to issue: a run reads thousands of pages of
// 100 KB and more, and fresh buffers for each would cost more than the reading.
class PageReader {
public:
    // The files of issue i, in reading order; called on either thread, for different issues at once.
    using FindPages = std::function<std::vector<std::filesystem::path>(std::size_t issue)>;

    PageReader(std::size_t issues, FindPages find);
    ~PageReader();
    PageReader(const PageReader&) = delete;
    PageReader& operator=(const PageReader&) = delete;

    // Opens issue i (greater than the one open before) and returns its files. The views next gave for the
    // issues before stay valid until this call.
    const std::vector<std::filesystem::path>& openIssue(std::size_t issue);

    // The next page of the open issue, prepared; valid until the next openIssue. Throws
    // std::runtime_error naming the file when it could not be read. Called once for each file.
    std::string_view next();

    // The whole file, in buffer (which only grows). Throws FileError naming the file when it is no regular
    // file, is larger than kPageFileLimit, or cannot be opened or read.
    static std::string_view readFile(const std::filesystem::path& file, std::string& buffer);

private:
    enum class State { Waiting, Working, Done };
    struct Page {
        State state = State::Waiting;
        std::string bytes, prepared;
        std::string_view text;
        std::exception_ptr error;
    };
    // The pages of one issue; kSlots of them are in use at once, issue i in slot i % kSlots.
    struct Slot {
        std::size_t issue = SIZE_MAX;
        State found = State::Waiting;
        std::exception_ptr findError;
        std::vector<std::filesystem::path> files;
        std::vector<Page> pages; // kept from issue to issue for their memory; the first files.size() count
        std::size_t taken = 0;   // pages handed out by next
        bool busy = false;       // the thread is at work on this slot
    };
    static constexpr std::size_t kSlots = 3;

    Slot& slotOf(std::size_t issue) { return m_slots[issue % kSlots]; }
    void assign(Slot& slot, std::size_t issue);
    void find(Slot& slot);
    void prepare(Slot& slot, Page& page);
    bool claimWork(Slot*& slot, Page*& page);
    void work();

    const std::size_t m_issues;
    const FindPages m_find;
    std::mutex m_mutex;
    std::condition_variable m_wake;  // to the thread: an issue was opened, or the end
    std::condition_variable m_ready; // from the thread: a step is done
    Slot m_slots[kSlots];
    std::size_t m_open = 0;   // the issue open, or the first one to come; the thread works from it on
    bool m_opened = false;    // openIssue was called
    bool m_quit = false;
    std::thread m_thread;     // none when it could not be started: everything is done in place
};

} // namespace marovex::indexer
