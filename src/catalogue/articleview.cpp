#include "catalogue/articleview.h"

#include "catalogue/catalogue.h"

namespace marovex::catalogue {

namespace {

constexpr std::int32_t kCarryMark = 1;

// Display updates are suspended for the length of a scope, also when it ends by an error.
class ControlsDisabled {
public:
    explicit ControlsDisabled(RecordTable& table) : m_table(table) { m_table.disableControls(); }
    ~ControlsDisabled() { m_table.enableControls(); }
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;

private:
    RecordTable& m_table;
};

void setKod(RecordTable& articles, std::int32_t value) {
    if (!articles.edit()) return;
    articles.setInt("Kod", value);
    articles.post();
}

// Clears the carry mark of a row that the current view hides: the filter is lifted for the moment (with
// display updates suspended), the row cleared, and the filter and the current row put back.
void clearHiddenMark(RecordTable& articles, const Bookmark& marked) {
    ControlsDisabled quiet(articles);
    const Bookmark current = articles.bookmark();
    articles.setFiltered(false);
    if (articles.gotoBookmark(marked)) setKod(articles, 0);
    articles.setFiltered(true);
    if (!current.isNull()) articles.gotoBookmark(current);
}

} // namespace

std::string sortColumnForField(std::string_view field) {
    if (field == "Type" || field == "Number") return std::string(kSortStandard);
    if (field == "Izb" || field == "Tem" || field == "Statia") return std::string(field);
    return {};
}

std::string sortKeysForColumn(std::string_view sortColumn) {
    if (sortColumn == kSortFavourites) return std::string(kFavouritesOrder);
    if (sortColumn == "Tem" || sortColumn == "Statia") return orderByField(sortColumn);
    return std::string(kStandardOrder);
}

void carryCurrentRow(RecordTable& articles, const std::function<void()>& change) {
    Bookmark marked;
    if (articles.rowCount() > 0) {
        setKod(articles, kCarryMark);
        marked = articles.bookmark();
    }
    // The mark must not outlive the change, even when the change fails.
    auto clearMark = [&] {
        if (marked.isNull()) return;
        if (articles.locate("Kod", {FieldValue{kCarryMark}})) setKod(articles, 0);
        if (articles.bookmarkValid(marked)) {
            const Bookmark current = articles.bookmark();
            if (articles.gotoBookmark(marked)) {
                if (articles.asInt("Kod") != 0) setKod(articles, 0);
                articles.gotoBookmark(current);
            }
        } else if (articles.filtered()) {
            clearHiddenMark(articles, marked);
        }
    };
    try {
        change();
    } catch (...) {
        try {
            articles.cancel();
            clearMark();
        } catch (...) {
        }
        throw;
    }
    clearMark();
}

void takeFavouritesSnapshot(RecordTable& articles) {
    ControlsDisabled quiet(articles);
    articles.setSortKeys(kNaturalOrder);
    const int izb = articles.field("Izb"), izb1 = articles.field("Izb1");
    for (bool more = articles.first(); more; more = articles.next()) {
        const std::int32_t favourite = articles.isNull(izb) ? 0 : articles.asInt(izb);
        if (articles.isNull(izb1) || articles.asInt(izb1) != favourite) {
            if (!articles.edit()) break;
            articles.setInt(izb1, favourite);
        }
    }
    articles.post();
}

std::string sortByTitle(RecordTable& articles, std::string_view field) {
    std::string column = sortColumnForField(field);
    if (column.empty()) return {};
    carryCurrentRow(articles, [&] {
        if (column == kSortFavourites) takeFavouritesSnapshot(articles);
        articles.setSortKeys(sortKeysForColumn(column));
    });
    return column;
}

std::string restoreSortColumn(RecordTable& articles, std::string_view sortColumn) {
    const std::string column = sortColumn == kSortFavourites || sortColumn == "Tem" || sortColumn == "Statia"
                                   ? std::string(sortColumn)
                                   : std::string(kSortStandard);
    articles.setSortKeys(sortKeysForColumn(column));
    return column;
}

bool toggleFavourite(RecordTable& articles) {
    if (articles.rowCount() == 0 || !articles.edit()) return false;
    const bool favourite = !articles.isNull("Izb") && articles.asInt("Izb") == kFavourite;
    articles.setInt("Izb", favourite ? 0 : kFavourite);
    articles.post();
    return true;
}

bool TopicFilter::accepts(const RowRef& article) const {
    if (!m_valid) {
        m_keys.clear();
        const int tem = m_topics.field("Tem"), key = m_topics.field("Key");
        for (int i = 0; i < m_topics.rowCount(); ++i) {
            const RowRef topic = m_topics.rowAt(i);
            m_keys.emplace(topic.asText(tem), !topic.isNull(key) && topic.asBool(key));
        }
        m_valid = true;
    }
    // The article table's Tem is Unicode text held as UTF-8, as the map's keys are.
    const auto it = m_keys.find(std::string(article.storedText(m_articleTem)));
    return it != m_keys.end() && it->second;
}

std::shared_ptr<TopicFilter> bindTopicFilter(RecordTable& articles, const RecordTable& topics) {
    auto filter = std::make_shared<TopicFilter>(topics, articles.field("Tem"));
    articles.setFilterPredicate([filter](const RowRef& row) { return filter->accepts(row); });
    return filter;
}

void switchFilter(RecordTable& articles, TopicFilter& filter, bool on) {
    filter.invalidate();
    articles.setFiltered(on);
}

bool filterGo(RecordTable& articles, TopicFilter& filter, bool force) {
    ControlsDisabled quiet(articles);
    carryCurrentRow(articles, [&] {
        if (force) articles.setFiltered(false);
        switchFilter(articles, filter, !articles.filtered());
    });
    return articles.filtered();
}

bool toggleTopic(RecordTable& topics, RecordTable& articles, TopicFilter& filter) {
    if (topics.rowCount() == 0 || !topics.edit()) return false;
    topics.setBool("Key", topics.isNull("Key") || !topics.asBool("Key"));
    topics.post();
    filter.invalidate();
    if (!articles.filtered()) return false;
    articles.setFiltered(false);
    articles.setFiltered(true);
    return true;
}

} // namespace marovex::catalogue
