#pragma once

#include "app/language.h"
#include "app/settings.h"
#include "base/applock.h"
#include "catalogue/recordtable.h"
#include "search/fulltextcache.h"

#include <filesystem>
#include <string>
#include <vector>

namespace marovex {

// What the main window does for the start-up and shutdown sequences; the window implements it with its
// widgets, tests with plain records.
class MainWindowHooks {
public:
    virtual ~MainWindowHooks() = default;
    // Information box with one OK button showing the message.
    virtual void showInformation(const Message& message) = 0;
    // The general error report: a message box with the error's message.
    virtual void showError(const Message& message) = 0;

    virtual void preparePane() {}
    // What reading the settings switches in the window (pane, grid lines, row indicator).
    virtual SettingsHooks settingsHooks() { return {}; }
    // Puts one interface text onto the window's component of that name.
    virtual void setText(const TextAssignment& /*assignment*/) {}
    virtual void restoreState() {}
    virtual void saveState() {}

    // The history list of the search box; entries are UTF-8.
    virtual void setHistory(const std::vector<std::string>& entries) = 0;
    virtual std::vector<std::string> history() const = 0;
    virtual void selectHistoryEntry(int index) = 0;
    // The end-of-search-results button.
    virtual void setSearchResultsEndEnabled(bool enabled) = 0;
};

// The main window's data and the two ends of a run: start-up (`startUp`) and shutdown (`shutDown`).
// Owns the article and topic tables for as long as the main window lives.
class MainSession {
public:
    explicit MainSession(std::filesystem::path appDir);
    ~MainSession();

    const std::filesystem::path& appDir() const { return m_appDir; }
    RecordTable& articles() { return m_articles; }
    RecordTable& topics() { return m_topics; }
    // Kept for the window's whole run: full-text searches after the first look only at files that changed.
    search::FullTextCache& fullTextCache() { return m_fullTextCache; }

    // Start-up failure mark: -1 after a catalogue file could not be taken in, 0 otherwise.
    int failureMark() const { return m_failureMark; }
    bool startupFailed() const { return m_failureMark == -1; }

    // The settings record, the message texts of the language file and the archive folder.
    SettingsRecord ini;
    MessageTexts messages;
    std::string archiveFolder;

    // Start-up. The application folder's lock is taken first and held until the session ends; a folder that
    // another program writes is reported and ends the run like a missing catalogue file.
    void startUp(MainWindowHooks& hooks);
    // Returns false when the window must stay open (the article table could not be written).
    bool shutDown(MainWindowHooks& hooks);
    // Writes the topic table back when it changed and was not written with the article table at close.
    // Returns an error text, empty on success.
    Message closeTopicTable();

    // "File not found : " + CR + path, shown in an information box; sets the failure mark.
    void reportMissingFile(MainWindowHooks& hooks, const std::string& message,
                           const std::filesystem::path& file);

private:
    bool openCatalogueFile(MainWindowHooks& hooks, const std::filesystem::path& file, bool articles);
    bool lockFolder(MainWindowHooks& hooks);

    std::filesystem::path m_appDir;
    RecordTable m_articles;
    RecordTable m_topics;
    search::FullTextCache m_fullTextCache;
    int m_failureMark = 0;
    // Start-up steps that ran to their end. A step cut short by an error leaves the user's state unread,
    // and shutdown must not write the window's built-in state over it.
    bool m_stateRestored = false;
    bool m_historyLoaded = false;
    bool m_positionRestored = false;
    bool m_positionRemembered = false;
    Bookmark m_rememberedRow; // the row marked at a close whose write then failed is unmarked again
    AppFolderLock m_lock;
};

// Step of start-up: the first row with Izb 5, else the first with Izb 4, becomes current and gets its
// mark back (5 subtracted). Returns whether a row was found.
bool restoreRememberedPosition(RecordTable& articles);
// Step of shutdown: 5 is added to the current row's Izb (4 marks a favourite, 5 a row that is not one).
void rememberPosition(RecordTable& articles);
// Undoes rememberPosition on the current row.
void forgetPosition(RecordTable& articles);

} // namespace marovex
