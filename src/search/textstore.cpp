#include "search/textstore.h"

#include "base/atomicfile.h"
#include "base/regularfile.h"
#include "base/textops.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#include <lz4.h>

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
constexpr std::size_t kEntryFixed = 72; // an entry's bytes before its path
constexpr std::uint32_t kMaxSignatureWords = (1u << 24) / 64;
constexpr std::uint8_t kSeen = 1, kStale = 2, kSuperseded = 4;

struct Header {
    char magic[8];
    std::uint32_t version, kind;
    std::uint64_t generation, entries, directoryOffset, directorySize, directoryHash, headerHash;
};
static_assert(sizeof(Header) == kHeaderSize);

// A checksum of bytes: four independent lanes of eight bytes, so that a large directory is checked at
// memory speed. Bytes may be given in pieces; `total` is the length of them all.
class ByteHash {
public:
    explicit ByteHash(std::uint64_t total)
        : m_lanes{0x9E3779B97F4A7C15ull ^ total, k1, k2, 0x165667B19E3779F9ull} {}

    void add(const void* data, std::size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        if (m_carried > 0) {
            const std::size_t take = std::min(n, sizeof m_carry - m_carried);
            std::memcpy(m_carry + m_carried, p, take);
            m_carried += take, p += take, n -= take;
            if (m_carried < sizeof m_carry) return;
            block(m_carry);
            m_carried = 0;
        }
        for (; n >= 32; p += 32, n -= 32)
            block(p);
        std::memcpy(m_carry, p, n);
        m_carried = n;
    }

    // Once every byte was added; the bytes short of a whole block end it.
    std::uint64_t finish() const {
        std::uint64_t h =
            m_lanes[0] ^ std::rotl(m_lanes[1], 17) ^ std::rotl(m_lanes[2], 29) ^ std::rotl(m_lanes[3], 43);
        std::size_t i = 0;
        for (; i + 8 <= m_carried; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, m_carry + i, 8);
            h = round(h, w);
        }
        std::uint64_t tail = 0;
        if (i < m_carried) std::memcpy(&tail, m_carry + i, m_carried - i);
        h = round(h, tail);
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        return h ^ (h >> 33);
    }

private:
    static constexpr std::uint64_t k1 = 0xC2B2AE3D27D4EB4Full, k2 = 0x9E3779B185EBCA87ull;
    static std::uint64_t round(std::uint64_t h, std::uint64_t w) { return std::rotl(h ^ (w * k1), 31) * k2; }
    void block(const unsigned char* p) {
        std::uint64_t w[4];
        std::memcpy(w, p, sizeof w);
        for (int l = 0; l < 4; ++l)
            m_lanes[l] = round(m_lanes[l], w[l]);
    }

    std::uint64_t m_lanes[4];
    unsigned char m_carry[32];
    std::size_t m_carried = 0;
};

std::uint64_t hashBytes(const void* data, std::size_t n) {
    ByteHash h(n);
    h.add(data, n);
    return h.finish();
}

std::uint64_t headerHash(const Header& h) {
    return hashBytes(&h, offsetof(Header, headerHash));
}

// Spreads a triple over 32 bits; the signatures use its low bits.
std::uint32_t mix32(std::uint32_t h) {
    h *= 0x9E3779B1u;
    return h ^ (h >> 15);
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

bool readWhole(const platform::FileHandle& file, void* data, std::size_t n, std::uint64_t offset) {
    return platform::readAt(file, data, n, offset) == std::int64_t(n);
}

using platform::copyRange;
using platform::writeAt;

// A buffer per thread for compressed texts, kept for the thread's life.
std::string& compressedBuffer() {
    thread_local std::string buffer;
    return buffer;
}

// The piece of a store file a thread read last. The walk asks for texts in about the order they were
// stored, so reading ahead in pieces saves a system call per text when many texts are candidates.
// The piece grows while it serves several texts and falls back to one page when it served only one: texts
// of a rare word lie far apart, and reading large pieces for them would copy mostly what is never used.
struct ReadAhead {
    std::uint64_t store = 0; // TextStore::m_id; 0: nothing held
    int source = -1;
    std::uint64_t start = 0;
    std::string bytes;
    std::size_t served = 0;      // texts taken from the piece held
    std::size_t size = 4 * 1024; // of the next piece
};
constexpr std::size_t kReadAheadBytes = 64 * 1024, kReadAheadLeast = 4 * 1024;

std::atomic<std::uint64_t> g_storeIds{0};

} // namespace

