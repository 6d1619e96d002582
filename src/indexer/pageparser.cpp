#include "indexer/pageparser.h"

#include "catalogue/catalogue.h"
#include "catalogue/collation.h"
#include "base/cp1251.h"
#include "base/textops.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace marovex::indexer {

using text::Pos;

namespace {

// 1-based access to the remaining text.
inline unsigned char at(std::string_view t, Pos p) { return static_cast<unsigned char>(t[size_t(p - 1)]); }

Pos findLink(std::string_view t) { return text::FindFolded(kLinkMarker, t, 1); }

// "<b" followed by ">" or a space, ignoring case: a bold tag, not <br> or <body>.
Pos findHeading(std::string_view t, Pos start = 1) {
    const Pos len = Pos(t.size());
    for (Pos p = text::FindFolded("<b", t, start); p != 0; p = text::FindFolded("<b", t, p + 1)) {
        if (p + 2 <= len && (at(t, p + 2) == '>' || at(t, p + 2) == ' ')) return p;
    }
    return 0;
}

// First '<' at or after start that begins "</a" or "<a" (lower-case a); 0 if none.
Pos findAnchorTag(std::string_view t, Pos start) {
    const Pos len = Pos(t.size());
    for (Pos p = start; p <= len; ++p) {
        const auto* hit = static_cast<const char*>(std::memchr(t.data() + (p - 1), '<', size_t(len - p + 1)));
        if (!hit) return 0;
        p = Pos(hit - t.data()) + 1;
        if (p + 1 <= len && at(t, p + 1) == 'a') return p;
        if (p + 2 <= len && at(t, p + 1) == '/' && at(t, p + 2) == 'a') return p;
    }
    return 0;
}

Pos findByte(std::string_view t, char c, Pos start, Pos last) {
    if (start < 1) start = 1;
    if (start > last) return 0;
    const auto* hit = static_cast<const char*>(std::memchr(t.data() + (start - 1), c, size_t(last - start + 1)));
    return hit ? Pos(hit - t.data()) + 1 : 0;
}

// Skips the bytes up to 0x20 from p on; returns the first position past them (len + 1 at the end).
Pos skipBlanks(std::string_view t, Pos p) {
    const Pos len = Pos(t.size());
    while (p <= len && at(t, p) <= 0x20) ++p;
    return p;
}

std::string trimBlanks(std::string s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
    return s.substr(b, e - b);
}

// The text a title cell shows: tags blanked, entities decoded, whitespace compacted.
std::string prepareTitle(std::string title) {
    text::BlankMarkedRanges(title, "<", ">");
    text::DecodeEntities(title);
    text::CollapseSpacesInPlace(title);
    return title;
}

std::string foldedKey(int edition, std::string_view number, std::string_view link) {
    std::string key = issueKey(edition, number);
    key += '\x01';
    const size_t from = key.size();
    key += link;
    for (size_t i = from; i < key.size(); ++i) key[i] = static_cast<char>(text::Fold(key[i]));
    return key;
}

} // namespace

std::string issueKey(int edition, std::string_view number) {
    std::string key(1, static_cast<char>('0' + edition));
    key += number;
    return key;
}

namespace {

// Whether the byte at i is a line break that stands alone (a CR without an LF after it, an LF without a CR
// before it): it becomes a whole CR LF, so it takes two bytes. A CR LF pair takes its own two.
inline bool loneBreak(const unsigned char* s, size_t n, size_t i) {
    if (s[i] == '\r') return i + 1 == n || s[i + 1] != '\n';
    if (s[i] == '\n') return i == 0 || s[i - 1] != '\r';
    return false;
}

// One byte of the page as the parser sees it, at out; returns the bytes written. A line break made CR LF
// and control characters made spaces is two spaces; every other control character one space.
inline size_t prepareByte(const unsigned char* s, size_t n, size_t i, char* out) {
    if (loneBreak(s, n, i)) {
        out[0] = out[1] = ' ';
        return 2;
    }
    out[0] = s[i] < 0x1E ? ' ' : char(s[i]);
    return 1;
}

} // namespace

