#pragma once

#include "app/mainsession.h"
#include "ui/catalogueservice.h"
#include "ui/helpwindow.h"
#include "ui/messagebox.h"
#include "ui/settingsdialog.h"
#include "viewer/opening.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

class QAbstractItemView;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QToolBar;
class QToolButton;

namespace marovex {

class ArticleGridDelegate;
class ArticleModel;
class CatalogueGrid;
class ArchivePane;
class ArchiveView;
class IndexingDialog;
class TopicModel;
namespace catalogue {
class TopicFilter;
}

// The main window. Creating it takes in the catalogue and the state of the last run; closing it writes them
// back. It owns the catalogue service (the session with its tables, the stop flag shared by the workers, the
// tables lent to one worker at a time) and follows its signals.
class MainWindow final : public QMainWindow, private SettingsDialogHost {
    Q_OBJECT
public:
    using MessageKind = marovex::MessageKind;
    // Shows a message box; tests replace it to see the messages without blocking.
    using MessagePresenter = marovex::MessagePresenter;
    // Opens a file with the desktop's default handler, calling `failed` (maybe later) with the reason when
    // the desktop cannot; tests replace it.
    using ShellOpener =
        std::function<void(const QString& file, std::function<void(const Message& reason)> failed)>;

    explicit MainWindow(std::filesystem::path appDir, MessagePresenter presenter = {},
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    MainSession& session() { return m_session; }
    CatalogueService& service() { return m_service; }
    // The start-up failure mark (the window's tag).
    int tag() const { return m_session.failureMark(); }
    void setShellOpener(ShellOpener opener) { m_shellOpener = std::move(opener); }

    // --- Status bar: panels 1 to 3 ---------------------------------------------------------------------
    void setStatusText(int panel, const QString& text);
    QString statusText(int panel) const;

    // --- Shared with the dialogs and workers -------------------------------------------------------------
    // One stop flag for indexing and the full-text search; false whenever no worker runs.
    std::atomic<bool>& stopFlag() { return m_service.stopFlag(); }
    bool workerRunning() const { return m_service.isLent(); }
    // A message in the general error report's box.
    void showErrorMessage(const QString& text);
    // A message of the program's own in the interface language.
    QString messageFor(const Message& message) const;
    void showInformationMessage(const QString& text);
    // A question with the buttons Yes and No over `parent` (a dialog of the window's); whether the user
    // answered Yes.
    bool ask(QWidget* parent, const QString& text);

    // --- Values kept beside the settings ------------------------------------------------------------------
    // The column whose title shows the sort marker ("Type", "Izb", "Tem", "Statia"; empty for none).
    void setSortColumn(const QString& field);
    QString sortColumn() const { return m_sortColumn; }
    // Font and colours of the article grid (colours as the settings file holds them).
    void applyGridLook(const Font& font, Color linkColor, Color findColor, Color tableColor) override;
    Color findColor() const { return m_findColor; }
    Color linkColor() const { return m_linkColor; }
    void setSearchResultsEndEnabled(bool enabled);
    // The embedded browser's pane shown, its view made the first time (and after a failed making), or
    // hidden with its view kept.
    void switchViewPane(bool on);
    // The embedded browser, null while the pane is off or its view could not be made.
    ArchiveView* webBrowser() const;
    ArchivePane* archivePane() const { return m_viewPane; }
    // The height the grid area takes while the pane is shown.
    int upperPanelHeight() const { return m_upperPanelHeight; }
    // The topic filter: the filter button (force false) and its re-application after the settings
    // changed (force true), the current row carried.
    void applyTopicFilter(bool force);
    // Hands a message text over as a window text, "%1"… filled with `args` when there are any.
    QString messageText(int key, std::initializer_list<std::string> args = {}) const;
    // The help window, while it is open.
    HelpWindow* helpWindow() const { return m_helpWindow; }

public slots:
    // Commands.
    void runSearch();
    void clearSearchResults();
    void openIndexingDialog();
    void openSettingsDialog();
    void clearSearchHistory() override;
    void toggleTopicFilter();
    void openHelp();
    void exitApplication();
    void openWhatsNew();
    void showAboutDialog();
    void goToFirstRow();
    void goToLastRow();
    // Gives the search box the focus with its text selected, ready for the next search.
    void focusSearchBox();
    void toggleTopicPanel();
    void filterByTickedTopics();
    void collapseOrExpandTopicPanel();
    // Opens the current row of the article grid as its selected column decides.
    void openCurrentRow();
    void openCurrentRowInMsie();
    void openCurrentRowInOpera();
    void openCurrentRowInDefaultBrowser();

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
    void buildCommandBar();
    void buildClientArea();
    void buildStatusBar();
    void startUp();
    void onFirstShown();
    void attachGrids();

    // Handlers of the article grid.
    void onArticleGridPressed(Qt::MouseButton button);
    void onArticleCellClicked();
    void onArticleGridDoubleClicked();
    void onArticleTitleClicked(int column);
    void sortByTitle(int column);
    void onArticleGridReleased(Qt::MouseButton button, const QPoint& globalPos);
    void onArticleGridKey(int key);
    void onPointerEntersArticleGrid();
    bool searchFromSuggestions(int key);
    void onPointerEntersTopicGrid();
    // Handlers of the topic grid and its panel.
    void toggleCurrentTopic();
    void onTopicGridKey(int key);
    bool dragTopicPanel(QEvent* event);

    // The embedded browser's handlers.
    void onPointerEntersView();
    void showViewStatusText(const QString& text);
    void openOnDesktop(const QString& target);
    void layOutPane();
    void keepGridAreaHeight();

    // Opening rows and files next to the application.
    viewer::OpenSettings openSettings() const;
    std::string selectedFieldName() const;
    void runOpening(void (*open)(std::string_view, const viewer::ArticleRow&, const viewer::OpenSettings&,
                                 viewer::ViewerHooks&));
    // A file handed to the desktop, and what happens when the desktop cannot open it.
    void openWithDesktop(const QString& file, viewer::ShellFallback fallback);
    void showHelpPage(const QString& file);

    // SettingsDialogHost
    SettingsAccess settingsAccess() override { return SettingsAccess(m_session); }
    GridLook gridLook() override;
    void applySettings(const SettingsEffects& effects) override;
    void reapplyTopicFilter() override;
    void applyMainWindowLanguage() override;
    void keepCurrentRow() override;

    // What start-up found, shown; and the state written at the close.
    void showStartup(const Startup& startup);
    void preparePane(const PaneStart& pane);
    void restoreState(const Startup& startup);
    void restoreColumns(const WindowState& state);
    void restoreWindow(const WindowState& state);
    void placeOnScreen(const QRect& bounds, const QMargins& frame);
    void fitFrameOnScreen();
    WindowState currentState();

    void setText(const TextAssignment& assignment);
    void showInformation(const Message& message);
    void showError(const Message& message);
    void setHistory(const std::vector<std::string>& entries);
    std::vector<std::string> history() const;
    void selectHistoryEntry(int index);

    bool present(MessageKind kind, const QString& text, QWidget* parent = nullptr);
    void detachArticleGrid(bool detach);
    void showCurrentRow(int row);
    void showCurrentRowInContext();
    void placeTopicPanel();
    int topicPanelRightLimit() const;
    void fitNumberColumnToNumbers();
    catalogue::TopicFilter& topicFilter();
    void showRowCount();
    void showFilterState();
    void showFilterButton();
    void waitForWorker();
    void onTablesLent(bool filterSwitchedOff);
    void onTablesReturned();

    CatalogueService m_service;
    MainSession& m_session;
    MessagePresenter m_presenter;
    ShellOpener m_shellOpener;
    bool m_closeAfterWorker = false;
    bool m_shownOnce = false;
    bool m_cellPress = false;  // a left button went down on the grid's cells (not on a title)
    int m_selectedColumn = -1; // the article grid's last selected column (-1: none yet, the title column)
    QString m_sortColumn;
    // The grid's colours as last applied, in the settings' form; the settings' defaults until then.
    Color m_findColor = textToColor(settings::keys::color_find.def);
    Color m_linkColor = textToColor(settings::keys::color_link.def);
    Color m_tableColor = colors::clWindow; // as last applied, kept in the settings' form
    Font m_gridFont;
    int m_upperPanelHeight = 0;
    // The normal bounds as the settings gave them, and as they were fitted onto the screen.
    // The bounds as `mvx.ini` holds them (any int, so no QRect), and as the window was placed from them.
    struct Bounds {
        int left = 0, top = 0, width = 0, height = 0;
    } m_storedBounds;
    QRect m_placedBounds;
    QPoint m_topicPanelGrip{-1,
                            -1};  // where the topic panel was taken for dragging; (-1, -1) while not dragged
    int m_topicPanelRightGap = 0; // the topic panel keeps its distance to the grid area's right edge
    std::unique_ptr<viewer::ViewerHooks> m_viewerHooks;
    QHash<QString, QString> m_columnTitles; // by field name, from the language file
    QPointer<IndexingDialog> m_indexingDialog;
    QPointer<HelpWindow> m_helpWindow;

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

    // Controls.
    QComboBox* m_searchBox = nullptr;
    QLineEdit* m_searchEdit = nullptr;          // the search box's text
    QAbstractItemView* m_suggestions = nullptr; // the list of history entries offered while typing
    QComboBox* m_scopeBox = nullptr;
    QToolButton* m_matchCaseButton = nullptr;
    QToolButton* m_wholeWordsButton = nullptr;
    QToolButton* m_clearResultsButton = nullptr;
    QWidget* m_gridArea = nullptr;
    ArchivePane* m_viewPane = nullptr;
    QFrame* m_topicPanel = nullptr;
    QToolButton* m_topicFilterButton = nullptr;
    QLabel* m_topicPanelHandle = nullptr;
    QSplitter* m_splitter = nullptr;
    CatalogueGrid* m_articleGrid = nullptr;
    CatalogueGrid* m_topicGrid = nullptr;
    QMenu* m_rowMenu = nullptr;
    QLabel* m_panels[3] = {nullptr, nullptr, nullptr};

    ArticleModel* m_model = nullptr;
    TopicModel* m_topicModel = nullptr;
    ArticleGridDelegate* m_delegate = nullptr;
};

} // namespace marovex
