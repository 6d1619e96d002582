// The contents page parser on arbitrary pages: no crash, no hang, the tables keep their invariants, and a
// page is prepared as the step-by-step form prepares it.
#include "catalogue/catalogue.h"
#include "indexer/pageparser.h"
#include "textops_reference.h"

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace marovex;
    if (size < 1) return 0;
    const int edition = 1 + data[0] % 3;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    // Two pages of one issue: the input split in the middle, so repeated links across pages occur.
    const size_t half = bytes.size() / 2;
    static std::string buffer; // reused from input to input, as a run reuses it from page to page
    if (indexer::preparePage(bytes, buffer) != fuzzref::preparePage(bytes)) std::abort();

    RecordTable articles, topics;
    catalogue::openEmptyArticleTable(articles);
    catalogue::openEmptyTopicTable(topics);
    indexer::PageParser parser(articles, topics);
    parser.parsePreparedPage(edition, " 01", indexer::preparePage(bytes.substr(0, half), buffer));
    parser.parsePreparedPage(edition, " 01", indexer::preparePage(bytes.substr(half), buffer));
    parser.finishRun();

    std::set<std::string> topicNames;
    for (int i = 0; i < topics.rowCount(); ++i) topicNames.insert(topics.rowAt(i).asText(0));
    const int link = articles.field("Link"), tem = articles.field("Tem");
    for (int i = 0; i < articles.rowCount(); ++i) {
        const RowRef r = articles.rowAt(i);
        if (r.asText(link).empty() || !topicNames.count(r.asText(tem))) std::abort();
        if (edition == 2 && !r.asText(tem).empty()) std::abort();
    }
    return 0;
}
