#pragma once

#include "base/cp1251.h"
#include "base/message.h"
#include "base/platform.h"
#include "base/regularfile.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The text store: for every article file the full-text search has read, the text its test looks at (the
// normalised page, see normalisePageText), under the file's path and identity, with a signature of the
// text's letter triples that tells files which cannot hold a word. A later search answers from it for the
// files whose identity is unchanged and reads only the others, so it gives the plain walk's answer exactly.
//
// It is a cache: the catalogue never depends on it, and a store that is missing, damaged or written by
// something else is taken as empty and made anew. Only a store file that is no regular file (a FIFO is never
// opened, so never waited on) or that the user write-protected is left as it is: then nothing is kept, and
// problem() says why. It lies in the application folder as two files, each
// replaced whole (a new file renamed over the old one) by the folder's one writer: the store itself and its
// additions, the entries added since the store was last written whole. The additions name the store they
// belong to and are dropped with any other. Every entry carries the identity of the file it was made from,
// and every text and the directory of entries carry checksums, so whatever a kill or a crash leaves behind
// can only cost re-reading, never a wrong answer.
namespace marovex::search {

inline constexpr std::string_view kTextStoreFile = "texts.dat";
inline constexpr std::string_view kTextStoreAdditions = "texts.add";

// What says that a file is still the one a stored text was made from.
using platform::FileIdentity;

// The letter triples of a search word, folded as the search folds letters.
class TextQuery {
public:
    explicit TextQuery(const Cp1251Text& word);
    // False for a word shorter than three bytes: then every stored text is a candidate.
    bool filters() const { return !m_hashes.empty(); }
    const std::vector<std::uint32_t>& hashes() const { return m_hashes; }

private:
    std::vector<std::uint32_t> m_hashes;
};

// The signature of a text: one bit per folded letter triple, in a power-of-two number of 64-bit words made
// as small as keeps it useful. Empty for a text shorter than three bytes.
std::vector<std::uint64_t> textSignature(std::string_view text);
// False proves that no text with this signature contains the query's word, in either letter case.
bool signatureMayContain(const std::uint64_t* words, std::size_t count, const TextQuery& query);

class TextStore {
public:
    struct Options {
        // How old a file's last change must be when it is read for its text to be kept: a change within the
        // file system's clock tick after the read would otherwise leave the identity as it was.
        std::chrono::nanoseconds settle = std::chrono::seconds(2);
        int acceleration = 4; // of the LZ4 compression of the texts
    };

    static constexpr std::size_t kNone = std::size_t(-1);

    // Opens the store at `file` and its additions beside it. Never raises.
    TextStore(std::filesystem::path file, Options options);
    ~TextStore();
    TextStore(const TextStore&) = delete;
    TextStore& operator=(const TextStore&) = delete;

    std::size_t size() const { return m_entries.size(); }
    // Why this store keeps nothing new (a store file that must not be replaced); empty when it keeps texts.
    const Message& problem() const { return m_problem; }
    bool keeps() const { return m_problem.empty(); }
    // Texts added since it was opened (once no search adds any more).
    std::size_t added() const { return m_fresh.size(); }

    // The entry for a path whose file still has this identity, or kNone. Safe from several threads.
    std::size_t find(std::string_view path, const FileIdentity& identity);
    // find(...) for an entry it returned before on this store: whether that entry still answers for a file
    // with this identity.
    bool still(std::size_t entry, const FileIdentity& identity);
    // Tells this store from others loaded in the same process.
    std::uint64_t id() const { return m_id; }
    bool mayContain(std::size_t entry, const TextQuery& query) const;
    // The stored text; false when it is damaged (the caller reads the file instead and adds it again).
    bool text(std::size_t entry, std::string& out) const;

    // Keeps the text of a file just read, unless the file changed too recently to be trusted. Safe from
    // several threads. A failure to write makes the store forget the additions, never raises.
    void add(std::string_view path, const FileIdentity& identity, std::string_view text);

    // Writes what changed: whole when the additions have grown large, otherwise only the additions; nothing
    // when no text was added and no file found changed. With `walkComplete`, entries no row reached whose
    // files are gone are dropped when it writes; so are entries outside `root` (the real path of the archive
    // folder), whatever spelling of a folder made them. Needs the folder lock; never raises (a store that
    // cannot be written is simply not kept, and its new file removed at once).
    void save(bool walkComplete, std::string_view root);

private:
    struct Entry {
        std::string_view path;
        FileIdentity identity;
        std::uint64_t offset = 0;
        std::uint32_t blobSize = 0, textSize = 0;
        std::uint64_t blobHash = 0; // of the compressed text
        const std::uint64_t* signature = nullptr;
        std::uint32_t signatureWords = 0;
        std::uint8_t source = 0; // which file holds the text: kBase, kAdditions or kFresh
    };
    struct Loaded;

    std::optional<RegularFile> openFile(const std::filesystem::path& file);
    bool load(RegularFile file, int kind, std::uint64_t generation, std::uint8_t source);
    const platform::FileHandle& handleOf(std::uint8_t source) const;
    std::size_t slotOf(std::string_view path) const;
    bool openFresh();
    void dropFresh();
    bool flushPending();
    void writeFile(const std::filesystem::path& target, int kind, std::uint64_t generation,
                   const std::vector<const Entry*>& entries);

    std::filesystem::path m_file, m_additionsFile;
    Options m_options;
    Message m_problem;
    std::uint64_t m_id;             // tells this store's pieces in a thread's read-ahead from another's
    std::uint64_t m_generation = 0; // of the store whole; 0: there is none
    std::vector<std::unique_ptr<Loaded>> m_loaded;
    platform::FileHandle m_baseHandle, m_additionsHandle;
    std::vector<Entry> m_entries;                         // from the files, additions after the store's own
    std::vector<std::uint32_t> m_slots;                   // the entries by path: index + 1, 0 for none
    std::unique_ptr<std::atomic<std::uint8_t>[]> m_state; // per entry: seen, stale, superseded
    std::size_t m_baseEntries = 0;                        // entries of the store whole
    std::atomic<bool> m_staleFound{false};                // an entry's file was found changed

    // Entries read in this search, their texts already in the fresh file.
    std::mutex m_mutex;
    std::filesystem::path m_freshPath;
    platform::FileHandle m_freshHandle;
    bool m_freshFailed = false;
    int m_writing = 0; // pieces being written outside the lock
    std::uint64_t m_freshEnd = 0;
    std::string m_pending; // texts not yet written, the last ones before m_freshEnd
    std::deque<std::string> m_freshPaths;
    std::deque<std::vector<std::uint64_t>> m_freshSignatures;
    std::vector<Entry> m_fresh;
};

} // namespace marovex::search
