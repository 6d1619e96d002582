#include "support/testsupport.h"

#include "base/cp1251.h"
#include "base/platform.h"
#include "catalogue/catalogue.h"
#include "catalogue/recordtable.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it builds on.
#include <psapi.h>

#include <future>
#include <random>
#include <thread>
#else
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace marovex::test {

TempDir::TempDir() {
#if defined(_WIN32)
    std::random_device random;
    for (int tries = 0; tries < 100; ++tries) {
        const auto candidate =
            std::filesystem::temp_directory_path() / ("marovex-test-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "marovex-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern;
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable so they can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::filesystem::path diskName(std::string_view name) {
#if defined(_WIN32)
    return platform::pathFromUtf8(cp1251::toUtf8(cp1251::fromFileName(name)));
#else
    return platform::pathFromUtf8(name);
#endif
}

std::uint64_t fileNumber(const std::filesystem::path& file) {
    int error = 0;
    const auto status = platform::statusOf(file, false, error);
    return status ? status->identity.inode : 0;
}

void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

#if defined(_WIN32)

namespace {

// Start-up information giving the child these three handles as its standard streams.
STARTUPINFOW standardStreams(HANDLE in, HANDLE out, HANDLE err) {
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = err;
    return start;
}

} // namespace

BoundedRun RunBounded(const std::vector<std::string>& argv, std::chrono::milliseconds deadline,
                      long growthKb) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw std::runtime_error("cannot make a pipe");
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE null = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW start = standardStreams(null, writeEnd, writeEnd);
    PROCESS_INFORMATION child{};
    std::wstring line = platform::commandLine(argv);
    const BOOL started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child);
    ::CloseHandle(writeEnd);
    ::CloseHandle(null);
    if (!started) {
        ::CloseHandle(readEnd);
        throw std::runtime_error("cannot start a child process");
    }
    // The pipe is read on a thread of its own, so that a child filling it never blocks.
    std::string output;
    std::thread reader([&] {
        char buffer[4096];
        DWORD n = 0;
        while (::ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
            output.append(buffer, n);
    });
    BoundedRun run;
    const auto end = std::chrono::steady_clock::now() + deadline;
    long lowest = 0;
    for (;;) {
        if (::WaitForSingleObject(child.hProcess, 10) == WAIT_OBJECT_0) {
            run.finished = true;
            break;
        }
        PROCESS_MEMORY_COUNTERS memory{};
        if (::GetProcessMemoryInfo(child.hProcess, &memory, sizeof memory)) {
            const long kb = long(memory.WorkingSetSize / 1024);
            lowest = lowest == 0 ? kb : std::min(lowest, kb);
            run.peakKb = std::max(run.peakKb, kb - lowest);
        }
        if (run.peakKb > growthKb || std::chrono::steady_clock::now() > end) {
            ::TerminateProcess(child.hProcess, 137);
            ::WaitForSingleObject(child.hProcess, INFINITE);
            break;
        }
    }
    reader.join();
    ::CloseHandle(readEnd);
    DWORD code = 0;
    if (run.finished && ::GetExitCodeProcess(child.hProcess, &code)) run.status = int(code);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    run.output = std::move(output);
    return run;
}

struct Child::State {
    PROCESS_INFORMATION process{};
    bool killed = false, waited = false;
    int status = -1;
};

Child::Child(const std::vector<std::string>& argv, const std::filesystem::path& errors,
             const char* environment)
    : d(std::make_unique<State>()) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE null = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE err = errors.empty() ? null
                                : ::CreateFileW(errors.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                                &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW start = standardStreams(null, null, err);
    // The child inherits the environment as it is while it starts; the addition is taken back at once.
    std::wstring name;
    if (environment) {
        const std::wstring pair = std::filesystem::path(std::u8string(environment, environment + std::strlen(environment))).wstring();
        name = pair.substr(0, pair.find(L'='));
        ::SetEnvironmentVariableW(name.c_str(), pair.substr(name.size() + 1).c_str());
    }
    std::wstring line = platform::commandLine(argv);
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &d->process))
        d->process = {};
    if (environment) ::SetEnvironmentVariableW(name.c_str(), nullptr);
    if (err != null && err != INVALID_HANDLE_VALUE) ::CloseHandle(err);
    ::CloseHandle(null);
}

Child::~Child() {
    if (!started()) return;
    if (!d->waited) {
        kill();
        wait();
    }
    ::CloseHandle(d->process.hThread);
    ::CloseHandle(d->process.hProcess);
}

bool Child::started() const {
    return d->process.hProcess != nullptr;
}

void Child::kill() {
    if (started() && ::WaitForSingleObject(d->process.hProcess, 0) == WAIT_TIMEOUT &&
        ::TerminateProcess(d->process.hProcess, 137))
        d->killed = true;
}

int Child::wait() {
    if (!started()) return -1;
    if (!d->waited) {
        ::WaitForSingleObject(d->process.hProcess, INFINITE);
        DWORD code = 0;
        d->status = !d->killed && ::GetExitCodeProcess(d->process.hProcess, &code) ? int(code) : -1;
        d->waited = true;
    }
    return d->status;
}

BoundedRun RunBounded(const std::function<std::string()>& body, std::chrono::milliseconds deadline, long) {
    // No fork here: the body runs on a thread, which is left behind when it overruns. Its memory is
    // the process's own, so no bound on it is told.
    auto task = std::make_shared<std::packaged_task<std::string()>>([body] {
        try {
            return body();
        } catch (const std::exception& e) {
            return std::string("exception: ") + e.what();
        }
    });
    std::future<std::string> result = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    BoundedRun run;
    if (result.wait_for(deadline) == std::future_status::ready) {
        run.finished = true;
        run.status = 0;
        run.output = result.get();
    }
    return run;
}

#else

namespace {

// The resident size of a process in KiB, 0 when it cannot be told (it has ended).
long residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

BoundedRun watch(pid_t child, int output, std::chrono::milliseconds deadline, long growthKb) {
    BoundedRun run;
    const auto end = std::chrono::steady_clock::now() + deadline;
    long lowest = 0;
    bool open = true;
    int status = 0;
    for (;;) {
        if (open) {
            pollfd p{output, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(output, buffer, sizeof buffer);
                if (n > 0)
                    run.output.append(buffer, size_t(n));
                else
                    open = false;
            }
        } else {
            ::usleep(10000);
        }
        if (::waitpid(child, &status, WNOHANG) == child) {
            run.finished = true;
            break;
        }
        if (const long kb = residentKb(child); kb > 0) {
            lowest = lowest == 0 ? kb : std::min(lowest, kb);
            run.peakKb = std::max(run.peakKb, kb - lowest);
        }
        if (run.peakKb > growthKb || std::chrono::steady_clock::now() > end) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            break;
        }
    }
    for (char buffer[4096]; open;) {
        const ssize_t n = ::read(output, buffer, sizeof buffer);
        if (n <= 0) break;
        run.output.append(buffer, size_t(n));
    }
    ::close(output);
    if (run.finished && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

} // namespace

namespace {

// Runs `child` in a forked process whose standard output and error go into a pipe, and watches it.
BoundedRun runForked(const std::function<void(int output)>& child, std::chrono::milliseconds deadline,
                     long growthKb) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) throw std::runtime_error("cannot make a pipe");
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("cannot start a child process");
    if (pid == 0) {
        ::close(pipeEnds[0]);
        child(pipeEnds[1]);
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    return watch(pid, pipeEnds[0], deadline, growthKb);
}

// In a forked child, with its standard streams in place: becomes the program, or ends with 127.
[[noreturn]] void execute(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
}

} // namespace

BoundedRun RunBounded(const std::vector<std::string>& argv, std::chrono::milliseconds deadline,
                      long growthKb) {
    return runForked(
        [&](int output) {
            const int null = ::open("/dev/null", O_RDONLY);
            ::dup2(null, STDIN_FILENO);
            ::dup2(output, STDOUT_FILENO);
            ::dup2(output, STDERR_FILENO);
            execute(argv);
        },
        deadline, growthKb);
}

BoundedRun RunBounded(const std::function<std::string()>& body, std::chrono::milliseconds deadline,
                      long growthKb) {
    return runForked(
        [&](int output) {
            std::string text;
            try {
                text = body();
            } catch (const std::exception& e) {
                text = std::string("exception: ") + e.what();
            }
            for (size_t done = 0; done < text.size();) {
                const ssize_t n = ::write(output, text.data() + done, text.size() - done);
                if (n <= 0) break;
                done += size_t(n);
            }
        },
        deadline, growthKb);
}

struct Child::State {
    pid_t pid = -1;
    bool waited = false;
    int status = -1;
};

Child::Child(const std::vector<std::string>& argv, const std::filesystem::path& errors,
             const char* environment)
    : d(std::make_unique<State>()) {
    d->pid = ::fork();
    if (d->pid != 0) return;
    if (environment) ::putenv(const_cast<char*>(environment));
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(errors.empty() ? null : ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    execute(argv);
}

Child::~Child() {
    if (started() && !d->waited) {
        kill();
        wait();
    }
}

bool Child::started() const {
    return d->pid > 0;
}

void Child::kill() {
    if (started() && !d->waited) ::kill(d->pid, SIGKILL);
}

int Child::wait() {
    if (!started()) return -1;
    if (!d->waited) {
        int status = 0;
        ::waitpid(d->pid, &status, 0);
        d->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        d->waited = true;
    }
    return d->status;
}

#endif

void WriteCatalogue(const std::filesystem::path& dir, const std::vector<ArticleSpec>& rows,
                    const std::vector<std::string>& topics) {
    catalogue::createEmptyCatalogue(dir, true);
    RecordTable articles;
    catalogue::openArticleTable(articles, dir / catalogue::kArticleFile, {});
    int npp = 0;
    for (const ArticleSpec& r : rows) {
        articles.append();
        if (r.kod) articles.setInt("Kod", *r.kod);
        if (r.izb1) articles.setInt("Izb1", *r.izb1);
        if (r.izb) articles.setInt("Izb", *r.izb);
        articles.setInt("Type", r.type);
        articles.setText("Number", catalogue::padIssueNumber(r.number));
        if (!r.tem.empty()) articles.setText("Tem", r.tem);
        articles.setText("Statia", r.title);
        if (!r.link.empty()) articles.setText("Link", r.link);
        articles.setInt("Find", r.find);
        articles.setInt("Npp", npp++);
        articles.post();
    }
    articles.close();
    if (topics.empty()) return;
    RecordTable topicTable;
    catalogue::openTopicTable(topicTable, dir / catalogue::kTopicFile);
    for (const std::string& tem : topics) {
        topicTable.append();
        topicTable.setText("Tem", tem);
        topicTable.setBool("Key", true);
        topicTable.post();
    }
    topicTable.close();
}

} // namespace marovex::test
