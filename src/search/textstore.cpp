#include "search/textstore.h"

#include "base/atomicfile.h"
#include "base/textops.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

namespace fs = std::filesystem;

namespace marovex::search {

namespace {

// The file: a header, the compressed texts, then the directory of entries, which the header locates and
// checksums. Numbers are stored in this machine's byte order; a store from another machine fails its
// checks and is made anew.
constexpr char kMagic[8] = {'M', 'V', 'X', 'T', 'E', 'X', 'T', 'S'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kWhole = 0, kAdditions = 1;
constexpr std::uint8_t kFromBase = 0, kFromAdditions = 1, kFromFresh = 2;
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kEntryFixed = 64; // an entry's bytes before its path
constexpr std::uint32_t kMaxSignatureWords = (1u << 24) / 64;
constexpr std::uint8_t kSeen = 1, kStale = 2;

struct Header {
    char magic[8];
    std::uint32_t version, kind;
    std::uint64_t generation, entries, directoryOffset, directorySize, directoryHash, headerHash;
};
static_assert(sizeof(Header) == kHeaderSize);

std::uint64_t hashBytes(const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    auto mix = [&h](std::uint64_t w) {
        h = std::rotl(h ^ (w * 0xC2B2AE3D27D4EB4Full), 31) * 0x9E3779B185EBCA87ull;
    };
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        mix(w);
    }
    std::uint64_t tail = 0;
    if (i < n) std::memcpy(&tail, p + i, n - i);
    mix(tail);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 33);
}

std::uint64_t headerHash(const Header& h) {
    return hashBytes(&h, offsetof(Header, headerHash));
}

std::uint32_t mix32(std::uint32_t h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    return h ^ (h >> 16);
}

// Calls f with the hash of every folded letter triple of the text.
template <typename F> void forEachTriple(std::string_view text, F&& f) {
    if (text.size() < 3) return;
    std::uint32_t t = (std::uint32_t(text::Fold(text[0])) << 8) | text::Fold(text[1]);
    for (std::size_t i = 2; i < text.size(); ++i) {
        t = ((t << 8) | text::Fold(text[i])) & 0xFFFFFFu;
        f(mix32(t));
    }
}

std::int64_t nanoseconds(const struct timespec& t) {
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool readAt(int fd, void* data, std::size_t n, std::uint64_t offset) {
    auto* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t got = ::pread(fd, p, n, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got, n -= size_t(got), offset += std::uint64_t(got);
    }
    return true;
}

bool writeAt(int fd, const void* data, std::size_t n, std::uint64_t offset) {
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t put = ::pwrite(fd, p, n, off_t(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put, n -= size_t(put), offset += std::uint64_t(put);
    }
    return true;
}

// Copies a stored text from one file into another, in the kernel where it can.
bool copyRange(int from, std::uint64_t fromOffset, int to, std::uint64_t toOffset, std::size_t n) {
    while (n > 0) {
        loff_t in = loff_t(fromOffset), out = loff_t(toOffset);
        const ssize_t done = ::copy_file_range(from, &in, to, &out, n, 0);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) break;
        fromOffset += std::uint64_t(done), toOffset += std::uint64_t(done), n -= size_t(done);
    }
    if (n == 0) return true;
    std::string buffer(n, '\0');
    return readAt(from, buffer.data(), n, fromOffset) && writeAt(to, buffer.data(), n, toOffset);
}

// One compression and one decompression context per thread, kept for the thread's life.
struct Codec {
    ZSTD_CCtx* compressor = ZSTD_createCCtx();
    ZSTD_DCtx* decompressor = ZSTD_createDCtx();
    int level = -1000;
    std::string buffer;
    ~Codec() {
        ZSTD_freeCCtx(compressor);
        ZSTD_freeDCtx(decompressor);
    }
};
Codec& codec() {
    thread_local Codec c;
    return c;
}

} // namespace

FileIdentity IdentityOf(const struct stat& st) {
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::int64_t(st.st_size),
            nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

// --- Signatures
// ---------------------------------------------------------------------------------------------

TextQuery::TextQuery(std::string_view word) {
    forEachTriple(word, [this](std::uint32_t h) { m_hashes.push_back(h); });
    std::sort(m_hashes.begin(), m_hashes.end());
    m_hashes.erase(std::unique(m_hashes.begin(), m_hashes.end()), m_hashes.end());
}

std::vector<std::uint64_t> TextSignature(std::string_view text) {
    if (text.size() < 3) return {};
    // Two bits per triple to start with, then halved (each half folded onto the other, which keeps every
    // bit's place modulo the smaller size) while at most four bits in ten stay set.
    const std::size_t bits = std::min<std::size_t>(std::bit_ceil(std::max<std::size_t>(64, 2 * text.size())),
                                                   kMaxSignatureWords * 64);
    std::vector<std::uint64_t> words(bits / 64);
    const std::uint32_t mask = std::uint32_t(bits - 1);
    forEachTriple(text, [&](std::uint32_t h) {
        const std::uint32_t bit = h & mask;
        words[bit >> 6] |= std::uint64_t(1) << (bit & 63);
    });
    while (words.size() > 1) {
        const std::size_t half = words.size() / 2;
        std::size_t set = 0;
        for (std::size_t i = 0; i < half; ++i)
            set += size_t(std::popcount(words[i] | words[i + half]));
        if (set * 10 > half * 64 * 4) break;
        for (std::size_t i = 0; i < half; ++i)
            words[i] |= words[i + half];
        words.resize(half);
    }
    return words;
}

bool SignatureMayContain(const std::uint64_t* words, std::size_t count, const TextQuery& query) {
    if (count == 0) return !query.filters(); // no triple at all
    const std::uint32_t mask = std::uint32_t(count * 64 - 1);
    for (const std::uint32_t h : query.hashes()) {
        const std::uint32_t bit = h & mask;
        if (!((words[bit >> 6] >> (bit & 63)) & 1)) return false;
    }
    return true;
}

// --- The store
// ------------------------------------------------------------------------------------------------

struct TextStore::Loaded {
    std::unique_ptr<std::uint64_t[]> directory;
};

TextStore::TextStore(fs::path file, Options options) : m_file(std::move(file)), m_options(options) {
    m_additionsFile = m_file;
    m_additionsFile.replace_extension(".add");
    if (load(m_file, kWhole, 0, kFromBase)) {
        m_baseEntries = m_entries.size();
        load(m_additionsFile, kAdditions, m_generation, kFromAdditions);
    }
    m_byPath.reserve(m_entries.size());
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        m_byPath.insert_or_assign(m_entries[i].path, i);
    m_state = std::make_unique<std::atomic<std::uint8_t>[]>(m_entries.size());
}

TextStore::~TextStore() {
    for (int fd : {m_baseFd, m_additionsFd, m_freshFd})
        if (fd >= 0) ::close(fd);
    if (!m_freshPath.empty()) ::unlink(m_freshPath.c_str());
}

bool TextStore::load(const fs::path& file, int kind, std::uint64_t generation, std::uint8_t source) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    Header h{};
    bool ok = ::fstat(fd, &st) == 0 && std::uint64_t(st.st_size) >= kHeaderSize &&
              readAt(fd, &h, sizeof h, 0) && std::memcmp(h.magic, kMagic, sizeof kMagic) == 0 &&
              h.version == kVersion && h.kind == std::uint32_t(kind) && h.headerHash == headerHash(h) &&
              h.generation != 0 && (kind == int(kWhole) || h.generation == generation) &&
              h.directoryOffset >= kHeaderSize && h.directorySize % 8 == 0 &&
              h.directoryOffset + h.directorySize == std::uint64_t(st.st_size) &&
              h.entries <= h.directorySize / kEntryFixed;
    auto loaded = std::make_unique<Loaded>();
    if (ok) {
        loaded->directory = std::make_unique<std::uint64_t[]>(h.directorySize / 8);
        ok = readAt(fd, loaded->directory.get(), h.directorySize, h.directoryOffset) &&
             hashBytes(loaded->directory.get(), h.directorySize) == h.directoryHash;
    }
    std::vector<Entry> entries;
    if (ok) {
        const auto* bytes = reinterpret_cast<const char*>(loaded->directory.get());
        std::size_t pos = 0;
        entries.reserve(h.entries);
        for (std::uint64_t i = 0; ok && i < h.entries; ++i) {
            if (h.directorySize - pos < kEntryFixed) {
                ok = false;
                break;
            }
            Entry e;
            std::uint64_t fixed[8];
            std::memcpy(fixed, bytes + pos, sizeof fixed);
            e.identity = {fixed[0], fixed[1], std::int64_t(fixed[2]), std::int64_t(fixed[3]),
                          std::int64_t(fixed[4])};
            e.offset = fixed[5];
            e.blobSize = std::uint32_t(fixed[6]);
            e.textSize = std::uint32_t(fixed[6] >> 32);
            e.signatureWords = std::uint32_t(fixed[7]);
            const std::uint32_t pathSize = std::uint32_t(fixed[7] >> 32);
            const std::size_t padded = (std::size_t(pathSize) + 7) & ~std::size_t(7);
            const std::size_t need = kEntryFixed + padded + std::size_t(e.signatureWords) * 8;
            ok = need <= h.directorySize - pos && e.signatureWords <= kMaxSignatureWords &&
                 (e.signatureWords == 0 || std::has_single_bit(e.signatureWords)) &&
                 e.offset >= kHeaderSize && e.offset + e.blobSize <= h.directoryOffset;
            if (!ok) break;
            e.path = std::string_view(bytes + pos + kEntryFixed, pathSize);
            e.signature = loaded->directory.get() + (pos + kEntryFixed + padded) / 8;
            e.source = source;
            entries.push_back(e);
            pos += need;
        }
        ok = ok && pos == h.directorySize;
    }
    if (!ok) {
        ::close(fd);
        return false;
    }
    (source == kFromBase ? m_baseFd : m_additionsFd) = fd;
    if (kind == int(kWhole)) m_generation = h.generation;
    m_entries.insert(m_entries.end(), entries.begin(), entries.end());
    m_loaded.push_back(std::move(loaded));
    return true;
}

int TextStore::fdOf(std::uint8_t source) const {
    return source == kFromBase ? m_baseFd : source == kFromAdditions ? m_additionsFd : m_freshFd;
}

std::size_t TextStore::find(std::string_view path, const FileIdentity& identity) {
    const auto it = m_byPath.find(path);
    if (it == m_byPath.end()) return kNone;
    const std::size_t e = it->second;
    if (m_entries[e].identity == identity) {
        m_state[e].fetch_or(kSeen, std::memory_order_relaxed);
        return e;
    }
    m_state[e].fetch_or(kStale, std::memory_order_relaxed);
    return kNone;
}

bool TextStore::mayContain(std::size_t entry, const TextQuery& query) const {
    const Entry& e = m_entries[entry];
    return SignatureMayContain(e.signature, e.signatureWords, query);
}

bool TextStore::text(std::size_t entry, std::string& out) const {
    const Entry& e = m_entries[entry];
    Codec& c = codec();
    c.buffer.resize(e.blobSize);
    if (!readAt(fdOf(e.source), c.buffer.data(), e.blobSize, e.offset)) return false;
    out.resize(e.textSize);
    const size_t got =
        ZSTD_decompressDCtx(c.decompressor, out.data(), out.size(), c.buffer.data(), e.blobSize);
    return !ZSTD_isError(got) && got == e.textSize;
}

void TextStore::add(std::string_view path, const FileIdentity& identity, std::string_view text) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (identity.changedNs + m_options.settle.count() > nanoseconds(now)) return;
    if (path.size() > 0xFFFFFFFFu || text.size() > 0xFFFFFFFFu) return;

