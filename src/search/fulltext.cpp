#include "search/fulltext.h"

#include "base/atomicwait.h"
#include "base/cp1251.h"
#include "base/textops.h"
#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "search/fulltextcache.h"
#include "search/pagematch.h"
#include "search/textstore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "base/platform.h"

namespace fs = std::filesystem;

namespace marovex::search {

// --- Article files ----------------------------------------------------------------------------------------

std::string linkExtension(std::string_view link) {
    const size_t dot = link.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string_view ext = link.substr(dot);
    if (ext.find_first_of("\\:") != std::string_view::npos) return {};
    while (!ext.empty() && text::IsBlank(static_cast<unsigned char>(ext.front())))
        ext.remove_prefix(1);
    while (!ext.empty() && text::IsBlank(static_cast<unsigned char>(ext.back())))
        ext.remove_suffix(1);
    std::string lower(ext);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return lower;
}

bool isSearchableKind(std::string_view link) {
    const std::string ext = linkExtension(link);
    return !ext.empty() &&
           std::string_view(".txt .rtf .htm .html .shtm .shtml").find(ext) != std::string_view::npos;
}

namespace {

// The edition word of the text folder, by edition code.
constexpr std::array<std::string_view, 3> kEditionWords = {"Gold", "Release", "kelvra"};

enum class Probe { Read, Missing, NotAFile, Link, Failed };

// Opens and reads one path, its status in `st`. A path that is absent gives Missing; a folder, device or
// pipe gives NotAFile (opened without blocking, so a pipe never hangs the walk); anything else that fails
// raises. With `noFollow`, a symbolic link in the last place gives Link instead of being opened.
Probe readFile(const fs::path& path, std::string* bytes, platform::FileStatus& st, bool noFollow) {
    int e = 0;
    const platform::FileHandle fd = platform::openForReading(path, !noFollow, e);
    if (!fd) {
        if (platform::isMissing(e) || e == ENAMETOOLONG) return Probe::Missing;
        if (noFollow && e == ELOOP) return Probe::Link;
        throw ArticleReadError(path, errorReason(e));
    }
    const std::optional<platform::FileStatus> opened = platform::statusOf(fd, e);
    if (!opened) return Probe::NotAFile;
    st = *opened;
    if (st.kind != platform::FileKind::Regular) return Probe::NotAFile;
    if (!bytes) return Probe::Read;
    // One byte more than the size: a regular file gives fewer bytes than asked for only at its end, so a
    // file that did not grow is read whole by one call, and one that grew is read on to its new end.
    bytes->resize(size_t(st.identity.size) + 1);
    size_t got = 0;
    for (;;) {
        if (got == bytes->size()) bytes->resize(bytes->size() * 2);
        const size_t asked = bytes->size() - got;
        const std::int64_t n = platform::readSome(fd, bytes->data() + got, asked, e);
        if (n == 0) break;
        if (n < 0) throw ArticleReadError(path, errorReason(e));
        got += size_t(n);
        if (size_t(n) < asked) break;
    }
    bytes->resize(got);
    return Probe::Read;
}

// What opening would say of a path, from its status alone where that is certain; Failed where only
// opening can tell (the caller then reads the file the plain way). Symbolic links are not followed.
Probe statFile(const fs::path& path, platform::FileStatus& st, bool followLinks = false) {
    using platform::FileKind;
    int e = 0;
    const std::optional<platform::FileStatus> looked = platform::statusOf(path, followLinks, e);
    if (!looked) return platform::isMissing(e) || e == ENAMETOOLONG ? Probe::Missing : Probe::Failed;
    st = *looked;
    if (st.kind == FileKind::Link) return Probe::Link;
    return st.kind == FileKind::Regular     ? Probe::Read
           : st.kind == FileKind::Directory ? Probe::NotAFile
                                            : Probe::Failed;
}

} // namespace

std::vector<std::vector<std::string>> pubFolderCandidates(int type, std::string_view shortNumber,
                                                          const std::array<std::string, 3>& prefixes) {
    std::vector<std::vector<std::string>> candidates;
    if (type < 1 || type > 3) return candidates;
    candidates.push_back({std::string(kEditionWords[size_t(type - 1)]) + std::string(shortNumber)});
    for (auto& c : indexer::issueFolderCandidates(prefixes[size_t(type - 1)], shortNumber))
        candidates.push_back(c);
    for (auto& c : candidates)
        c.push_back("pub");
    return candidates;
}

struct ArticleFiles::Impl {
    // A "pub" folder an article may lie in, and the issue folder (the archive's entry) it belongs to.
    struct Folder {
        fs::path pub, issue;
        bool inside = false; // the real path of `pub` lies in `issue`
    };

