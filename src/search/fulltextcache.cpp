#include "search/fulltextcache.h"

#include "base/cp1251.h"
#include "base/folderwatch.h"
#include "base/textops.h"
#include "indexer/archive.h"
#include "search/fulltext.h"
#include "search/pagematch.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace fs = std::filesystem;

namespace marovex::search {

// Something a search found that stays true until a watched folder reports a change: an issue's "pub"
// folders or a row's file. `epoch` tells its registrations in the table of dependents from older ones.
struct FullTextCache::Node {
    std::atomic<bool> trusted{false};
    std::atomic<std::uint32_t> epoch{0};
};

struct FullTextCache::Issue : Node {
    int type = 0;
    std::string shortNumber;
    std::mutex mutex;           // held while the folders are looked for
    std::uint64_t walkedIn = 0; // the walk whose search looked for the folders last
    bool watched = false;       // every folder looked into is watched, none through a symbolic link
    std::vector<std::pair<fs::path, int>> pubs; // the "pub" folders found, in order, with their watches
};

struct FullTextCache::Place : Node {
    const std::string* key = nullptr; // the row's type, number and link (placeKey)
    Issue* issue = nullptr;
    // The epoch of the issue's folders this place was found in; written last, after the fields below, and
    // 0 while they are being written.
    std::atomic<std::uint32_t> issueEpoch{0};
    bool found = false;
    std::string path;
    FileIdentity identity;
    // The store's entry for the file last time: the low half of the store's id above the entry.
    std::atomic<std::uint64_t> storeEntry{~std::uint64_t(0)};
    std::atomic<std::uint64_t> verifiedIn{0}; // the walk that last looked at the file's identity
};

namespace {
bool trustedPlace(const FullTextCache::Place* p) {
    return p->trusted.load(std::memory_order_acquire) && p->issue->trusted.load(std::memory_order_acquire) &&
           p->issueEpoch.load(std::memory_order_acquire) == p->issue->epoch.load(std::memory_order_relaxed);
}
} // namespace

namespace {

// What tells rows' places apart: type, number and link, each ended by a line feed.
void placeKey(std::string& key, int type, std::string_view number, std::string_view link) {
    key.clear();
    key += std::to_string(type);
    key += '\n';
    key += number;
    key += '\n';
    key += link;
    key += '\n';
}

bool samePlace(std::string_view key, int type, std::string_view number, std::string_view link) {
    const std::string t = std::to_string(type);
    return key.size() == t.size() + number.size() + link.size() + 3 && key.starts_with(t) &&
           key[t.size()] == '\n' && key.substr(t.size() + 1, number.size()) == number &&
           key[t.size() + 1 + number.size()] == '\n' &&
           key.substr(t.size() + 2 + number.size(), link.size()) == link;
}

// A dependency: a name looked for in a watched folder (by the folder's watch and the name folded as the
// lookup folds it). Names that fold alike, or whose hashes meet, share one: that only costs a lookup more.
std::uint64_t keyOf(int watch, std::string_view cp1251Name) {
    std::string folded(cp1251Name);
    text::FoldUpper(folded);
    std::uint32_t h = 2166136261u;
    for (const unsigned char c : folded)
        h = (h ^ c) * 16777619u;
    return (std::uint64_t(std::uint32_t(watch)) << 32) | h;
}

// The dependencies of a link component: the name as written and, where the lookup also tries it, decoded.
void addKeys(std::vector<std::uint64_t>& keys, int watch, const std::string& component) {
    keys.push_back(keyOf(watch, component));
    if (const std::optional<std::string> decoded = indexer::percentDecoded(component))
        keys.push_back(keyOf(watch, *decoded));
}

// The calling thread yields to the program's other work: keeping texts is never what the user waits for.
void lowerThisThreadsPriority() {
    platform::lowerThreadPriority();
}

} // namespace

struct FullTextCache::Impl {
    // A node registered under a name it depends on, with the epoch of that registration.
    struct Dependent {
        std::uint64_t key;
        Node* node;
        std::uint32_t epoch;
    };

