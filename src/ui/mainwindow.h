#pragma once

#include "app/mainsession.h"
#include "ui/catalogueservice.h"
#include "ui/messenger.h"
#include "ui/opener.h"
#include "ui/settingsdialog.h"
#include "ui/windowplacement.h"

#include <QMainWindow>
#include <QPointer>

#include <atomic>
#include <filesystem>

class QAction;
class QMenu;

namespace marovex {

class ArchivePane;
class ArchiveView;
class ArticleGrid;
class ClientArea;
class HelpWindow;
class IndexingDialog;
class SearchBar;
class StatusBar;
class TopicModel;
class TopicPanel;

// The main window. It composes the search bar, the client area (the article grid, the topic panel and the
// pane) and the status bar, and follows their signals. Creating it takes in the catalogue and the state of
// the last run; closing it writes them back. It owns the catalogue service (the session with its tables,
// the stop flag shared by the workers, the tables lent to one worker at a time) and follows its signals.
class MainWindow final : public QMainWindow, private SettingsDialogHost {
    Q_OBJECT
public:
    using MessageKind = marovex::MessageKind;
    // Shows a message box; tests replace it to see the messages without blocking.
    using MessagePresenter = marovex::MessagePresenter;
    using ShellOpener = Opener::ShellOpener;

    explicit MainWindow(std::filesystem::path appDir, MessagePresenter presenter = {},
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    MainSession& session() { return m_session; }
    CatalogueService& service() { return m_service; }
    const Messenger& messages() const { return m_messages; }
    // Whether start-up failed (the window then closes as soon as it is shown).
    bool startupFailed() const { return m_session.startupFailed(); }
    void setShellOpener(ShellOpener opener) { m_opener->setShellOpener(std::move(opener)); }
    // The help window, while it is open.
    HelpWindow* helpWindow() const { return m_opener->helpWindow(); }
    StatusBar* statusPanels() const { return m_statusBar; }
    ArticleGrid* articleGrid() const { return m_articleGrid; }

    // One stop flag for indexing and the full-text search; false whenever no worker runs.
    std::atomic<bool>& stopFlag() { return m_service.stopFlag(); }
    bool workerRunning() const { return m_service.isLent(); }

    // The embedded browser's pane shown, its view made the first time (and after a failed making), or
    // hidden with its view kept.
    void switchViewPane(bool on);
    // The embedded browser, null while the pane is off or its view could not be made.
    ArchiveView* webBrowser() const;
    // The topic filter: the filter button (force false) and its re-application after the settings
    // changed (force true), the current row carried.
    void applyTopicFilter(bool force);

public slots:
    void runSearch();
    void clearSearchResults();
    void openIndexingDialog();
    void openSettingsDialog();
    void clearSearchHistory() override;
    void toggleTopicFilter();
    void showAboutDialog();
    // Opens the current row of the article grid as its selected column decides.
    void openCurrentRow();

signals:
    // The indexing dialog made by the indexing command.
    void indexingDialogOpened(marovex::IndexingDialog* dialog);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildActions();
    void buildMenus();
    void buildToolBars();
    void followClientArea();
    void showStartup(const Startup& startup);
    void attachGrids();
    void restoreState(const Startup& startup);
    WindowState currentState() const;
    void waitForWorker();
    // While a worker holds the tables the grids let go of them and the commands that use them are off.
    void setTablesLent(bool lent);
    void showFilterState();
    // The keys go to `target`, also out of the pane's page, which keeps them otherwise.
    void giveFocus(QWidget* target);

    // SettingsDialogHost
    SettingsAccess settingsAccess() override { return SettingsAccess(m_session); }
    GridLook gridLook() override;
    void applyGridLook(const Font& font, Color linkColor, Color findColor, Color tableColor) override;
    void applySettings(const SettingsEffects& effects) override;
    void reapplyTopicFilter() override;
    void applyMainWindowLanguage() override;
    void keepCurrentRow() override;

    CatalogueService m_service;
    MainSession& m_session;
    Messenger m_messages;
    bool m_closeAfterWorker = false;
    bool m_shownOnce = false;
    WindowPlacement m_placement;
    QPointer<IndexingDialog> m_indexingDialog;

    // Commands.
    QAction* m_findAction = nullptr;
    QAction* m_clearResultsAction = nullptr;
    QAction* m_indexAction = nullptr;
    QAction* m_settingsAction = nullptr;
    QAction* m_clearHistoryAction = nullptr;
    QAction* m_topicFilterAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_whatsNewAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_firstRowAction = nullptr;
    QAction* m_lastRowAction = nullptr;
    QAction* m_searchFocusAction = nullptr;
    QAction* m_topicPanelAction = nullptr; // checked while the topic panel is shown

    // Parts.
    SearchBar* m_searchBar = nullptr;
    ClientArea* m_clientArea = nullptr;
    ArticleGrid* m_articleGrid = nullptr;
    TopicPanel* m_topicPanel = nullptr;
    ArchivePane* m_pane = nullptr;
    StatusBar* m_statusBar = nullptr;
    QMenu* m_rowMenu = nullptr;
    TopicModel* m_topicModel = nullptr;
    Opener* m_opener = nullptr;
};

} // namespace marovex