    fs::path archive;
    std::array<std::string, 3> prefixes;
    std::mutex mutex; // guards the two caches below
    indexer::CaseInsensitivePaths paths{indexer::CaseInsensitivePaths::Names::Links};
    std::map<std::pair<int, std::string>, std::vector<Folder>> pubFolders;

    // The "pub" folders that exist for an issue, in the order they are tried; resolved once per run.
    const std::vector<Folder>& folders(int type, std::string_view number) {
        const std::string shortNumber = indexer::shortIssueNumber(number);
        std::lock_guard lock(mutex);
        auto [it, fresh] = pubFolders.try_emplace({type, shortNumber});
        if (!fresh || type < 1 || type > 3) return it->second;
        for (auto& c : pubFolderCandidates(type, shortNumber, prefixes)) {
            auto resolved = paths.resolve(archive, c);
            if (!resolved || std::find_if(it->second.begin(), it->second.end(), [&](const Folder& f) {
                                 return f.pub == *resolved;
                             }) != it->second.end())
                continue;
            Folder folder{*resolved, *resolved, false};
            for (size_t up = 1; up < c.size(); ++up)
                folder.issue = folder.issue.parent_path();
            folder.inside = indexer::realPathInside(folder.issue, folder.pub);
            it->second.push_back(std::move(folder));
        }
        return it->second;
    }

    std::optional<fs::path> resolve(const fs::path& base, const std::vector<std::string>& components) {
        std::lock_guard lock(mutex);
        return paths.resolve(base, components);
    }

    // The guard: a file whose real path leaves the issue folder is refused. A plain name in a folder that
    // lies inside needs no resolving.
    static void guard(const Folder& folder, const fs::path& path, bool plainName) {
        if (!folder.inside || (!plainName && !indexer::realPathInside(folder.issue, path)))
            throw ArticleReadError(path, nested(Message(msg::PageLeavesIssue, {})));
    }

    // Opens the path in a folder: a symbolic link is followed only to be guarded.
    Probe open(const Folder& folder, const fs::path& path, bool single, std::string* bytes,
               platform::FileStatus& st, bool& linked) {
        Probe probe = readFile(path, bytes, st, true);
        if (probe == Probe::Link) {
            linked = true;
            probe = readFile(path, nullptr, st, false);
            if (probe == Probe::Read) {
                guard(folder, path, false);
                if (bytes) probe = readFile(path, bytes, st, false);
            }
            return probe;
        }
        if (probe == Probe::Read) guard(folder, path, single);
        return probe;
    }

    // Looks at the path in a folder without opening it where its status decides.
    Probe look(const Folder& folder, const fs::path& path, bool single, platform::FileStatus& st,
               bool& linked) {
        Probe probe = statFile(path, st);
        if (probe == Probe::Link) {
            linked = true;
            if (const Probe followed = statFile(path, st, true); followed != Probe::Read) return followed;
            guard(folder, path, false);
            return Probe::Read;
        }
        if (probe == Probe::Read) guard(folder, path, single);
        return probe;
    }