std::string_view preparePage(std::string_view bytes, std::string& buffer) {
    if (const void* nul = std::memchr(bytes.data(), 0, bytes.size()))
        bytes = bytes.substr(0, size_t(static_cast<const char*>(nul) - bytes.data()));
    const size_t n = bytes.size();
    if (n == 0) return {};
    // At most two bytes for each one, and two for the line break after the last line. The buffer only
    // grows, so that a run prepares every page in the same memory without clearing it first.
    if (buffer.size() < 2 * n + 2) buffer.resize(2 * n + 2);
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    char* out = buffer.data();
    size_t w = 0, i = 0;
#if defined(__GNUC__)
    // Sixteen bytes at a time: copied as they are when none is a control character, with the control
    // characters blanked when no line break among them stands alone; byte by byte only otherwise. The
    // first block and the last ones go byte by byte, so that the bytes before and after are at hand.
    using Bytes = unsigned char __attribute__((vector_size(16)));
    auto splat = [](unsigned char c) {
        Bytes v;
        std::memset(&v, c, sizeof v);
        return v;
    };
    auto any = [](auto mask) {
        std::uint64_t halves[2];
        std::memcpy(halves, &mask, sizeof halves);
        return (halves[0] | halves[1]) != 0;
    };
    const Bytes firstKept = splat(0x1E), cr = splat('\r'), lf = splat('\n'), space = splat(' ');
    for (; i < 16 && i < n; ++i)
        w += prepareByte(s, n, i, out + w);
    for (; i + 17 <= n; i += 16) {
        Bytes v, before, after;
        std::memcpy(&v, s + i, sizeof v);
        const auto control = v < firstKept;
        if (!any(control)) {
            std::memcpy(out + w, &v, sizeof v);
            w += 16;
            continue;
        }
        std::memcpy(&before, s + i - 1, sizeof before);
        std::memcpy(&after, s + i + 1, sizeof after);
        const auto lone = ((v == lf) & (before != cr)) | ((v == cr) & (after != lf));
        if (!any(lone)) {
            const Bytes blanked = (v & ~Bytes(control)) | (space & Bytes(control));
            std::memcpy(out + w, &blanked, sizeof blanked);
            w += 16;
            continue;
        }
        for (size_t k = i; k < i + 16; ++k)
            w += prepareByte(s, n, k, out + w);
    }
#endif
    for (; i < n; ++i)
        w += prepareByte(s, n, i, out + w);
    // Every line, the last one too, ends with a line break.
    if (s[n - 1] != '\r' && s[n - 1] != '\n') {
        out[w++] = ' ';
        out[w++] = ' ';
    }
    return std::string_view(out, w);
}

std::string preparePage(std::string_view bytes) {
    std::string buffer;
    return std::string(preparePage(bytes, buffer));
}

PageParser::PageParser(RecordTable& articles, RecordTable& topics)
    : m_articles(articles), m_topics(topics), m_fType(articles.field("Type")), m_fNumber(articles.field("Number")),
      m_fTem(articles.field("Tem")), m_fStatia(articles.field("Statia")), m_fLink(articles.field("Link")),
      m_fNpp(articles.field("Npp")), m_fKod(articles.field("Kod")), m_fIzb1(articles.field("Izb1")),
      m_fFind(articles.field("Find")) {}

void PageParser::clearTablesForFullRun() {
    m_articles.emptyTable();
    m_topics.emptyTable();
    m_issues.clear();
    m_links.clear();
    m_linkIssue.clear();
    m_linkIssueListed = false;
    m_issueIndexBuilt = true;
}

void PageParser::buildIssueIndex() {
    m_issues.clear();
    m_articles.post();
    const int rows = m_articles.rowCount();
    for (int i = 0; i < rows; ++i) {
        const RowRef r = m_articles.rowAt(i);
        m_issues.insert(issueKey(r.asInt(m_fType), cp1251::fromUtf8(r.storedText(m_fNumber))));
    }
    m_issueIndexBuilt = true;
}

bool PageParser::issueIndexed(int edition, const std::string& number) {
    if (!m_issueIndexBuilt) buildIssueIndex();
    return m_issues.count(issueKey(edition, number)) != 0;
}