    Codec& c = codec();
    if (c.level != m_options.compressionLevel) {
        ZSTD_CCtx_setParameter(c.compressor, ZSTD_c_compressionLevel, m_options.compressionLevel);
        ZSTD_CCtx_setParameter(c.compressor, ZSTD_c_checksumFlag, 1);
        c.level = m_options.compressionLevel;
    }
    c.buffer.resize(ZSTD_compressBound(text.size()));
    const size_t size =
        ZSTD_compress2(c.compressor, c.buffer.data(), c.buffer.size(), text.data(), text.size());
    if (ZSTD_isError(size)) return;
    std::vector<std::uint64_t> signature = TextSignature(text);

    std::uint64_t offset = 0;
    int fd = -1;
    {
        std::lock_guard lock(m_mutex);
        if (m_freshFailed) return;
        if (m_freshFd < 0) {
            m_freshPath = temporaryBeside(m_file);
            m_freshFd = ::open(m_freshPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (m_freshFd < 0) {
                m_freshPath.clear();
                m_freshFailed = true;
                return;
            }
            m_freshEnd = kHeaderSize;
        }
        offset = m_freshEnd;
        m_freshEnd += size;
        fd = m_freshFd;
        Entry e;
        e.path = m_freshPaths.emplace_back(path);
        e.identity = identity;
        e.offset = offset;
        e.blobSize = std::uint32_t(size);
        e.textSize = std::uint32_t(text.size());
        e.signature = m_freshSignatures.emplace_back(std::move(signature)).data();
        e.signatureWords = std::uint32_t(m_freshSignatures.back().size());
        e.source = kFromFresh;
        m_fresh.push_back(e);
    }
    if (!writeAt(fd, c.buffer.data(), size, offset)) {
        std::lock_guard lock(m_mutex);
        m_freshFailed = true;
    }
}

void TextStore::save(bool walkComplete) {
    if (m_freshFailed) m_fresh.clear();
    // The last text read for a path wins; an older one of the same path is dropped.
    std::unordered_map<std::string_view, std::size_t> freshByPath;
    for (std::size_t i = 0; i < m_fresh.size(); ++i)
        freshByPath.insert_or_assign(m_fresh[i].path, i);

    std::vector<bool> keep(m_entries.size());
    std::size_t baseKept = 0, baseDropped = 0, additionsKept = 0, additionsDropped = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        const std::uint8_t state = m_state[i].load();
        bool k = m_byPath.at(e.path) == i && !(state & kStale) && !freshByPath.count(e.path);
        if (k && walkComplete && !(state & kSeen)) {
            // No row reached it: kept while its file is there (a row whose title matched reads no file).
            struct stat st {};
            k = !(::stat(std::string(e.path).c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR));
        }
        keep[i] = k;
        if (e.source == kFromBase)
            ++(k ? baseKept : baseDropped);
        else
            ++(k ? additionsKept : additionsDropped);
    }
    const bool whole = m_generation == 0 || 4 * (freshByPath.size() + additionsKept + baseDropped) > baseKept;
    if (!whole && freshByPath.empty() && additionsDropped == 0) return;