    // The archive and settings everything below was found for.
    fs::path archive;
    std::array<std::string, 3> prefixes;
    std::uint64_t archiveDevice = 0;
    std::uint64_t archiveInode = 0;
    int archiveWatch = -1;
    bool enabled = false; // this walk trusts places
    std::uint64_t walk = 0;

    std::unique_ptr<FolderWatch> watch;
    std::mutex mutex; // guards what follows during a walk
    // Folder listings of this walk; names looked up as ArticleFiles looks them up.
    indexer::CaseInsensitivePaths paths{indexer::CaseInsensitivePaths::Names::Links};
    // In the order registered: a walk adds one or two for every file, and a walk after changes looks them
    // all over once, so a list does both cheaper than a table.
    std::vector<Dependent> dependents;
    std::size_t registered = 0;                      // references added since the table was last emptied
    std::unordered_map<std::uint64_t, bool> devices; // whether each file system reports every change

    std::unordered_map<std::string, std::unique_ptr<Issue>> issues;
    std::unordered_map<std::string, Place> places;
    std::string key;                     // scratch
    std::vector<Place*> walked, walking; // by position in the last walk and in this one
    std::size_t placesUsed = 0;          // by this walk

    std::set<std::string> told; // problems said already
    fs::path storeFile;
    std::chrono::nanoseconds storeSettle{};
    std::unique_ptr<TextStore> store;
    std::array<FileIdentity, 2> storeIdentity; // of the store's two files when it was loaded

    // The fill: keeps the texts a walk left, then saves the store. Runs between walks only.
    std::thread filler;
    std::atomic<bool> fillEnd{false};
    std::size_t fillPause = std::size_t(-1);
    std::mutex fillMutex;
    std::condition_variable fillChanged;
    int fillThreads = 0, fillIdle = 0; // its threads, and those of them paused or done; under fillMutex

    // Reads and keeps the texts of the rows on `fillThreads` threads, then saves the store. Ends early,
    // keeping what it has, once `fillEnd` is set.
    void fill(FullTextCache& cache, const std::vector<Unkept>& rows, const std::string& archiveFolder,
              const std::array<std::string, 3>& prefixes, bool walkComplete) {
        ArticleFiles files(archiveFolder, prefixes);
        std::atomic<std::size_t> next{0};
        auto work = [&] {
            lowerThisThreadsPriority();
            std::string bytes;
            fs::path path;
            platform::FileStatus st;
            // A store that keeps nothing still lets the fill learn where the files lie, without reading them.
            const bool keeping = store->keeps();
            for (std::size_t i = next++; i < rows.size() && !fillEnd.load(); i = next++) {
                if (i >= fillPause) break;
                // Looked for and read as the walk does it, so the text kept is the one a walk would test.
                try {
                    bool read = false;
                    const Unkept& row = rows[i];
                    if (!(row.place ? cache.examine(row.place, files, row.type, row.number, row.link, path,
                                                    st, bytes, !keeping, read)
                                    : files.examine(row.type, row.number, row.link, path, st, bytes, !keeping,
                                                    read)) ||
                        !read || !keeping)
                        continue;
                    normalisePageText(bytes);
                    store->add(platform::pathKey(path), st.identity, bytes);
                } catch (const std::exception&) {
                    // Unreadable now: nothing to keep.
                }
            }
            std::unique_lock lock(fillMutex);
            ++fillIdle;
            fillChanged.notify_all();
            if (fillPause != std::size_t(-1)) fillChanged.wait(lock, [this] { return fillEnd.load(); });
        };
        std::vector<std::thread> helpers;
        try {
            for (int k = 1; k < fillThreads; ++k)
                helpers.emplace_back(work);
        } catch (const std::system_error&) {
            // Fewer threads: the fill only takes longer.
            std::lock_guard lock(fillMutex);
            fillThreads = int(helpers.size()) + 1;
            fillChanged.notify_all();
        }
        work();
        for (std::thread& t : helpers)
            t.join();
        try {
            store->save(walkComplete, platform::pathKey(archive));
            // Here rather than in the next search, which would wait for it; not for a search or a close that
            // ended the fill.
            reloadStoreIfAdded(!fillEnd.load());
        } catch (...) {
            store.reset(); // out of memory: the next search loads it
        }
    }