// --- Signatures
// ---------------------------------------------------------------------------------------------

TextQuery::TextQuery(const Cp1251Text& word) {
    forEachTriple(word.bytes(), [this](std::uint32_t h) { m_hashes.push_back(h); });
    std::sort(m_hashes.begin(), m_hashes.end());
    m_hashes.erase(std::unique(m_hashes.begin(), m_hashes.end()), m_hashes.end());
}

namespace {

// Marks the byte of every folded letter triple's hash in `marks` (`mask` + 1 bytes), reading `folded`
// (`n` >= 3 folded bytes followed by at least 16 readable ones).
void markTriples(const unsigned char* folded, std::size_t n, std::uint8_t* marks, std::uint32_t mask) {
    for (std::size_t i = 0; i + 2 < n; ++i) {
        std::uint32_t x;
        std::memcpy(&x, folded + i, 4);
        marks[mix32(__builtin_bswap32(x) >> 8) & mask] = 1; // the first byte of the triple highest
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// Eight triples at a time: their hashes in vector lanes, then eight plain stores.
__attribute__((target("avx2"))) void markTriplesAvx2(const unsigned char* folded, std::size_t n,
                                                     std::uint8_t* marks, std::uint32_t mask) {
    // Lane k of either half takes the triple starting at byte k (low half) or k + 4 (high half) of the
    // sixteen loaded, first byte highest.
    const __m256i order = _mm256_setr_epi8(2, 1, 0, -1, 3, 2, 1, -1, 4, 3, 2, -1, 5, 4, 3, -1, //
                                           6, 5, 4, -1, 7, 6, 5, -1, 8, 7, 6, -1, 9, 8, 7, -1);
    const __m256i factor = _mm256_set1_epi32(int(0x9E3779B1u));
    const __m256i lowBits = _mm256_set1_epi32(int(mask));
    const std::size_t triples = n - 2;
    std::size_t i = 0;
    alignas(32) std::uint32_t bits[8];
    for (; i + 8 <= triples; i += 8) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(folded + i));
        __m256i h = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(bytes), order);
        h = _mm256_mullo_epi32(h, factor);
        h = _mm256_and_si256(_mm256_xor_si256(h, _mm256_srli_epi32(h, 15)), lowBits);
        _mm256_store_si256(reinterpret_cast<__m256i*>(bits), h);
        for (const std::uint32_t bit : bits)
            marks[bit] = 1;
    }
    if (i < triples) markTriples(folded + i, n - i, marks, mask);
}

// Folds `n` bytes as text::Fold does: 32 at a time where all of them lie outside 0x80-0xBF, the range of the
// letters outside the two contiguous blocks.
__attribute__((target("avx2"))) void foldAvx2(const char* in, unsigned char* out, std::size_t n) {
    const __m256i a = _mm256_set1_epi8('a'), z = _mm256_set1_epi8('z');
    const __m256i cyrillic = _mm256_set1_epi8(char(0xE0)), case20 = _mm256_set1_epi8(0x20);
    const __m256i top = _mm256_set1_epi8(char(0xC0)), high = _mm256_set1_epi8(char(0x80));
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        // 0x80-0xBF: the top two bits are 10.
        if (!_mm256_testz_si256(_mm256_cmpeq_epi8(_mm256_and_si256(v, top), high), _mm256_set1_epi8(-1))) {
            for (std::size_t k = i; k < i + 32; ++k)
                out[k] = text::Fold(in[k]);
            continue;
        }
        const __m256i latin = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_max_epu8(v, a), v),
                                               _mm256_cmpeq_epi8(_mm256_min_epu8(v, z), v));
        const __m256i lower = _mm256_or_si256(latin, _mm256_cmpeq_epi8(_mm256_max_epu8(v, cyrillic), v));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_sub_epi8(v, _mm256_and_si256(lower, case20)));
    }
    for (; i < n; ++i)
        out[i] = text::Fold(in[i]);
}

// Asked during static initialisation, so the processor's features are looked up first.
const bool g_avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

} // namespace