    std::vector<const Entry*> entries;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (keep[i] && (whole || m_entries[i].source == kFromAdditions)) entries.push_back(&m_entries[i]);
    for (std::size_t i = 0; i < m_fresh.size(); ++i)
        if (freshByPath.at(m_fresh[i].path) == i) entries.push_back(&m_fresh[i]);
    if (whole && entries.empty() && m_generation == 0) return;

    std::uint64_t generation = m_generation;
    if (whole) {
        std::random_device random;
        do
            generation = (std::uint64_t(random()) << 32) ^ random();
        while (generation == 0 || generation == m_generation);
    }
    writeFile(whole ? m_file : m_additionsFile, whole ? kWhole : kAdditions, generation, entries);
    // The old additions belong to the old store and would be ignored; removing them only frees the space.
    if (whole) ::unlink(m_additionsFile.c_str());
}

void TextStore::writeFile(const fs::path& target, int kind, std::uint64_t generation,
                          const std::vector<const Entry*>& entries) {
    if (m_freshFd < 0) {
        m_freshPath = temporaryBeside(m_file);
        m_freshFd = ::open(m_freshPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (m_freshFd < 0) {
            m_freshPath.clear();
            return;
        }
        m_freshEnd = kHeaderSize;
    }
    std::string directory;
    directory.reserve(entries.size() * (kEntryFixed + 64));
    bool ok = !m_freshFailed;
    for (const Entry* e : entries) {
        if (!ok) break;
        std::uint64_t offset = e->offset;
        if (e->source != kFromFresh) {
            // Texts of the old files are copied behind the ones read now.
            offset = m_freshEnd;
            ok = copyRange(fdOf(e->source), e->offset, m_freshFd, offset, e->blobSize);
            m_freshEnd += e->blobSize;
        }
        const std::uint64_t fixed[8] = {e->identity.device,
                                        e->identity.inode,
                                        std::uint64_t(e->identity.size),
                                        std::uint64_t(e->identity.modifiedNs),
                                        std::uint64_t(e->identity.changedNs),
                                        offset,
                                        e->blobSize | (std::uint64_t(e->textSize) << 32),
                                        e->signatureWords | (std::uint64_t(e->path.size()) << 32)};
        directory.append(reinterpret_cast<const char*>(fixed), sizeof fixed);
        directory.append(e->path);
        directory.append((8 - e->path.size() % 8) % 8, '\0');
        directory.append(reinterpret_cast<const char*>(e->signature), std::size_t(e->signatureWords) * 8);
    }
    Header h{};
    std::memcpy(h.magic, kMagic, sizeof kMagic);
    h.version = kVersion;
    h.kind = std::uint32_t(kind);
    h.generation = generation;
    h.entries = entries.size();
    h.directoryOffset = m_freshEnd;
    h.directorySize = directory.size();
    h.directoryHash = hashBytes(directory.data(), directory.size());
    h.headerHash = headerHash(h);
    ok = ok && writeAt(m_freshFd, directory.data(), directory.size(), m_freshEnd) &&
         ::ftruncate(m_freshFd, off_t(m_freshEnd + directory.size())) == 0 &&
         writeAt(m_freshFd, &h, sizeof h, 0);
    // Not flushed to disk: after a power loss the checksums find whatever did not reach it, and the texts
    // are read again. A kill cannot tear a rename.
    ok = ok && ::rename(m_freshPath.c_str(), target.c_str()) == 0;
    if (ok) m_freshPath.clear();
}

} // namespace marovex::search