    // Ends the fill, keeping what it kept so far, or waits for it to end by itself. A paused fill is first
    // let reach its pause, then ended.
    void endFill(bool waitForAll) {
        if (filler.joinable()) {
            if (!waitForAll || fillPause != std::size_t(-1)) {
                std::unique_lock lock(fillMutex);
                if (fillPause != std::size_t(-1))
                    fillChanged.wait(lock, [this] { return fillIdle == fillThreads; });
                fillEnd.store(true);
                fillChanged.notify_all();
            }
            filler.join();
        }
        fillEnd.store(false);
        reloadStoreIfAdded(false);
    }

    static std::array<FileIdentity, 2> storeFilesIdentity(const fs::path& file) {
        auto identityOfFile = [](const fs::path& f) {
            int err = 0;
            const std::optional<platform::FileStatus> s = platform::statusOf(f, true, err);
            return s ? s->identity : FileIdentity{};
        };
        fs::path additions = file;
        additions.replace_extension(".add");
        return {identityOfFile(file), identityOfFile(additions)};
    }

    void loadStore() {
        store.reset();
        storeIdentity = storeFilesIdentity(storeFile);
        store = std::make_unique<TextStore>(storeFile, TextStore::Options{storeSettle});
    }

    // Texts added were written to new files, which hold them from now on: the store is loaded from them, at
    // once with `now`, otherwise by the next search.
    void reloadStoreIfAdded(bool now) {
        if (!store || store->added() == 0) return;
        store.reset();
#if defined(__GLIBC__)
        // What the fill's threads held (a path and a signature per text) is spread over their arenas,
        // which would otherwise keep it from the system for the rest of the run.
        ::malloc_trim(0);
#endif
        if (now) loadStore();
    }

    void distrustAll() {
        for (auto& [key, issue] : issues)
            issue->trusted.store(false);
        for (auto& [key, place] : places)
            place.trusted.store(false);
        dependents.clear();
        registered = 0;
    }

    void forgetPlaces() {
        walked.clear();
        walking.clear();
        places.clear();
        issues.clear();
        dependents.clear();
        registered = 0;
    }

    void forgetAll() {
        forgetPlaces();
        devices.clear();
        watch = std::make_unique<FolderWatch>();
        archiveWatch = -1;
    }

    // Everything registered under one of the names, or found through a folder whose watch ended.
    void distrust(const std::unordered_set<std::uint64_t>& names,
                  const std::unordered_set<std::uint32_t>& gone) {
        if (names.empty() && gone.empty()) return;
        std::size_t kept = 0;
        for (const Dependent& d : dependents) {
            if (names.count(d.key) || gone.count(std::uint32_t(d.key >> 32))) {
                if (d.node->epoch.load() == d.epoch) d.node->trusted.store(false);
            } else {
                dependents[kept++] = d;
            }
        }
        dependents.resize(kept);
    }

    // Makes a node trusted with its dependencies; under `mutex`.
    void trust(Node& node, const std::vector<std::uint64_t>& keys) {
        const std::uint32_t epoch = node.epoch.load() + 1;
        node.epoch.store(epoch);
        for (const std::uint64_t key : keys)
            dependents.push_back({key, &node, epoch});
        registered += keys.size();
        node.trusted.store(true, std::memory_order_release);
    }

    bool reportsEveryChange(std::uint64_t device, const fs::path& folder) {
        const auto [it, fresh] = devices.try_emplace(device, false);
        if (fresh) it->second = FolderWatch::reportsEveryChange(folder);
        return it->second;
    }