    // The first candidate that holds the article as a regular file, with its bytes when asked for. With
    // `lookOnly`, files are only looked at; Failed then means: read the row the plain way. `linked` is set
    // when a symbolic link was met in the last place.
    Probe find(int type, std::string_view number, std::string_view link, std::string* bytes,
               platform::FileStatus& st, fs::path& found, bool lookOnly, bool& linked) {
        if (!indexer::linkStaysInside(link)) return Probe::Missing;
        const std::vector<std::string> components = indexer::linkComponents(link);
        if (components.empty()) return Probe::Missing;
        const bool single = components.size() == 1;
        fs::path relative;
        for (const auto& c : components)
            relative /= platform::pathFromUtf8(cp1251::toUtf8(c));
        for (const Folder& folder : folders(type, number)) {
            fs::path path = folder.pub / relative;
            auto probeAt = [&](const fs::path& p) {
                return lookOnly ? look(folder, p, single, st, linked)
                                : open(folder, p, single, bytes, st, linked);
            };
            Probe probe = probeAt(path);
            if (probe == Probe::Missing) {
                // Not as written: the names may differ in letter case only.
                if (auto resolved = resolve(folder.pub, components); resolved && *resolved != path) {
                    path = std::move(*resolved);
                    probe = probeAt(path);
                }
            }
            if (probe == Probe::Read || probe == Probe::Failed) {
                found = std::move(path);
                return probe;
            }
        }
        return Probe::Missing;
    }
};

ArticleFiles::ArticleFiles(std::string_view archiveFolder, const std::array<std::string, 3>& prefixes)
    : d(std::make_unique<Impl>()) {
    d->archive = indexer::realArchiveFolder(archiveFolder);
    d->prefixes = indexer::prefixesCp1251(prefixes);
}

ArticleFiles::~ArticleFiles() = default;

bool ArticleFiles::read(int type, std::string_view number, std::string_view link, std::string& bytes) {
    platform::FileStatus st;
    fs::path path;
    bool linked = false;
    return d->find(type, number, link, &bytes, st, path, false, linked) == Probe::Read;
}

fs::path ArticleFiles::locate(int type, std::string_view number, std::string_view link) {
    platform::FileStatus st;
    fs::path path;
    bool linked = false;
    return d->find(type, number, link, nullptr, st, path, false, linked) == Probe::Read ? path : fs::path();
}

fs::path ArticleFiles::missingPath(int type, std::string_view number, std::string_view link) {
    const auto& folders = d->folders(type, number);
    fs::path path = d->archive;
    if (!folders.empty()) {
        path = folders.front().pub;
    } else if (const auto candidates =
                   pubFolderCandidates(type, indexer::shortIssueNumber(number), d->prefixes);
               candidates.size() > 1) {
        for (const std::string& c : candidates[1])
            path /= platform::pathFromUtf8(cp1251::toUtf8(c));
    }
    // A link that leaves the folder is shown as written: what it names is the point.
    if (!indexer::linkStaysInside(link)) return path / platform::pathFromUtf8(cp1251::toUtf8(link));
    for (const std::string& c : indexer::linkComponents(link))
        path /= platform::pathFromUtf8(cp1251::toUtf8(c));
    return path;
}

bool ArticleFiles::examine(int type, std::string_view number, std::string_view link, fs::path& path,
                           platform::FileStatus& st, std::string& bytes, bool lookFirst, bool& read,
                           bool* linked) {
    read = false;
    bool sawLink = false;
    if (lookFirst) {
        const Probe probe = d->find(type, number, link, nullptr, st, path, true, sawLink);
        if (probe != Probe::Failed) {
            if (linked) *linked = sawLink;
            return probe == Probe::Read;
        }
    }
    read = true;
    const Probe probe = d->find(type, number, link, &bytes, st, path, false, sawLink);
    if (linked) *linked = sawLink;
    return probe == Probe::Read;
}

bool ArticleFiles::readFound(const fs::path& path, std::string& bytes, platform::FileStatus& st,
                             bool noLink) {
    return readFile(path, &bytes, st, noLink) == Probe::Read;
}

// --- The worker -----------------------------------------------------------------------------------------

namespace {

struct RowInput {
    int type = 0;
    std::string number, link; // Windows-1251
    bool titleMatches = false;
    bool mayRead = false; // a titled row of a kind whose file is read, and its title does not match
};

// What tells the files of rows that are not found apart: the issue and the link's components, folded as
// the lookup folds names.
std::string missingKey(const RowInput& row) {
    std::string key = std::to_string(row.type) + '\n' + indexer::shortIssueNumber(row.number) + '\n';
    for (const std::string& c : indexer::linkComponents(row.link))
        key += c + '/';
    text::FoldUpper(key);
    return key;
}

// "file (reason)" for a row whose file is not found.
Message missingEntry(ArticleFiles& files, const RowInput& row) {
    const fs::path path = files.missingPath(row.type, row.number, row.link);
    return Message(msg::UnreadableEntry,
                   {textValue(platform::pathToUtf8(path)), indexer::linkStaysInside(row.link)
                                                               ? errorReason(ENOENT)
                                                               : nested(Message(msg::LinkLeavesIssue, {}))});
}

// Text fields as the walk needs them; most numbers and links are plain ASCII and need no conversion.
std::string windows1251(std::string_view utf8) {
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80) return cp1251::fromUtf8(utf8);
    return std::string(utf8);
}

struct Outcome {
    std::atomic<int> done{0};
    bool match = false;
    bool read = false;
    bool fromStore = false;
    // Read and tested as without the store, or not found where the cache did not follow the lookup: the
    // cache keeps the text and learns where the file lies after the walk.
    bool unkept = false;
    // Rare, so kept apart: the outcomes of all rows are made at once.
    struct Problem {
        Message unreadable;         // "file (reason)" of an ArticleReadError
        std::string unreadableFile; // the file
        Message error;
    };
    std::unique_ptr<Problem> problem;
};

// How far the file readers may run ahead of the walk. Files of rows the walk does not reach after a stop
// are read for nothing, so the distance is kept short; it only has to cover the waits for the window. Texts
// answered by the store cost so little that waking the readers for each row would cost more: the limit
// moves on in steps then, over a longer distance.
constexpr size_t kReadAhead = 64, kStoreReadAhead = 512, kStoreStep = 64;

// Examines rows' files on several threads, ahead of the walk, and hands the outcomes over in row order.
class FilePipeline {
public:
    FilePipeline(const std::vector<RowInput>& rows, const FullTextJob& job, const Cp1251Text& word,
                 int threads, TextStore* store, FullTextCache* cache,
                 const std::vector<FullTextCache::Place*>& places)
        : m_rows(rows), m_matcher(word, job.options), m_store(store), m_cache(cache), m_places(places),
          m_query(word), m_files(job.archiveFolder, job.prefixes),
          m_outcomes(std::make_unique<Outcome[]>(rows.size())), m_ahead(store ? kStoreReadAhead : kReadAhead),
          m_step(store ? kStoreStep : 1), m_limit(std::min(rows.size(), m_ahead)) {
        settleKnown();
        for (int i = 1; i < threads; ++i)
            m_helpers.emplace_back([this] { helperLoop(); });
    }