void PageParser::readNextTopic(Page& page, Pos linkPos) {
    const std::string_view t = page.rest();
    const Pos len = Pos(t.size());
    const Pos h = findHeading(t);
    if (h == 0) {
        m_bound = 0;
        return;
    }
    // Scan the tags after the heading's "<" for the first text that is not a tag.
    std::optional<std::pair<Pos, Pos>> topic; // start, end (exclusive)
    Pos p = len + 1;
    for (Pos g = findByte(t, '>', h + 1, len); g != 0; g = findByte(t, '>', p, len)) {
        p = skipBlanks(t, g + 1);
        if (p > len) break;
        if ((p + 2 <= len && at(t, p) == '<' && at(t, p + 1) == '/' && at(t, p + 2) == 'b') ||
            (p + 1 <= len && at(t, p) == '<' && at(t, p + 1) == 'a')) {
            topic = {p, p};
            break;
        }
        if (at(t, p) != '<') {
            const Pos lt = findByte(t, '<', p, len);
            topic = {p, lt ? lt : len + 1};
            break;
        }
    }
    if (!topic) p = len + 1;

    if (topic && p < len && linkPos > p) {
        m_topic.assign(t.substr(size_t(topic->first - 1), size_t(topic->second - topic->first)));
        if (m_topic.size() > kTopicCapacity) m_topic.resize(kTopicCapacity);
        page.cut(topic->second - 1);
        m_bound = findHeading(page.rest());
    } else {
        m_topic.clear();
        m_bound = p >= len ? 0 : text::FindFolded("<b", t, p);
    }
}

void PageParser::updateTopic(Page& page, Pos& linkPos) {
    // Each pass either cuts the text or ends with the bound behind the link or at 0, so this terminates;
    // the cap is a guard only.
    for (size_t guard = page.rest().size() + 2; guard > 0 && m_bound > 0 && linkPos > m_bound; --guard) {
        readNextTopic(page, linkPos);
        linkPos = findLink(page.rest());
    }
}

Pos PageParser::processLink(Page& page, Pos linkPos, int edition, const std::string& number) {
    const std::string_view t = page.rest();
    const Pos len = Pos(t.size());
    const Pos a = linkPos + Pos(kLinkMarker.size());
    const Pos q = findByte(t, '"', a, len - 1);
    if (q == 0) return len + 1; // no closing quote: the rest of the page is ignored

    std::string link(t.substr(size_t(a - 1), size_t(q - a)));
    text::DecodeEntities(link);
    const bool dropped = link.empty() || static_cast<unsigned char>(link[0]) < 0x20 ||
                         (link.size() >= 3 && link[1] == '>' && link[2] == 'p');
    // The table keeps the link cut to its width; repeats are found by what it keeps.
    std::string stored = link.substr(0, size_t(catalogue::kLinkWidth));
    std::string key = foldedKey(edition, number, link);
    const auto earlier = dropped ? m_links.end() : m_links.find(key);
    const bool repeated = earlier != m_links.end();

    // Title: the first text after the closing quote that follows the end of a tag and is not a tag.
    std::optional<std::string> title;
    Pos cut = len + 1;
    for (Pos g = findByte(t, '>', q, len); g != 0;) {
        const Pos p = skipBlanks(t, g + 1);
        if (p > len) break;
        if (at(t, p) != '<') {
            const Pos end = findAnchorTag(t, p);
            title = prepareTitle(std::string(t.substr(size_t(p - 1), size_t((end ? end : len + 1) - p))));
            cut = end ? end + 1 : len + 1;
            break;
        }
        g = findByte(t, '>', p, len);
    }

    if (!dropped && !repeated) {
        m_articles.append();
        m_articles.setInt(m_fKod, 0);
        m_articles.setInt(m_fIzb1, 0);
        m_articles.setInt(m_fType, edition);
        // The issue number and the topic stay the same for many rows: converted once for all of them.
        if (number != m_numberSource) {
            m_numberSource = number;
            m_numberUtf8 = cp1251::toUtf8(number);
        }
        if (m_topic != m_temSource) {
            m_temSource = m_topic;
            std::string tem = m_topic;
            text::DecodeEntities(tem);
            m_temUtf8 = cp1251::toUtf8(trimBlanks(std::move(tem)));
        }
        m_articles.setText(m_fNumber, m_numberUtf8);
        m_articles.setText(m_fTem, m_temUtf8);
        if (title) m_articles.setText(m_fStatia, cp1251::toUtf8(*title));
        m_articles.setInt(m_fFind, 0);
        m_articles.setText(m_fLink, cp1251::toUtf8(stored));
        m_articles.setInt(m_fNpp, m_counter);
        m_articles.post();
        ++m_added;
        if (!m_linkIssueListed) {
            m_issues.insert(m_linkIssue);
            m_linkIssueListed = true;
        }
        // The key of what the table keeps: the link itself unless it was cut.
        m_links.emplace(stored.size() == link.size() ? std::move(key) : foldedKey(edition, number, stored),
                        m_articles.bookmark());
    } else if (repeated && title && m_articles.gotoBookmark(earlier->second) && m_articles.edit()) {
        m_articles.setText(m_fStatia, m_articles.asText(m_fStatia) + " " + cp1251::toUtf8(*title));
        m_articles.post();
    }
    // Dropped and repeated links use up their sequence number too; the counter wraps as a 16-bit number.
    m_counter = static_cast<std::int16_t>(static_cast<std::uint16_t>(m_counter) + 1u);
    return cut;
}