std::vector<std::uint64_t> textSignature(std::string_view text) {
    if (text.size() < 3) return {};
    // A bit per byte to start with, then halved (each half folded onto the other, which keeps every bit's
    // place modulo the smaller size) while at most four bits in ten stay set.
    const std::size_t bits =
        std::min<std::size_t>(std::bit_ceil(std::max<std::size_t>(64, text.size())), kMaxSignatureWords * 64);
    thread_local std::vector<std::uint64_t> words;
    words.assign(bits / 64, 0);
    const std::uint32_t mask = std::uint32_t(bits - 1);
    if constexpr (std::endian::native == std::endian::little) {
        // The text folded once, and a byte per bit marked: plain stores that need not wait for one another,
        // where setting bits in words would read each word back. Then eight marks make a byte of a word.
        thread_local std::vector<unsigned char> foldedBuffer;
        thread_local std::vector<std::uint8_t> marksBuffer;
        foldedBuffer.resize(text.size() + 16);
        marksBuffer.assign(bits, 0);
        // Plain pointers: a store through a byte pointer could otherwise change any vector's own pointer.
        unsigned char* const folded = foldedBuffer.data();
        std::uint8_t* const marks = marksBuffer.data();
        const char* const bytes = text.data();
#if defined(__x86_64__) && defined(__GNUC__)
        if (g_avx2) {
            foldAvx2(bytes, folded, text.size());
            markTriplesAvx2(folded, text.size(), marks, mask);
        } else
#endif
        {
            for (std::size_t i = 0; i < text.size(); ++i)
                folded[i] = text::Fold(bytes[i]);
            markTriples(folded, text.size(), marks, mask);
        }
        for (std::size_t w = 0; w < bits / 64; ++w) {
            std::uint64_t word = 0;
            for (std::size_t k = 0; k < 8; ++k) {
                std::uint64_t x;
                std::memcpy(&x, marks + w * 64 + k * 8, 8);
                // Byte j of x, 0 or 1, lands on bit 56 + j; no two products meet, so nothing carries.
                word |= ((x * 0x0102040810204080ull) >> 56) << (8 * k);
            }
            words[w] = word;
        }
    } else {
        forEachTriple(text, [&](std::uint32_t h) {
            const std::uint32_t bit = h & mask;
            words[bit >> 6] |= std::uint64_t(1) << (bit & 63);
        });
    }
    std::size_t size = words.size();
    while (size > 1) {
        const std::size_t half = size / 2;
        std::size_t set = 0;
        for (std::size_t i = 0; i < half; ++i)
            set += size_t(std::popcount(words[i] | words[i + half]));
        if (set * 10 > half * 64 * 4) break;
        for (std::size_t i = 0; i < half; ++i)
            words[i] |= words[i + half];
        size = half;
    }
    return std::vector<std::uint64_t>(words.begin(), words.begin() + std::ptrdiff_t(size));
}

bool signatureMayContain(const std::uint64_t* words, std::size_t count, const TextQuery& query) {
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

// The directory of a store file, mapped rather than read: it is looked at once per search.
// Where a mapped file cannot be replaced (Windows), the directory is copied out of its view and the view
// unmapped at once, so that the store's own file can be written over while the store is in use.
struct TextStore::Loaded {
    platform::MappedView view;
    std::vector<std::uint64_t> copy;
    const std::uint64_t* directory = nullptr;
};

TextStore::TextStore(fs::path file, Options options)
    : m_file(std::move(file)), m_options(options), m_id(++g_storeIds) {
    m_additionsFile = m_file;
    m_additionsFile.replace_extension(".add");
    std::optional<RegularFile> base = openFile(m_file), additions = openFile(m_additionsFile);
    if (base && load(std::move(*base), kWhole, 0, kFromBase)) {
        m_baseEntries = m_entries.size();
        if (additions) load(std::move(*additions), kAdditions, m_generation, kFromAdditions);
    }
    // An open-addressed table of the paths; a later entry of the same path (an addition) replaces the
    // earlier one.
    m_state = std::make_unique<std::atomic<std::uint8_t>[]>(m_entries.size());
    m_slots.assign(std::bit_ceil(std::max<std::size_t>(16, m_entries.size() * 2)), 0);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        std::uint32_t& slot = m_slots[slotOf(m_entries[i].path)];
        if (slot != 0) m_state[slot - 1].store(kSuperseded);
        slot = std::uint32_t(i + 1);
    }
}