    ~FilePipeline() {
        m_quit.store(true);
        m_limit.store(m_rows.size() + 1); // a value no helper waits on, to wake them all
        notifyWaiters(m_limit);
        for (auto& t : m_helpers)
            t.join();
    }

    FilePipeline(const FilePipeline&) = delete;
    FilePipeline& operator=(const FilePipeline&) = delete;

    int filesLookedFor() const { return m_lookedFor.load(); }
    ArticleFiles& files() { return m_files; }

    // The rows whose files were read without their texts being kept, in walk order.
    std::vector<FullTextCache::Unkept> unkept() const {
        std::vector<FullTextCache::Unkept> rows;
        for (size_t j = 0; j < m_rows.size(); ++j)
            if (m_outcomes[j].done.load(std::memory_order_acquire) && m_outcomes[j].unkept)
                rows.push_back({m_places.empty() ? nullptr : m_places[j], m_rows[j].type, m_rows[j].number,
                                m_rows[j].link});
        return rows;
    }

    // The outcome of row i, working on other rows' files while it is not ready.
    const Outcome& outcome(size_t i) {
        if (const size_t limit = std::min(m_rows.size(), i + m_ahead);
            limit >= m_published + m_step || (limit == m_rows.size() && limit != m_published)) {
            m_published = limit;
            m_limit.store(limit);
            notifyWaiters(m_limit);
        }
        Outcome& o = m_outcomes[i];
        while (o.done.load(std::memory_order_acquire) == 0) {
            const size_t j = claim();
            if (j != kNone)
                examine(j, m_scratch);
            else
                waitWhileEqual(o.done, 0, std::memory_order_acquire);
        }
        return o;
    }

private:
    static constexpr size_t kNone = size_t(-1);

    // What one thread reuses from file to file.
    struct Scratch {
        std::string bytes;
        std::string part; // the early part of a page
    };

