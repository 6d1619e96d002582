#pragma once

#include "app/language.h"
#include "app/settings.h"
#include "app/windowstate.h"
#include "base/applock.h"
#include "catalogue/articleview.h"
#include "catalogue/catalogue.h"
#include "catalogue/recordtable.h"
#include "search/fulltextcache.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace marovex {

// Something start-up has to tell the user, in the order it came up.
struct Notice {
    enum class Kind { Information, Error };
    Kind kind = Kind::Information;
    Message message;
};

// What start-up did, for the window to show. A step that did not run leaves its member empty; a step cut
// short by an error is followed by that error as the last notice.
struct Startup {
    std::vector<Notice> notices;
    // Both catalogue files are open, and the grids may show the tables.
    bool catalogueOpen = false;
    std::optional<PaneStart> pane;
    std::optional<SettingsEffects> settings;
    // The interface texts of the language file, for the window's components of those names.
    std::vector<TextAssignment> texts;
    // The window's stored state; the sort order and filter it keeps are already applied to the tables.
    std::optional<WindowState> state;
    std::optional<std::string> sortColumn; // the sort column kept after restoring the order
    bool filterRestored = false;           // the topic filter came back on
    // The search box's history list, when the file was there.
    std::optional<std::vector<std::string>> history;
    bool searchResultsEnd = false; // rows still carry marks of a search: clearing them is offered
    bool selectFirstHistoryEntry = false;
};

// What the window holds at the close and the session writes for the next run.
struct Closing {
    WindowState state;
    std::vector<std::string> history;
};

// The main window's data and the two ends of a run: start-up (`startUp`) and shutdown (`shutDown`).
// Owns the article and topic tables for as long as the main window lives.
class MainSession {
public:
    // `tableReports` hears what the article table reports while it is open (a store it refused).
    explicit MainSession(std::filesystem::path appDir, catalogue::MessageSink tableReports = {});
    ~MainSession();

    const std::filesystem::path& appDir() const { return m_appDir; }
    RecordTable& articles() { return m_articles; }
    RecordTable& topics() { return m_topics; }
    // Kept for the window's whole run: full-text searches after the first look only at files that changed.
    search::FullTextCache& fullTextCache() { return m_fullTextCache; }

    // A catalogue file could not be taken in, or another program writes the folder: the run ends.
    bool startupFailed() const { return m_startupFailed; }
    // The same as a number, the window's tag: -1 after a failed start, 0 otherwise.
    int failureMark() const { return m_startupFailed ? -1 : 0; }

    // The settings record, the message texts of the language file and the archive folder.
    SettingsRecord ini;
    MessageTexts messages;
    std::string archiveFolder;

    // The article table's topic filter, bound to the two tables once they are open.
    catalogue::TopicFilter& topicFilter();

    // Start-up. The application folder's lock is taken first and held until the session ends; a folder that
    // another program writes is reported and ends the run like a missing catalogue file.
    Startup startUp();
    // What a close did: the error that keeps the window open (a file that could not be written, named), or
    // what to tell before the run ends.
    struct Closed {
        std::optional<Message> error;
        std::vector<Message> notes; // a settings or history file the user write-protected, left as it is
    };
    // Writes, when start-up read them, the window's state and the history, then the tables.
    Closed shutDown(const Closing& closing);
    // Writes the topic table back when it changed and was not written with the article table at close.
    // Returns an error text, empty on success.
    Message closeTopicTable();

private:
    bool openCatalogueFile(Startup& out, const std::filesystem::path& file, bool articles);
    bool lockFolder(Startup& out);
    void restoreWindowState(Startup& out);

    std::filesystem::path m_appDir;
    RecordTable m_articles;
    RecordTable m_topics;
    // Declared before the cache, so that the cache's last save happens while the folder is still locked.
    AppFolderLock m_lock;
    search::FullTextCache m_fullTextCache;
    catalogue::MessageSink m_tableReports;
    std::shared_ptr<catalogue::TopicFilter> m_topicFilter;
    bool m_startupFailed = false;
    // Start-up steps that ran to their end. A step cut short by an error leaves the user's state unread,
    // and shutdown must not write the window's built-in state over it.
    bool m_stateRestored = false;
    bool m_historyLoaded = false;
    bool m_positionRestored = false;
    bool m_positionRemembered = false;
    Bookmark m_rememberedRow; // the row marked at a close whose write then failed is unmarked again
};

// The row current at a close is remembered in the catalogue by its favourite mark moved up by 5: Izb 5 is
// a remembered row that is no favourite, 4 a remembered favourite.
//
// Step of start-up: the first remembered row that is no favourite, else the first remembered favourite,
// becomes current and gets its mark back. Returns whether a row was found.
bool restoreRememberedPosition(RecordTable& articles);
// Step of shutdown: the current row is remembered.
void rememberPosition(RecordTable& articles);
// Undoes rememberPosition on the current row.
void forgetPosition(RecordTable& articles);

} // namespace marovex