std::size_t TextStore::slotOf(std::string_view path) const {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t s = std::size_t(hashBytes(path.data(), path.size())) & mask;; s = (s + 1) & mask)
        if (m_slots[s] == 0 || m_entries[m_slots[s] - 1].path == path) return s;
}

TextStore::~TextStore() {
    m_freshHandle.close();
    if (!m_freshPath.empty()) platform::removeFile(m_freshPath);
}

// A store file to read, when it is one; one that is no regular file, or that the user protected, is left
// alone for the whole run and keeps the store from keeping anything.
std::optional<RegularFile> TextStore::openFile(const fs::path& file) {
    try {
        std::optional<RegularFile> opened = RegularFile::open(file, Links::Follow);
        if (opened && m_problem.empty()) checkReplaceable(file);
        return opened;
    } catch (const std::exception& e) {
        if (m_problem.empty()) m_problem = messageOf(e);
        return std::nullopt;
    }
}

bool TextStore::load(RegularFile file, int kind, std::uint64_t generation, std::uint8_t source) {
    platform::FileHandle fd = file.releaseHandle();
    int err = 0;
    const std::optional<platform::FileStatus> st = platform::statusOf(fd, err);
    const std::uint64_t fileSize = st ? std::uint64_t(st->identity.size) : 0;
    Header h{};
    bool ok = st && fileSize >= kHeaderSize && readWhole(fd, &h, sizeof h, 0) &&
              std::memcmp(h.magic, kMagic, sizeof kMagic) == 0 && h.version == kVersion &&
              h.kind == std::uint32_t(kind) && h.headerHash == headerHash(h) && h.generation != 0 &&
              (kind == int(kWhole) || h.generation == generation) && h.directoryOffset >= kHeaderSize &&
              h.directoryOffset % 8 == 0 && h.directorySize % 8 == 0 &&
              h.directoryOffset + h.directorySize == fileSize && h.entries <= h.directorySize / kEntryFixed;
    auto loaded = std::make_unique<Loaded>();
    if (ok) {
        loaded->view = platform::MappedView::map(fd, h.directoryOffset, std::size_t(h.directorySize));
        ok = loaded->view.valid();
        if (ok && platform::kMappedFilesBlockReplace) {
            loaded->copy.resize(std::size_t(h.directorySize / 8));
            std::memcpy(loaded->copy.data(), loaded->view.data(), std::size_t(h.directorySize));
            loaded->view.unmap();
            loaded->directory = loaded->copy.data();
        } else if (ok) {
            loaded->directory = reinterpret_cast<const std::uint64_t*>(loaded->view.data());
        }
        ok = ok && hashBytes(loaded->directory, h.directorySize) == h.directoryHash;
    }
    // Parsed straight into the entries, and taken back when the file turns out damaged.
    const std::size_t before = m_entries.size();
    if (ok) {
        const auto* bytes = reinterpret_cast<const char*>(loaded->directory);
        std::size_t pos = 0;
        m_entries.reserve(before + h.entries);
        for (std::uint64_t i = 0; ok && i < h.entries; ++i) {
            if (h.directorySize - pos < kEntryFixed) {
                ok = false;
                break;
            }
            Entry e;
            std::uint64_t fixed[9];
            std::memcpy(fixed, bytes + pos, sizeof fixed);
            e.identity = {fixed[0], fixed[1], std::int64_t(fixed[2]), std::int64_t(fixed[3]),
                          std::int64_t(fixed[4])};
            e.offset = fixed[5];
            e.blobSize = std::uint32_t(fixed[6]);
            e.textSize = std::uint32_t(fixed[6] >> 32);
            e.signatureWords = std::uint32_t(fixed[7]);
            const std::uint32_t pathSize = std::uint32_t(fixed[7] >> 32);
            e.blobHash = fixed[8];
            const std::size_t padded = (std::size_t(pathSize) + 7) & ~std::size_t(7);
            const std::size_t need = kEntryFixed + padded + std::size_t(e.signatureWords) * 8;
            ok = need <= h.directorySize - pos && e.signatureWords <= kMaxSignatureWords &&
                 (e.signatureWords == 0 || std::has_single_bit(e.signatureWords)) &&
                 e.offset >= kHeaderSize && e.offset + e.blobSize <= h.directoryOffset;
            if (!ok) break;
            e.path = std::string_view(bytes + pos + kEntryFixed, pathSize);
            e.signature = loaded->directory + (pos + kEntryFixed + padded) / 8;
            e.source = source;
            m_entries.push_back(e);
            pos += need;
        }
        ok = ok && pos == h.directorySize;
    }
    if (!ok) {
        m_entries.resize(before);
        return false;
    }
    (source == kFromBase ? m_baseHandle : m_additionsHandle) = std::move(fd);
    if (kind == int(kWhole)) m_generation = h.generation;
    m_loaded.push_back(std::move(loaded));
    return true;
}