    // The next row nobody examines yet, within the read-ahead; kNone when there is none or all is over.
    size_t claim() {
        size_t j = m_next.load();
        while (!m_quit.load() && j < std::min(m_limit.load(), m_rows.size())) {
            if (m_next.compare_exchange_weak(j, j + 1)) return j;
        }
        return kNone;
    }

    void helperLoop() {
        Scratch scratch;
        while (!m_quit.load()) {
            const size_t limit = m_limit.load();
            const size_t j = claim();
            if (j != kNone) {
                examine(j, scratch);
                continue;
            }
            if (m_next.load() >= m_rows.size()) return;
            waitWhileEqual(m_limit, limit);
        }
    }

    // Before the readers start: the rows whose files the cache knows unchanged and whose texts the store
    // says cannot hold the word, or that have no file, need no reader. On a busy machine a reader that waits
    // for its turn would otherwise hold up the walk for rows that cost nothing.
    void settleKnown() {
        if (m_places.empty()) return;
        for (size_t j = 0; j < m_rows.size(); ++j) {
            FullTextCache::Place* place = m_places[j];
            bool found = false;
            std::string_view path;
            FileIdentity identity;
            if (!place || !m_rows[j].mayRead || !m_cache->known(place, found, path, identity)) continue;
            Outcome& o = m_outcomes[j];
            if (found) {
                const std::size_t entry = m_cache->storeEntry(place, path, identity);
                if (entry == TextStore::kNone || m_store->mayContain(entry, m_query)) continue;
                o.read = o.fromStore = true;
            }
            o.done.store(1, std::memory_order_relaxed);
        }
    }

    void examine(size_t j, Scratch& scratch) {
        const RowInput& row = m_rows[j];
        Outcome& o = m_outcomes[j];
        if (o.done.load(std::memory_order_relaxed)) return; // settled before the readers started
        try {
            // A row whose title matches is marked by the walk without its file being read.
            if (row.mayRead) {
                if (m_store) {
                    examineWithStore(j, row, o, scratch);
                } else if (m_files.read(row.type, row.number, row.link, scratch.bytes)) {
                    o.read = true;
                    o.match = m_matcher.contains(scratch.bytes, scratch.part);
                }
            }
        } catch (const ArticleReadError& e) {
            o.read = false;
            o.match = false;
            o.problem = std::make_unique<Outcome::Problem>();
            o.problem->unreadable = Message(msg::UnreadableEntry, {textValue(e.file()), e.reason()});
            o.problem->unreadableFile = e.file();
        } catch (const std::exception& e) {
            o.problem = std::make_unique<Outcome::Problem>();
            o.problem->error = messageOf(e);
        }
        o.done.store(1, std::memory_order_release);
        notifyWaiters(o.done);
    }

    // Answers from the stored text of a file with this identity; false when there is none.
    bool answerFromStore(std::string_view path, const FileIdentity& identity, Outcome& o, Scratch& scratch,
                         FullTextCache::Place* place = nullptr) {
        const std::size_t entry =
            place ? m_cache->storeEntry(place, path, identity) : m_store->find(path, identity);
        if (entry == TextStore::kNone) return false;
        if (!m_store->mayContain(entry, m_query)) {
            o.read = o.fromStore = true;
            return true;
        }
        if (!m_store->text(entry, scratch.bytes)) return false;
        o.read = o.fromStore = true;
        o.match = m_matcher.matchesText(scratch.bytes);
        return true;
    }