    // Follows `components` from a watched folder as the case-ignoring lookup does, watching every folder
    // before looking into it, and adds each name looked for to `keys`. `folders` receives the folders
    // reached with their watches, with `throughLast` the one the last component names too. False when the
    // way cannot be vouched for: a symbolic link on it, a folder that cannot be watched or on a file system
    // that does not report every change. Under `mutex`.
    bool follow(fs::path folder, int wd, const std::vector<std::string>& components,
                std::vector<std::uint64_t>& keys, std::vector<std::pair<fs::path, int>>& folders,
                bool throughLast) {
        for (std::size_t i = 0; i < components.size(); ++i) {
            addKeys(keys, wd, components[i]);
            if (i + 1 == components.size() && !throughLast) break;
            const auto next = paths.resolve(folder, {components[i]});
            if (!next) break;
            int err = 0;
            const std::optional<platform::FileStatus> st = platform::statusOf(*next, false, err);
            if (!st || st->kind == platform::FileKind::Link) return false;
            if (st->kind != platform::FileKind::Directory) break;
            if (!reportsEveryChange(st->identity.device, *next)) return false;
            wd = watch->add(*next);
            if (wd < 0) return false;
            folder = *next;
            folders.emplace_back(folder, wd);
        }
        return true;
    }

    // The issue's "pub" folders, looked for once per walk unless trusted from an earlier one.
    void walkIssue(Issue& issue) {
        if (issue.trusted.load(std::memory_order_acquire)) return;
        std::lock_guard issueLock(issue.mutex);
        if (issue.trusted.load() || issue.walkedIn == walk) return;
        std::vector<std::uint64_t> keys;
        std::vector<std::pair<fs::path, int>> pubs;
        std::lock_guard lock(mutex);
        bool watched = archiveWatch >= 0;
        for (const auto& candidate : pubFolderCandidates(issue.type, issue.shortNumber, prefixes)) {
            if (!watched) break;
            std::vector<std::pair<fs::path, int>> reached;
            watched = follow(archive, archiveWatch, candidate, keys, reached, true);
            if (reached.size() == candidate.size() &&
                std::find(pubs.begin(), pubs.end(), reached.back()) == pubs.end())
                pubs.push_back(reached.back());
        }
        issue.pubs = std::move(pubs);
        issue.watched = watched;
        issue.walkedIn = walk;
        if (watched)
            trust(issue, keys);
        else
            issue.epoch.store(issue.epoch.load() + 1);
    }
};

FullTextCache::FullTextCache() : d(std::make_unique<Impl>()) {
    d->watch = std::make_unique<FolderWatch>();
}

FullTextCache::~FullTextCache() {
    d->endFill(false);
}

TextStore* FullTextCache::begin(const FullTextJob& job, const fs::path& storeFile) {
    Impl& c = *d;
    c.endFill(false);
    ++c.walk;
    c.placesUsed = 0;
    c.paths = indexer::CaseInsensitivePaths(indexer::CaseInsensitivePaths::Names::Links);

    // The archive as it was: the same folder at the same path, nothing mounted or unmounted since.
    const fs::path archive = indexer::realArchiveFolder(job.archiveFolder);
    int err = 0;
    const std::optional<platform::FileStatus> st = platform::statusOf(archive, true, err);
    const bool archiveThere = st && st->kind == platform::FileKind::Directory;
    const platform::FileIdentity there = archiveThere ? st->identity : platform::FileIdentity{};
    std::array<std::string, 3> prefixes = indexer::prefixesCp1251(job.prefixes);
    if (archive != c.archive || prefixes != c.prefixes || !archiveThere || there.device != c.archiveDevice ||
        there.inode != c.archiveInode || c.watch->mountsChanged() || c.archiveWatch < 0) {
        c.forgetAll();
        c.archive = archive;
        c.prefixes = std::move(prefixes);
        c.archiveDevice = there.device;
        c.archiveInode = there.inode;
        if (archiveThere && c.reportsEveryChange(there.device, archive))
            c.archiveWatch = c.watch->add(archive);
    } else {
        std::vector<FolderWatch::Change> changes;
        if (!c.watch->take(changes)) {
            c.distrustAll();
        } else {
            std::unordered_set<std::uint64_t> names;
            std::unordered_set<std::uint32_t> gone;
            for (const FolderWatch::Change& change : changes) {
                if (change.folderGone) {
                    gone.insert(std::uint32_t(change.watch));
                } else {
                    // The name as the lookup matches it in a listing, and its bytes as a link may name it.
                    names.insert(keyOf(change.watch, cp1251::fromFileName(change.name)));
                    names.insert(keyOf(change.watch, change.name));
                }
            }
            c.distrust(names, gone);
        }
        // Registrations of nodes found anew pile up under names that never change: start the table afresh
        // before it outgrows what it vouches for.
        if (c.registered > 8 * (c.places.size() + c.issues.size()) + 4096) c.distrustAll();
    }
    c.enabled = c.watch->available() && c.archiveWatch >= 0;

    // The store stays loaded while its files are the ones it was loaded from (this program is their only
    // writer while it holds the folder's lock, but another may have written them before).
    if (!c.store || storeFile != c.storeFile || job.storeSettle != c.storeSettle ||
        Impl::storeFilesIdentity(storeFile) != c.storeIdentity) {
        c.storeFile = storeFile;
        c.storeSettle = job.storeSettle;
        c.loadStore();
    }
    return c.store.get();
}

FullTextCache::Place* FullTextCache::place(std::size_t position, int type, std::string_view number,
                                           std::string_view link) {
    Impl& c = *d;
    if (!c.enabled) return nullptr;
    if (c.walking.size() <= position) c.walking.resize(position + 1);
    ++c.placesUsed;
    // Mostly the rows are where they were in the last walk.
    if (position < c.walked.size()) {
        Place* p = c.walked[position];
        if (p && samePlace(*p->key, type, number, link)) return c.walking[position] = p;
    }
    placeKey(c.key, type, number, link);
    auto [it, fresh] = c.places.try_emplace(c.key);
    if (fresh) {
        it->second.key = &it->first;
        std::string shortNumber = indexer::shortIssueNumber(number);
        std::string issueKey = std::to_string(type) + '\n' + shortNumber;
        auto [issue, freshIssue] = c.issues.try_emplace(std::move(issueKey));
        if (freshIssue) {
            issue->second = std::make_unique<Issue>();
            issue->second->type = type;
            issue->second->shortNumber = std::move(shortNumber);
        }
        it->second.issue = issue->second.get();
    }
    return c.walking[position] = &it->second;
}

std::size_t FullTextCache::storeEntry(Place* p, std::string_view path, const FileIdentity& identity) {
    TextStore& store = *d->store;
    const std::uint64_t id = store.id() << 32;
    const std::uint64_t last = p->storeEntry.load(std::memory_order_relaxed);
    if ((last & ~std::uint64_t(0xFFFFFFFF)) == id && store.still(std::size_t(last & 0xFFFFFFFF), identity))
        return std::size_t(last & 0xFFFFFFFF);
    const std::size_t entry = store.find(path, identity);
    if (entry != TextStore::kNone && entry < 0xFFFFFFFF)
        p->storeEntry.store(id | entry, std::memory_order_relaxed);
    return entry;
}

bool FullTextCache::known(const Place* p, bool& found, std::string_view& path, FileIdentity& identity) const {
    if (!trustedPlace(p)) return false;
    found = p->found;
    path = p->path;
    identity = p->identity;
    return true;
}

void FullTextCache::verify(const std::vector<Place*>& places, int threads) {
    const std::uint64_t walk = d->walk;
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        constexpr std::size_t kPiece = 512;
        for (std::size_t start = next.fetch_add(kPiece); start < places.size();
             start = next.fetch_add(kPiece))
            for (std::size_t i = start; i < std::min(places.size(), start + kPiece); ++i) {
                Place* p = places[i];
                if (!p || !p->found || !trustedPlace(p) || p->verifiedIn.exchange(walk) == walk) continue;
                int err = 0;
                const std::optional<platform::FileStatus> st = platform::statusOfKey(p->path, false, err);
                if (!st || st->kind != platform::FileKind::Regular || st->identity != p->identity)
                    p->trusted.store(false);
            }
    };
    std::vector<std::thread> helpers;
    try {
        for (int k = 1; k < threads && places.size() > 4096; ++k)
            helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads: it only takes longer.
    }
    work();
    for (std::thread& t : helpers)
        t.join();
}