const platform::FileHandle& TextStore::handleOf(std::uint8_t source) const {
    return source == kFromBase ? m_baseHandle : source == kFromAdditions ? m_additionsHandle : m_freshHandle;
}

std::size_t TextStore::find(std::string_view path, const FileIdentity& identity) {
    const std::uint32_t slot = m_slots[slotOf(path)];
    if (slot == 0) return kNone;
    const std::size_t e = slot - 1;
    if (m_entries[e].identity == identity) {
        m_state[e].fetch_or(kSeen, std::memory_order_relaxed);
        return e;
    }
    m_state[e].fetch_or(kStale, std::memory_order_relaxed);
    m_staleFound.store(true, std::memory_order_relaxed);
    return kNone;
}

bool TextStore::still(std::size_t entry, const FileIdentity& identity) {
    if (entry >= m_entries.size() || m_entries[entry].identity != identity ||
        (m_state[entry].load(std::memory_order_relaxed) & kSuperseded))
        return false;
    m_state[entry].fetch_or(kSeen, std::memory_order_relaxed);
    return true;
}

bool TextStore::mayContain(std::size_t entry, const TextQuery& query) const {
    const Entry& e = m_entries[entry];
    return signatureMayContain(e.signature, e.signatureWords, query);
}

bool TextStore::text(std::size_t entry, std::string& out) const {
    const Entry& e = m_entries[entry];
    const char* blob = nullptr;
    thread_local ReadAhead ahead;
    if (ahead.store == m_id && ahead.source == e.source && e.offset >= ahead.start &&
        e.offset + e.blobSize <= ahead.start + ahead.bytes.size()) {
        blob = ahead.bytes.data() + (e.offset - ahead.start);
        ++ahead.served;
    } else if (e.blobSize <= kReadAheadBytes / 2) {
        ahead.size = ahead.served > 1 ? std::min(ahead.size * 2, kReadAheadBytes) : kReadAheadLeast;
        const std::size_t size = std::max<std::size_t>(ahead.size, e.blobSize);
        ahead.store = 0;
        ahead.served = 1;
        ahead.bytes.resize(size);
        const std::int64_t got = platform::readAt(handleOf(e.source), ahead.bytes.data(), size, e.offset);
        if (got < std::int64_t(e.blobSize)) return false;
        ahead.bytes.resize(size_t(got));
        ahead.store = m_id;
        ahead.source = e.source;
        ahead.start = e.offset;
        blob = ahead.bytes.data();
    } else {
        std::string& buffer = compressedBuffer();
        buffer.resize(e.blobSize);
        if (!readWhole(handleOf(e.source), buffer.data(), e.blobSize, e.offset)) return false;
        blob = buffer.data();
    }
    if (hashBytes(blob, e.blobSize) != e.blobHash) return false;
    out.resize(e.textSize);
    return LZ4_decompress_safe(blob, out.data(), int(e.blobSize), int(e.textSize)) == int(e.textSize);
}

