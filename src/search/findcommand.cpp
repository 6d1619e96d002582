#include "search/findcommand.h"

#include "base/cp1251.h"
#include "base/textops.h"
#include "catalogue/catalogue.h"
#include "search/history.h"

#include <exception>

namespace marovex::search {

FindScope scopeFromItem(int item) {
    return item == 0 ? FindScope::Titles : item == 1 ? FindScope::TitlesAndTexts : FindScope::None;
}

std::string findResultMessage(std::string_view text75, std::string_view text76, int hits) {
    std::string message(text75);
    message += '\r';
    message += text76;
    message += std::to_string(hits);
    return message;
}

namespace {

// Suspends the table's display notifications and disconnects the grid for as long as it lives.
class DetachedGrid {
public:
    DetachedGrid(RecordTable& table, const std::function<void(bool)>& hook) : m_table(table), m_hook(hook) {
        if (m_hook) m_hook(true);
        m_table.disableControls();
    }
    ~DetachedGrid() {
        m_table.enableControls();
        if (m_hook) m_hook(false);
    }
    DetachedGrid(const DetachedGrid&) = delete;
    DetachedGrid& operator=(const DetachedGrid&) = delete;

private:
    RecordTable& m_table;
    const std::function<void(bool)>& m_hook;
};

void dropPendingEdit(RecordTable& table) noexcept {
    try {
        if (table.state() == RecordTable::State::Edit) table.cancel();
    } catch (...) {
    }
}

} // namespace

FindOutcome runSearch(RecordTable& articles, std::vector<std::string>& history, std::string& rememberedText,
                      const FindRequest& request, const FindHooks& hooks) {
    FindOutcome outcome;
    if (request.boxText.empty()) return outcome;
    outcome.ran = true;
    // What the code page of the history, the settings and the pages cannot hold becomes "?" here, so that
    // the box, the history and the match all see the same text.
    outcome.text = text::CollapseSpaces(cp1251::toUtf8(cp1251::fromUtf8(request.boxText)));
    if (hooks.setBoxText) hooks.setBoxText(outcome.text);
    rememberedText = outcome.text;
    rememberSearch(history, outcome.text);

    std::exception_ptr failure;
    Message workerError;
    bool endedOnMark = false;
    {
        DetachedGrid detached(articles, hooks.detachGrid);
        const std::string sortKeys = articles.sortKeys();
        const bool wasFiltered = articles.filtered();
        try {
            articles.setSortKeys(catalogue::kNaturalOrder);
            articles.setFiltered(false);
            articles.first();
            if (request.scope == FindScope::Titles) {
                const int findField = articles.field("Find"), titleField = articles.field("Statia");
                TitleMatcher matcher(Cp1251Text::fromUtf8(outcome.text), request.options);
                while (!articles.eof()) {
                    // `MatchTitle`, reading the stored row in place rather than copying it out. A mark that
                    // already holds the new value is left alone: the same data without an edit per row.
                    const RowRef row = articles.rowAt(articles.position());
                    const bool hit = matcher.matchesStored(row.storedText(titleField));
                    outcome.hits += hit;
                    const int mark = hit ? catalogue::kFound : 0;
                    if (row.isNull(findField) || row.asInt(findField) != mark) {
                        articles.edit();
                        articles.setInt(findField, mark);
                    }
                    articles.next();
                }
            } else if (request.scope == FindScope::TitlesAndTexts) {
                FullTextJob job;
                job.text = outcome.text;
                job.options = request.options;
                job.archiveFolder = request.archiveFolder;
                job.prefixes = request.prefixes;
                job.cache = request.cache;
                FullTextResult result;
                if (hooks.runFullText) {
                    result = hooks.runFullText(job);
                } else {
                    std::atomic<bool> stop{false};
                    result = runFullTextSearch(articles, job, stop, {});
                }
                outcome.hits = result.hits;
                outcome.stopped = result.stopped;
                outcome.unreadableMessage = unreadableFilesMessage(result);
                outcome.storeMessage = result.storeProblem;
                workerError = result.error;
            }
            if (articles.state() == RecordTable::State::Edit) articles.post();
        } catch (...) {
            failure = std::current_exception();
            dropPendingEdit(articles);
        }
        try {
            endedOnMark = !articles.isEmpty() && articles.asInt("Find") < 0;
        } catch (...) {
        }
        // Put back what the user had, also after an error: the window must come back as it was.
        try {
            articles.setSortKeys(sortKeys);
            articles.setFiltered(wasFiltered);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
        // The found rows are listed first, but the walk ends on the last row of the natural order: the
        // first found row of the view becomes current, so the grid shows the hits.
        try {
            if (!failure && outcome.hits > 0)
                articles.locate("Find", {FieldValue(std::int32_t(catalogue::kFound))});
        } catch (...) {
            failure = std::current_exception();
        }
    }
    outcome.clearEnabled = outcome.hits > 0 || endedOnMark;
    if (hooks.setClearEnabled) hooks.setClearEnabled(outcome.clearEnabled);
    if (failure) std::rethrow_exception(failure);
    if (!workerError.empty()) throw SearchFailed(workerError, outcome);
    if (hooks.showResult) hooks.showResult(outcome.hits, outcome.stopped);
    for (const Message* problem : {&outcome.unreadableMessage, &outcome.storeMessage})
        if (hooks.showProblem && !problem->empty()) hooks.showProblem(*problem);
    return outcome;
}

bool clearSearchMarks(RecordTable& articles, std::string& rememberedText, const ClearHooks& hooks) {
    Bookmark mark;
    if (!articles.isEmpty()) mark = articles.bookmark();
    const bool wasFiltered = articles.filtered();
    if (wasFiltered) articles.setFiltered(false);

    bool cleared = false;
    std::exception_ptr failure;
    try {
        if (articles.locate("Find", {FieldValue(std::int32_t(catalogue::kFound))})) {
            DetachedGrid detached(articles, hooks.detachGrid);
            const std::string sortKeys = articles.sortKeys();
            // One pass in natural order instead of locating the next mark from the top each time: the same
            // marks end up cleared without a walk per row.
            try {
                articles.setSortKeys(catalogue::kNaturalOrder);
                const int findField = articles.field("Find");
                for (articles.first(); !articles.eof(); articles.next()) {
                    if (articles.asInt(findField) != catalogue::kFound) continue;
                    articles.edit();
                    articles.setInt(findField, 0);
                }
                if (articles.state() == RecordTable::State::Edit) articles.post();
            } catch (...) {
                failure = std::current_exception();
                dropPendingEdit(articles);
            }
            articles.setSortKeys(sortKeys);
            if (!failure) {
                cleared = true;
                if (hooks.setClearEnabled) hooks.setClearEnabled(false);
                rememberedText.clear();
            }
        }
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (wasFiltered) articles.setFiltered(true);
    if (!mark.isNull() && articles.bookmarkValid(mark)) articles.gotoBookmark(mark);
    if (failure) std::rethrow_exception(failure);
    return cleared;
}

} // namespace marovex::search
