#pragma once

#include "catalogue/recordtable.h"
#include "search/fulltext.h"
#include "search/titlesearch.h"

#include <array>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The search commands of the main window as plain core code: running a search and clearing its marks.
// The window passes its state in and does the few things only it can do through hooks.
namespace marovex::search {

// What a search looks at, by the index of the chosen scope: 0 titles, 1 titles and texts, any other (none
// chosen) nothing.
enum class FindScope { None, Titles, TitlesAndTexts };
FindScope scopeFromItem(int item);

struct FindRequest {
    std::string boxText; // the search box's text
    FindScope scope = FindScope::Titles;
    SearchOptions options;
    // What the full-text search needs from the settings.
    std::string archiveFolder;
    std::array<std::string, 3> prefixes;
    FullTextCache* cache = nullptr; // FullTextJob::cache
};

struct FindHooks {
    // The compacted text goes back into the search box.
    std::function<void(const std::string& text)> setBoxText;
    // true: disconnect the grid from the table before the walk; false: reconnect it and give it the focus.
    // The table's display notifications are suspended by the command itself.
    std::function<void(bool detach)> detachGrid;
    // Runs the full-text worker on the table and returns once it has ended: the window shows the progress
    // dialog while a thread runs runFullTextSearch. Empty: the worker body runs right here, without reports.
    std::function<FullTextResult(const FullTextJob& job)> runFullText;
    // The result box, with its one button Yes: findResultMessage, or, when the user stopped a full-text
    // walk, a message saying so with the hits found before the stop.
    std::function<void(int hits, bool stopped)> showResult;
    // After the result box, for each thing the full-text walk could not do that did not end it: article
    // files that could not be read (unreadableFilesMessage), then a text store that keeps nothing.
    std::function<void(const Message& message)> showProblem;
    // Whether the found rows can be cleared (marks are left in the table).
    std::function<void(bool enabled)> setClearEnabled;
};

struct FindOutcome {
    bool ran = false; // false: the search box was empty and nothing happened
    std::string text; // the compacted search text
    int hits = 0;
    bool stopped = false; // a full-text walk was stopped before its end
    bool clearEnabled = false;
    Message unreadableMessage; // unreadableFilesMessage of the full-text walk; empty when none
    Message storeMessage;      // FullTextResult::storeProblem
};

// A full-text walk ended by a table error; the table and the window are restored
// before it is raised, and the caller shows its message once.
class SearchFailed : public MessageError {
public:
    SearchFailed(Message message, FindOutcome outcome)
        : MessageError(std::move(message)), m_outcome(std::move(outcome)) {}
    // The search as far as it went: its hits are marked.
    const FindOutcome& outcome() const { return m_outcome; }

private:
    FindOutcome m_outcome;
};

// An empty box text does nothing. Otherwise the text is compacted, put back into the box and remembered in
// `rememberedText`, the history takes it (rememberSearch), and every row is visited once in natural order
// with the filter off: marked -1 on a match, 0 otherwise. The sort key list and the filter are restored,
// the first found row of the view made current after a hit, the result shown, and clearing offered after a
// hit, otherwise when the row the walk ended on still carries a mark. An error of the walk raises after the
// same restoring. Files that could not be read end nothing: their message follows the result.
FindOutcome runSearch(RecordTable& articles, std::vector<std::string>& history, std::string& rememberedText,
                      const FindRequest& request, const FindHooks& hooks);

// The result box's text: interface text 75, CR, interface text 76 (stored with its blank) and the count.
std::string findResultMessage(std::string_view text75, std::string_view text76, int hits);

struct ClearHooks {
    std::function<void(bool detach)> detachGrid; // as FindHooks::detachGrid
    std::function<void(bool enabled)> setClearEnabled;
};

// Every search mark -1 becomes 0 and the remembered text is emptied, with the filter switched
// off meanwhile and the current row kept. When no row carries the mark nothing changes at all, the
// remembered text included. Returns whether marks were cleared.
bool clearSearchMarks(RecordTable& articles, std::string& rememberedText, const ClearHooks& hooks);

} // namespace marovex::search