    // The file's text from the store while the file is unchanged; otherwise read, normalised, tested on
    // the same text the store keeps, and added to it. Where the cache knows the file unchanged since it was
    // last found, it is not looked for at all.
    void examineWithStore(size_t j, const RowInput& row, Outcome& o, Scratch& scratch) {
        FullTextCache::Place* place = m_places.empty() ? nullptr : m_places[j];
        fs::path path;
        platform::FileStatus st;
        bool read = false, found = false;
        std::string_view knownPath;
        FileIdentity identity;
        if (place && m_cache->known(place, found, knownPath, identity)) {
            if (!found || answerFromStore(knownPath, identity, o, scratch, place)) return;
            path = knownPath;
            // Not a plain file any more: it changed since the walk began, and is looked for anew.
            read = m_files.readFound(path, scratch.bytes, st, true);
        }
        if (!read) {
            m_lookedFor.fetch_add(1, std::memory_order_relaxed);
            // An empty store answers nothing: then every file is read at once, and where it lies is learnt
            // by the cache after the walk, when its text is kept.
            const bool lookFirst = m_store->size() > 0;
            if (!(place && lookFirst ? m_cache->examine(place, m_files, row.type, row.number, row.link, path,
                                                        st, scratch.bytes, lookFirst, read)
                                     : m_files.examine(row.type, row.number, row.link, path, st,
                                                       scratch.bytes, lookFirst, read))) {
                o.unkept = place && !lookFirst;
                return;
            }
            if (!read) {
                if (answerFromStore(platform::pathKey(path), st.identity, o, scratch)) return;
                if (!m_files.readFound(path, scratch.bytes, st)) return;
            }
        }
        o.read = true;
        if (m_cache) {
            // Keeping the text would cost the walk more than reading the file; the cache keeps it later.
            o.match = m_matcher.contains(scratch.bytes, scratch.part);
            o.unkept = true;
            return;
        }
        normalisePageText(scratch.bytes);
        o.match = m_matcher.matchesText(scratch.bytes);
        m_store->add(platform::pathKey(path), st.identity, scratch.bytes);
    }

    const std::vector<RowInput>& m_rows;
    PageMatcher m_matcher;
    TextStore* m_store;
    FullTextCache* m_cache;
    const std::vector<FullTextCache::Place*>& m_places; // by row; empty without the cache
    TextQuery m_query;
    ArticleFiles m_files;
    std::unique_ptr<Outcome[]> m_outcomes;
    const size_t m_ahead, m_step;
    size_t m_published = 0; // the limit last given to the readers; the walking thread's own
    std::atomic<size_t> m_next{0};
    std::atomic<size_t> m_limit;
    std::atomic<bool> m_quit{false};
    std::atomic<int> m_lookedFor{0};
    Scratch m_scratch; // the walking thread's own
    std::vector<std::thread> m_helpers;
};

} // namespace

