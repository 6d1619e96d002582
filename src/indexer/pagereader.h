#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace marovex::indexer {

// Reads an issue's contents pages and prepares them for the parser (PreparePage) on a second thread, so
// that the next page is ready while the one before is parsed. The first page of each call, and any page the
// thread has not begun when its turn comes, is read in place: when the machine has no second core to give,
// nothing waits for the thread. Pages come out in the order they were asked for, and a page that cannot be
// read gives its error when its turn comes, as reading it in place would.
// The memory of the pages is reused from issue to issue: a run reads thousands of pages of 100 KB and
// more, and fresh buffers for each would cost more than the reading.
class PageReader {
public:
    PageReader() = default;
    ~PageReader();
    PageReader(const PageReader&) = delete;
    PageReader& operator=(const PageReader&) = delete;

    // Starts reading these files, in this order; waits first until the thread is done with the page in hand.
    void start(const std::vector<std::filesystem::path>& files);

    // The next page of those, prepared; valid until the next call of next or start. Throws
    // std::runtime_error naming the file when it could not be read. Called once for each file.
    std::string_view next();

    // The whole file, in buffer (which only grows). Throws std::runtime_error naming the file when it
    // cannot be opened or read.
    static std::string_view ReadFile(const std::filesystem::path& file, std::string& buffer);

private:
    enum class State { Waiting, Reading, Ready };
    struct Page {
        State state = State::Waiting;
        std::filesystem::path file;
        std::string bytes, prepared;
        std::string_view text;
        std::exception_ptr error;
    };

    void prepare(Page& page);
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;  // to the thread: new pages to read, or the end
    std::condition_variable m_ready; // from the thread: a page is done
    std::vector<Page> m_pages;       // kept from call to call for their memory
    std::size_t m_count = 0;         // pages asked for by the last start
    std::size_t m_next = 0;          // where the thread looks for a page to read
    std::size_t m_taken = 0;         // pages handed out by next
    bool m_busy = false;             // the thread is reading a page
    bool m_quit = false;
    bool m_inPlace = false; // no second thread could be started: pages are read when they are taken
    std::thread m_thread;   // started by the first start
};

} // namespace marovex::indexer