void TextStore::add(std::string_view path, const FileIdentity& identity, std::string_view text) {
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    if (identity.changedNs + m_options.settle.count() > now) return;
    if (path.size() > 0xFFFFFFFFu || text.size() > std::size_t(LZ4_MAX_INPUT_SIZE)) return;

    std::string& buffer = compressedBuffer();
    buffer.resize(std::size_t(LZ4_compressBound(int(text.size()))));
    const int compressed = LZ4_compress_fast(text.data(), buffer.data(), int(text.size()), int(buffer.size()),
                                             m_options.acceleration);
    if (compressed <= 0 && !text.empty()) return;
    const std::size_t size = std::size_t(std::max(compressed, 0));
    std::vector<std::uint64_t> signature = textSignature(text);

    std::unique_lock lock(m_mutex);
    if (!keeps() || m_freshFailed) return;
    if (!openFresh()) {
        m_freshFailed = true;
        return;
    }
    Entry e;
    e.path = m_freshPaths.emplace_back(path);
    e.identity = identity;
    e.offset = m_freshEnd;
    e.blobSize = std::uint32_t(size);
    e.blobHash = hashBytes(buffer.data(), size);
    e.textSize = std::uint32_t(text.size());
    e.signature = m_freshSignatures.emplace_back(std::move(signature)).data();
    e.signatureWords = std::uint32_t(m_freshSignatures.back().size());
    e.source = kFromFresh;
    m_fresh.push_back(e);
    m_freshEnd += size;
    // Written in large pieces: one write per text would cost more than compressing it.
    m_pending.append(buffer.data(), size);
    if (m_pending.size() < (4u << 20)) return;
    // Written outside the lock, at the place the texts were given, while other readers go on adding.
    thread_local std::string piece;
    piece.clear();
    piece.swap(m_pending);
    const std::uint64_t offset = m_freshEnd - piece.size();
    const platform::FileHandle& fd = m_freshHandle;
    ++m_writing;
    lock.unlock();
    const bool written = writeAt(fd, piece.data(), piece.size(), offset);
    lock.lock();
    --m_writing;
    // A full disk: what was written goes as soon as no other piece is being written into it, so that the
    // cache never holds space the catalogue needs.
    if (!written) m_freshFailed = true;
    if (m_freshFailed && m_writing == 0) dropFresh();
}

// Closes and removes the new file with every text in it; under m_mutex with no piece being written, or with
// no other thread adding.
void TextStore::dropFresh() {
    m_freshHandle.close();
    if (!m_freshPath.empty()) platform::removeFile(m_freshPath);
    m_freshPath.clear();
    std::string().swap(m_pending);
    m_fresh.clear();
    m_freshPaths.clear();
    m_freshSignatures.clear();
}

bool TextStore::openFresh() {
    if (m_freshHandle) return true;
    m_freshPath = temporaryBeside(m_file);
    int err = 0;
    m_freshHandle = platform::createNew(m_freshPath, err);
    if (!m_freshHandle) {
        m_freshPath.clear();
        return false;
    }
    m_freshEnd = kHeaderSize;
    return true;
}

bool TextStore::flushPending() {
    const bool ok = writeAt(m_freshHandle, m_pending.data(), m_pending.size(), m_freshEnd - m_pending.size());
    m_pending.clear();
    return ok;
}