FullTextResult runFullTextSearch(RecordTable& articles, const FullTextJob& job, std::atomic<bool>& stop,
                                 const FullTextReports& reports) {
    FullTextResult result;
    std::unique_ptr<TextStore> ownStore;
    TextStore* store = nullptr;
    FullTextCache* cache = nullptr;
    std::vector<FullTextCache::Unkept> unkept;
    bool complete = false;
    try {
        articles.setSortKeys(catalogue::kWalkOrder);
        const int typeField = articles.field("Type"), numberField = articles.field("Number"),
                  titleField = articles.field("Statia"), findField = articles.field("Find"),
                  linkField = articles.field("Link");
        // The inputs of every row, taken in walk order, so that files can be read on other threads while
        // only this one touches the table.
        // Titles are tested here, once. hasTitle answers for the stored (UTF-8) title as for its Windows-1251
        // form: the first byte of either is above the blank exactly when the other's is.
        std::vector<RowInput> rows(size_t(articles.rowCount()));
        // The search text in the pages' code page, converted once for the whole walk.
        const Cp1251Text word = Cp1251Text::fromUtf8(job.text);
        TitleMatcher titles(word, job.options);
        for (size_t i = 0; i < rows.size(); ++i) {
            const RowRef ref = articles.rowAt(int(i));
            const std::string_view title = ref.storedText(titleField);
            rows[i].type = ref.asInt(typeField);
            rows[i].number = windows1251(ref.storedText(numberField));
            rows[i].link = windows1251(ref.storedText(linkField));
            rows[i].titleMatches = titles.matchesStored(title);
            rows[i].mayRead = !rows[i].titleMatches && hasTitle(title) && isSearchableKind(rows[i].link);
        }
        const int threads =
            job.threads > 0 ? job.threads : int(std::max(1u, std::thread::hardware_concurrency()));
        if (job.useStore) {
            fs::path file = job.storeFile;
            if (file.empty() && !articles.fileName().empty())
                file = articles.fileName().parent_path() / kTextStoreFile;
            if (!file.empty() && job.cache) {
                cache = job.cache;
                store = cache->begin(job, file);
            } else if (!file.empty()) {
                ownStore = std::make_unique<TextStore>(file, TextStore::Options{job.storeSettle});
                store = ownStore.get();
            }
        }
        // Where each row's file was found before, for the rows whose files may be read.
        std::vector<FullTextCache::Place*> places;
        if (cache) {
            places.resize(rows.size());
            for (size_t i = 0; i < rows.size(); ++i)
                if (rows[i].mayRead) places[i] = cache->place(i, rows[i].type, rows[i].number, rows[i].link);
            cache->verify(places, threads);
        }
        FilePipeline files(rows, job, word, threads, store, cache, places);
        std::set<std::string> unreadable, missing;

        articles.first();
        for (size_t i = 0; i < rows.size() && !articles.eof() && !stop.load(); ++i) {
            if (reports.progress)
                reports.progress({int(i), int(rows.size()), cp1251::toUtf8(rows[i].number), result.hits});
            bool marked = rows[i].titleMatches;
            if (!marked) {
                const Outcome& o = files.outcome(i);
                if (const Outcome::Problem* p = o.problem.get()) {
                    if (!p->error.empty()) throw MessageError(p->error);
                    if (unreadable.insert(p->unreadableFile).second &&
                        result.unreadable.size() < kUnreadableNamed)
                        result.unreadable.push_back(p->unreadable);
                } else if (rows[i].mayRead && !o.read) {
                    // Found under no candidate, in every mode alike: with the store and the cache too, a
                    // row whose file was read or answered for has `read` set.
                    if (missing.insert(missingKey(rows[i])).second &&
                        result.unreadable.size() < kUnreadableNamed)
                        result.unreadable.push_back(missingEntry(files.files(), rows[i]));
                }
                if (o.read) ++result.filesRead;
                if (o.fromStore) ++result.filesFromStore;
                marked = o.match;
            }
            // A mark that already holds the new value is left alone: the same data without an edit per row.
            const int mark = marked ? catalogue::kFound : 0;
            if (const RowRef row = articles.rowAt(articles.position());
                row.isNull(findField) || row.asInt(findField) != mark) {
                articles.edit();
                articles.setInt(findField, mark);
            }
            if (marked) ++result.hits;
            ++result.visited;
            articles.next();
        }
        result.stopped = stop.load() && result.visited < int(rows.size());
        result.unreadableCount = int(unreadable.size() + missing.size());
        result.filesLookedFor = files.filesLookedFor();
        if (cache) unkept = files.unkept();
        complete = result.visited == int(rows.size());
        if (articles.state() == RecordTable::State::Edit) articles.post();
    } catch (const std::exception& e) {
        result.error = messageOf(e);
        try {
            if (articles.state() == RecordTable::State::Edit) articles.cancel();
        } catch (...) {
        }
    }
    // After the readers have ended; a store that cannot be written is only not kept.
    try {
        if (cache)
            cache->end(std::move(unkept), job, complete);
        else if (store)
            store->save(complete, platform::pathKey(indexer::realArchiveFolder(job.archiveFolder)));
        if (store && !store->keeps() && (!cache || cache->firstTime(store->problem())))
            result.storeProblem = Message(msg::TextsNotKept, {nested(store->problem())});
    } catch (...) {
    }
    if (reports.finish)
        reports.finish();
    else
        stop.store(false);
    return result;
}

// --- The progress dialog
// ------------------------------------------------------------------------------------

Message unreadableFilesMessage(const FullTextResult& result) {
    if (result.unreadableCount == 0 || result.unreadable.empty()) return {};
    Message list = result.unreadable.front();
    for (size_t i = 1; i < result.unreadable.size(); ++i)
        list = Message(msg::ListJoin, {nested(std::move(list)), nested(result.unreadable[i])});
    const int more = result.unreadableCount - int(result.unreadable.size());
    if (more > 0)
        list = Message(msg::UnreadableMore, {nested(std::move(list)), textValue(std::to_string(more))});
    if (result.unreadableCount == 1) return Message(msg::UnreadableOne, {nested(std::move(list))});
    return Message(msg::UnreadableMany,
                   {textValue(std::to_string(result.unreadableCount)), nested(std::move(list))});
}

std::string findIssueLine(std::string_view text14, std::string_view number) {
    std::string line = "\"Kelvrania\" ";
    line += text14;
    line += number;
    return line;
}

std::string findHitsLine(std::string_view text74, int hits) {
    return std::string(text74) + std::to_string(hits);
}

} // namespace marovex::search