void PageParser::parsePreparedPage(int edition, const std::string& number, std::string_view prepared) {
    if (!m_issueIndexBuilt) buildIssueIndex();
    // Repeats are looked for within one issue only, and an issue's pages come one after the other, so
    // the link index holds one issue at a time and stays small.
    if (std::string issue = issueKey(edition, number); issue != m_linkIssue) {
        m_links.clear();
        m_linkIssue = std::move(issue);
        m_linkIssueListed = false;
    }
    Page page;
    page.text = prepared;
    const bool headings = edition != 2;
    if (!headings) {
        m_topic.clear();
        m_bound = 0;
    } else {
        const Pos marker = text::FindExact(kContentsMarker, page.text, 1);
        page.cut(marker ? marker + Pos(kContentsMarker.size()) : Pos(kContentsMarker.size()));
        readNextTopic(page, findLink(page.rest()));
    }

    Pos link = findLink(page.rest());
    if (headings) updateTopic(page, link);
    m_counter = 0;
    while (link != 0) {
        const Pos cut = processLink(page, link, edition, number);
        page.cut(cut - 1);
        m_bound -= cut - 1;
        link = findLink(page.rest());
        if (headings) updateTopic(page, link);
    }
}

void PageParser::finishRun() {
    m_articles.post();
    m_topics.post();
    const int tem = m_articles.field("Tem");
    const int topicTem = m_topics.field("Tem");

    // The article topics in topic order, each once. Walking the whole table sorted by topic gives the
    // same sequence of new topics; collecting the distinct ones first keeps this linear in the rows.
    m_articles.setSortKeys(catalogue::kNaturalOrder);
    // Keyed by the stored text, which the table keeps in place meanwhile: only the distinct topics are
    // converted.
    std::unordered_map<std::string_view, size_t> firstSeen;
    std::vector<std::string> distinct;
    const int rows = m_articles.rowCount();
    std::string_view previous;
    for (int i = 0; i < rows; ++i) {
        // Rows of one topic come in runs: only a change of topic needs a look-up.
        const std::string_view value = m_articles.rowAt(i).storedText(tem);
        if (i > 0 && value == previous) continue;
        previous = value;
        if (firstSeen.emplace(value, distinct.size()).second) distinct.push_back(cp1251::fromUtf8(value));
    }
    const Collation collation;
    std::vector<std::pair<std::string, size_t>> ordered; // collation key, first appearance
    for (size_t i = 0; i < distinct.size(); ++i) ordered.emplace_back(collation.keyCp1251(distinct[i]), i);
    std::sort(ordered.begin(), ordered.end());

    std::unordered_set<std::string> known; // topics already in the topic table, as its bytes
    for (int i = 0; i < m_topics.rowCount(); ++i) known.emplace(m_topics.rowAt(i).storedText(topicTem));
    auto addTopic = [&](const std::string& bytes) {
        m_topics.append();
        m_topics.setText(topicTem, cp1251::toUtf8(bytes));
        m_topics.setBool("Key", true);
        m_topics.post();
        known.insert(bytes.substr(0, size_t(catalogue::kTopicWidth)));
    };
    // An empty topic table first gets the topic of the first article in topic order.
    if (m_topics.rowCount() == 0) addTopic(ordered.empty() ? std::string() : distinct[ordered.front().second]);
    for (const auto& [key, index] : ordered)
        if (!known.count(distinct[index])) addTopic(distinct[index]);

    m_topics.setSortKeys(catalogue::kTopicTableOrder);
    m_articles.setSortKeys(catalogue::kIndexedOrder);
    m_articles.first();
}

} // namespace marovex::indexer