void TextStore::save(bool walkComplete, std::string_view root) {
    if (!keeps()) return;
    // Nothing read anew and nothing found changed: the files say what they said. (Entries of files that
    // are gone are dropped by the next save that writes.)
    if (m_generation != 0 && m_fresh.empty() && !m_staleFound.load()) return;
    if (!m_pending.empty() && !flushPending()) m_freshFailed = true;
    if (m_freshFailed) {
        dropFresh();
        return;
    }
    // The last text read for a path wins; an older one of the same path is dropped.
    std::unordered_map<std::string_view, std::size_t> freshByPath;
    freshByPath.reserve(m_fresh.size());
    for (std::size_t i = 0; i < m_fresh.size(); ++i)
        freshByPath.insert_or_assign(m_fresh[i].path, i);

    // Paths are the ones the walk found, built on the archive folder's real path.
    auto separator = [](char c) { return c == '/' || c == char(fs::path::preferred_separator); };
    auto inside = [root, separator](std::string_view path) {
        return !root.empty() && path.size() > root.size() && path.starts_with(root) &&
               (separator(path[root.size()]) || separator(root.back()));
    };
    std::vector<bool> keep(m_entries.size());
    std::size_t baseKept = 0, baseDropped = 0, additionsKept = 0, additionsDropped = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        const std::uint8_t state = m_state[i].load();
        bool k = !(state & (kStale | kSuperseded)) && !freshByPath.count(e.path) && inside(e.path);
        if (k && walkComplete && !(state & kSeen)) {
            // No row reached it: kept while its file is there (a row whose title matched reads no file).
            int err = 0;
            k = platform::statusOfKey(std::string(e.path), true, err) || !platform::isMissing(err);
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
        if (freshByPath.at(m_fresh[i].path) == i && inside(m_fresh[i].path)) entries.push_back(&m_fresh[i]);
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
    if (whole) platform::removeFile(m_additionsFile);
}

void TextStore::writeFile(const fs::path& target, int kind, std::uint64_t generation,
                          const std::vector<const Entry*>& entries) {
    if (!openFresh()) return;
    bool ok = !m_freshFailed;
    // Texts of the old files are copied behind the ones read now.
    std::vector<std::uint64_t> offsets(entries.size());
    std::uint64_t directorySize = 0;
    for (std::size_t i = 0; i < entries.size() && ok; ++i) {
        const Entry* e = entries[i];
        offsets[i] = e->offset;
        if (e->source != kFromFresh) {
            offsets[i] = m_freshEnd;
            ok = copyRange(handleOf(e->source), e->offset, m_freshHandle, m_freshEnd, e->blobSize);
            m_freshEnd += e->blobSize;
        }
        directorySize += kEntryFixed + (e->path.size() + 7) / 8 * 8 + std::uint64_t(e->signatureWords) * 8;
    }
    m_freshEnd = (m_freshEnd + 7) & ~std::uint64_t(7); // the signatures are read in place as words

    // The directory goes out in pieces of a buffer used again and again: a buffer of its whole size would
    // cost a page fault per page on top of the copy.
    ByteHash hash(directorySize);
    std::string piece;
    piece.reserve(1u << 20);
    std::uint64_t at = m_freshEnd;
    auto put = [&] {
        hash.add(piece.data(), piece.size());
        ok = ok && writeAt(m_freshHandle, piece.data(), piece.size(), at);
        at += piece.size();
        piece.clear();
    };
    for (std::size_t i = 0; i < entries.size() && ok; ++i) {
        const Entry* e = entries[i];
        const std::uint64_t fixed[9] = {e->identity.device,
                                        e->identity.inode,
                                        std::uint64_t(e->identity.size),
                                        std::uint64_t(e->identity.modifiedNs),
                                        std::uint64_t(e->identity.changedNs),
                                        offsets[i],
                                        e->blobSize | (std::uint64_t(e->textSize) << 32),
                                        e->signatureWords | (std::uint64_t(e->path.size()) << 32),
                                        e->blobHash};
        piece.append(reinterpret_cast<const char*>(fixed), sizeof fixed);
        piece.append(e->path);
        piece.append((8 - e->path.size() % 8) % 8, '\0');
        piece.append(reinterpret_cast<const char*>(e->signature), std::size_t(e->signatureWords) * 8);
        if (piece.size() >= (1u << 20) - (4u << 10)) put();
    }
    put();
    ok = ok && at == m_freshEnd + directorySize;
    Header h{};
    std::memcpy(h.magic, kMagic, sizeof kMagic);
    h.version = kVersion;
    h.kind = std::uint32_t(kind);
    h.generation = generation;
    h.entries = entries.size();
    h.directoryOffset = m_freshEnd;
    h.directorySize = directorySize;
    h.directoryHash = hash.finish();
    h.headerHash = headerHash(h);
    ok = ok && platform::setSize(m_freshHandle, m_freshEnd + directorySize) &&
         writeAt(m_freshHandle, &h, sizeof h, 0);
    // Whatever took the file's place since the store was read (a FIFO, a folder, a protection) is left as
    // it is, like every file of the folder the user made so.
    if (ok) {
        try {
            checkReplaceable(target);
        } catch (const std::exception& e) {
            m_problem = messageOf(e);
            ok = false;
        }
    }
    // Not flushed to disk: after a power loss the checksums find whatever did not reach it, and the texts
    // are read again. A kill cannot tear a rename.
    // The store may hold the file it replaces open, reading the texts it copies from it.
    ok = ok && platform::replaceHeldFile(m_freshPath, target, temporaryBeside(target)) == 0;
    if (ok)
        m_freshPath.clear();
    else
        dropFresh();
}

} // namespace marovex::search
