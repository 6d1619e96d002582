#pragma once

#include "catalogue/recordtable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace marovex::indexer {

// The link marker, the heading marker's start and the contents marker ("Материалы" in Windows-1251).
inline constexpr std::string_view kLinkMarker = "href=\"../pub/";
inline constexpr std::string_view kContentsMarker = "\xcc\xe0\xf2\xe5\xf0\xe8\xe0\xeb\xfb";
inline constexpr size_t kTopicCapacity = 200;

// Page bytes as the parser sees them: cut at the first NUL, every line break made CR LF with one after the
// last line, then every control character turned into a space, so the page is one line. Done in one pass
// into `buffer`, which only grows, so that the pages of a run reuse one piece of memory; the result views
// the buffer.
std::string_view preparePage(std::string_view bytes, std::string& buffer);
std::string preparePage(std::string_view bytes);

// Turns an issue's contents pages into article rows. One parser serves a whole indexing run: it carries the
// current topic from page to page and issue to issue, and keeps the indexes that make each look-up cost
// the same however large the table grows.
class PageParser {
public:
    PageParser(RecordTable& articles, RecordTable& topics);

    // Deletes every article row, then every topic row.
    void clearTablesForFullRun();

    // Whether the article table holds a row of this edition and issue number (Windows-1251 text).
    bool issueIndexed(int edition, const std::string& number);

    // Parses one page of an issue: edition code, issue number (three characters, Windows-1251) and the
    // page as preparePage made it ready.
    void parsePreparedPage(int edition, const std::string& number, std::string_view prepared);

    // Adds the topics that have no row yet and sets the final orders of both tables.
    void finishRun();

    const std::string& currentTopic() const { return m_topic; }
    int rowsAdded() const { return m_added; }

private:
    // The remaining page text: the prepared page from an offset, so that cutting the front costs nothing.
    struct Page {
        std::string_view text;
        size_t offset = 0;
        std::string_view rest() const { return text.substr(offset); }
        // Drops the first n bytes of the remaining text.
        void cut(std::ptrdiff_t n) { offset = std::min(text.size(), offset + size_t(std::max<std::ptrdiff_t>(n, 0))); }
    };

    void readNextTopic(Page& page, std::ptrdiff_t linkPos);
    void updateTopic(Page& page, std::ptrdiff_t& linkPos);
    std::ptrdiff_t processLink(Page& page, std::ptrdiff_t linkPos, int edition, const std::string& number);
    void buildIssueIndex();

    RecordTable& m_articles;
    RecordTable& m_topics;
    int m_fType, m_fNumber, m_fTem, m_fStatia, m_fLink, m_fNpp, m_fKod, m_fIzb1, m_fFind;
    std::string m_topic;          // the current topic, raw bytes
    std::ptrdiff_t m_bound = 0;   // where the next heading starts in the remaining text; 0 or below: none
    std::int16_t m_counter = 0;   // sequence number on the page
    int m_added = 0;

    bool m_issueIndexBuilt = false;
    std::unordered_set<std::string> m_issues;                 // edition + number of every article row
    std::unordered_map<std::string, Bookmark> m_links;        // edition + number + folded link, of one issue
    std::string m_linkIssue;                                  // the issue m_links holds
    bool m_linkIssueListed = false;                           // m_issues holds it
    std::string m_numberSource, m_numberUtf8, m_temSource, m_temUtf8; // last conversions, for reuse
};

// Key of an issue in the look-ups above.
std::string issueKey(int edition, std::string_view number);

} // namespace marovex::indexer