bool FullTextCache::examine(Place* p, ArticleFiles& files, int type, std::string_view number,
                            std::string_view link, fs::path& path, platform::FileStatus& st,
                            std::string& bytes, bool lookFirst, bool& read) {
    Impl& c = *d;
    Issue& issue = *p->issue;
    c.walkIssue(issue);
    // What the lookup below looks into, watched before it does; an issue whose folders cannot all be vouched
    // for leaves its rows to be looked at every time.
    thread_local std::vector<std::uint64_t> keys;
    keys.clear();
    std::vector<std::pair<fs::path, int>> deeper; // folders below the "pub" folders
    bool watched = issue.watched;
    const std::uint32_t issueEpoch = issue.epoch.load();
    if (watched && link.find_first_of("/\\") == std::string_view::npos) {
        if (indexer::linkStaysInside(link))
            for (const auto& pub : issue.pubs)
                addKeys(keys, pub.second, std::string(link));
    } else if (watched && indexer::linkStaysInside(link)) {
        const std::vector<std::string> components = indexer::linkComponents(link);
        std::lock_guard lock(c.mutex);
        for (const auto& pub : issue.pubs)
            if (!(watched = c.follow(pub.first, pub.second, components, keys, deeper, false))) break;
    }
    bool linked = false;
    const bool found = files.examine(type, number, link, path, st, bytes, lookFirst, read, &linked);
    if (!watched || linked) return found;
    // A file is vouched for by the watch of the folder it lies in, which must be one looked into above; a
    // change through another name it has is seen by known(...).
    if (found) {
        // Paths are built from the folders' own, so the folder is the file's path up to its last separator.
        using NativeView = std::basic_string_view<fs::path::value_type>;
        static constexpr fs::path::value_type kSeparators[] = {'/', fs::path::preferred_separator, 0};
        const NativeView file = path.native();
        const NativeView folder = file.substr(0, std::min(file.size(), file.find_last_of(kSeparators)));
        auto in = [&](const std::vector<std::pair<fs::path, int>>& folders) {
            return std::find_if(folders.begin(), folders.end(),
                                [&](const auto& f) { return f.first.native() == folder; }) != folders.end();
        };
        if (st.kind != platform::FileKind::Regular || !(in(issue.pubs) || in(deeper))) return found;
    }
    std::lock_guard lock(c.mutex);
    if (!p->trusted.load() || p->issueEpoch.load() != issueEpoch) {
        p->trusted.store(false);
        p->issueEpoch.store(0);
        p->found = found;
        p->path = found ? platform::pathKey(path) : std::string();
        p->identity = found ? st.identity : FileIdentity{};
        p->issueEpoch.store(issueEpoch, std::memory_order_release);
        c.trust(*p, keys);
    }
    return found;
}

