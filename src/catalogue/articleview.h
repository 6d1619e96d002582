#pragma once

#include "catalogue/recordtable.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

// How the user shapes the article view: sort orders chosen by the grid's title buttons, the topic filter,
// favourites and the carrying of the current row across a change of the view. The window calls these and
// shows their results.
namespace marovex::catalogue {

// Sort column names, as the settings key "state_index" keeps them.
inline constexpr std::string_view kSortStandard = "Type";
inline constexpr std::string_view kSortFavourites = "Izb";

// The sort column a title button of this field chooses: "Type" for Type and Number, the field itself for
// Izb, Tem and Statia; empty for a field that sorts nothing.
std::string sortColumnForField(std::string_view field);

// The sort key list of a sort column name ("Izb", "Tem", "Statia", anything else the standard order).
std::string sortKeysForColumn(std::string_view sortColumn);

// Runs `change` (a new order or filter) so that the current row stays current when the new view shows it:
// the row is marked with Kod 1, the mark is located afterwards and cleared, also when the new view hides
// the row. No row keeps the mark, whatever happens in between.
void carryCurrentRow(RecordTable& articles, const std::function<void()>& change);

// Izb1 := Izb (an empty Izb reads as 0) on every row of the current view, walked in natural order.
void takeFavouritesSnapshot(RecordTable& articles);

// A title button click: the favourites snapshot for Izb, then the field's order, carrying the current row.
// Returns the new sort column name; a field that sorts nothing changes nothing and returns empty.
std::string sortByTitle(RecordTable& articles, std::string_view field);

// The order the start-up restores for a stored sort column name (exact letter case; the favourites order
// takes the stored snapshot). Returns the sort column name kept.
std::string restoreSortColumn(RecordTable& articles, std::string_view sortColumn);

// Toggles the current row's favourite mark (-1 <-> 0) in place. false on an empty view.
bool toggleFavourite(RecordTable& articles);

// The topic filter: an article is shown while the topic row whose Tem equals its Tem has Key true.
class TopicFilter {
public:
    // `articleTem`: the Tem field of the article table the filter serves.
    TopicFilter(const RecordTable& topics, int articleTem) : m_topics(topics), m_articleTem(articleTem) {}
    // Whether the article is shown: the topic row of its Tem has Key true.
    bool accepts(const RowRef& article) const;
    // The topic table changed: the next evaluation reads it again.
    void invalidate() { m_valid = false; }

private:
    const RecordTable& m_topics;
    int m_articleTem;
    mutable std::unordered_map<std::string, bool> m_keys; // topic (UTF-8) -> Key of its first row
    mutable bool m_valid = false;
};

// Installs the topic filter as the article table's filter predicate. The returned object stays valid as
// long as the article table uses it.
std::shared_ptr<TopicFilter> bindTopicFilter(RecordTable& articles, const RecordTable& topics);

// Switches the article filter on or off; the view is evaluated afresh.
void switchFilter(RecordTable& articles, TopicFilter& filter, bool on);

// The filter button (force false) and the re-application after the settings dialog (force true): with
// display updates suspended and the current row carried, the filter is inverted (force: first set off, so
// it ends on and every row is evaluated afresh). Returns whether the filter is now on.
bool filterGo(RecordTable& articles, TopicFilter& filter, bool force);

// Inverts the current topic row's Key (double click or Space in the topic grid). When the article filter
// is on it is switched off and on again, evaluating every row afresh (the current row is not carried);
// returns whether that happened.
bool toggleTopic(RecordTable& topics, RecordTable& articles, TopicFilter& filter);

} // namespace marovex::catalogue