void FullTextCache::end(std::vector<Unkept> unkept, const FullTextJob& job, bool walkComplete) {
    Impl& c = *d;
    c.walked.swap(c.walking);
    c.walking.clear();
    // Rows gone from the table leave their places behind; past twice what a walk uses, they are dropped.
    if (c.places.size() > 2 * c.placesUsed + 4096) {
        c.forgetPlaces();
        for (Unkept& row : unkept)
            row.place = nullptr;
    }
    if (!c.store) return;
    if (!unkept.empty()) {
        c.fillThreads =
            job.threads > 0 ? job.threads : int(std::max(1u, std::thread::hardware_concurrency()));
        c.fillIdle = 0;
        try {
            c.filler = std::thread([this, &c, rows = std::move(unkept), folder = job.archiveFolder,
                                    prefixes = job.prefixes,
                                    walkComplete] { c.fill(*this, rows, folder, prefixes, walkComplete); });
            return;
        } catch (const std::system_error&) {
            // No thread to spare: what was read is only not kept.
        }
    }
    try {
        c.store->save(walkComplete, platform::pathKey(c.archive));
    } catch (...) {
    }
}

void FullTextCache::waitForFill() {
    d->endFill(true);
}

bool FullTextCache::firstTime(const Message& problem) {
    return d->told.insert(problem.english()).second;
}

void FullTextCache::pauseFillAfter(std::size_t rows) {
    d->fillPause = rows;
}

} // namespace marovex::search
