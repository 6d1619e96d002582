#pragma once

#include "app/mainsession.h"
#include "ui/formproperties.h"
#include "ui/messagebox.h"
#include "viewer/opening.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;
class QToolButton;

namespace marovex {

class ArticleGridDelegate;
class ArticleModel;
class TDBGridEh_MVX;
class TCustomizedWebBrowser;
class TForm_Process;
class TopicModel;
namespace catalogue {
class TopicFilter;
}

// The main window. Creating it takes in the catalogue and the state of the last run; closing it writes them
// back. It owns the tables (through its session), the stop flag shared by the workers, and the guard that
// lets only one worker use the tables at a time.
class TForm1 final : public QMainWindow, private MainWindowHooks, private SettingsDialogHost {
    Q_OBJECT
public:
    using MessageKind = marovex::MessageKind;
    // Shows a message box; tests replace it to see the messages without blocking.
    using MessagePresenter = std::function<void(QWidget* parent, MessageKind kind, const QString& text)>;
    // Opens a file with the desktop's default handler; tests replace it.
    using ShellOpener = std::function<void(const QString& file)>;

    explicit TForm1(std::filesystem::path appDir, MessagePresenter presenter = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    MainSession& session() override { return m_session; }
    // The start-up failure mark (the window's tag).
    int tag() const { return m_session.failureMark(); }
    void setShellOpener(ShellOpener opener) { m_shellOpener = std::move(opener); }

    // --- Status bar: panels 1 to 3 ---------------------------------------------------------------------
    void setStatusText(int panel, const QString& text);
    QString statusText(int panel) const;

    // --- Shared with the dialogs and workers -------------------------------------------------------------
    // One stop flag for indexing and the full-text search; false whenever no worker runs.
    std::atomic<bool>& stopFlag() { return m_stop; }
    bool workerRunning() const { return m_workerRunning; }
    // Hands the tables to a worker: the grids let go of them and the commands that use them are disabled.
    // Returns false, changing nothing, when a worker runs already.
    bool beginWorker();
    // Gives the tables back to the grids (the first step of a completion report).
    void reattachGrids();
    // The worker has ended: commands come back, and a close asked for during the run happens now.
    void endWorker();
    // A message in the general error report's box.
    void showErrorMessage(const QString& text);
    // A message of the program's own in the interface language.
    QString messageFor(const Message& message) const;
    void showInformationMessage(const QString& text);

    // --- Values kept beside the settings ------------------------------------------------------------------
    // The column whose title shows the sort marker ("Type", "Izb", "Tem", "Statia"; empty for none).
    void setSortColumn(const QString& field);
    QString sortColumn() const { return m_sortColumn; }
    // Font and colours of the article grid (colours as the settings file holds them).
    void ApplyGridLook(const Font& font, Color linkColor, Color findColor, Color tableColor) override;
    Color findColor() const { return m_findColor; }
    Color linkColor() const { return m_linkColor; }
    void setSearchResultsEndEnabled(bool enabled) override;
    // The embedded browser's pane shown with a new view, or hidden with the view destroyed.
    void SwitchBrowserPane(bool on);
    // The embedded browser, null while the pane is off or its creation failed.
    TCustomizedWebBrowser* webBrowser() const { return m_browser; }
    // The height the grid area takes while the pane is shown.
    int upperPanelHeight() const { return m_upperPanelHeight; }
    // The topic filter: the filter button (force false) and its re-application after the settings
    // changed (force true), the current row carried.
    void filter_go(bool force);
    // Hands a message text (Windows-1251) over as a window text.
    QString messageText(int key) const;

public slots:
    // Commands.
    void Action_FindExecute();
    void Find_EndExecute();
    void GoIndexExecute();
    void SetPropertiesExecute();
    void Clear_HistoryExecute() override;
    void view_filter_on_offExecute();
    void helpExecute();
    void ExitExecute();
    void Action1Execute();
    void ReadAbutExecute();
    void Go_FirstExecute();
    void Go_LastExecute();
    void ToolButton17Click();
    void SpeedButton1Click();
    void Image1Click();
    // Opens the current row of the article grid as its selected column decides.
    void OpenCurrentRow();
    void MSIE1Click();
    void Opera1Click();
    void N10Click();

signals:
    // The indexing dialog made by the indexing command.
    void indexingDialogOpened(marovex::TForm_Process* dialog);

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
    void FormCreate();
    void FormShow();
    void attachGrids();

    // Handlers of the article grid.
    void DBGridEh_MVX2MouseDown(Qt::MouseButton button);
    void DBGridEh_MVX2CellClick();
    void DBGridEh_MVX2DblClick();
    void DBGridEh_MVX2TitleClick(int column);
    void DBGridEh_MVX2TitleBtnClick(int column);
    void DBGridEh_MVX2MouseUp(Qt::MouseButton button, const QPoint& globalPos);
    void DBGridEh_MVX2KeyPress(int key);
    void DBGridEh_MVX2MouseEnter();
    void DBGridEh_MVX1MouseEnter();
    // Handlers of the topic grid and its panel.
    void DBGridEh_MVX1DblClick();
    void DBGridEh_MVX1KeyPress(int key);
    bool Panel3MouseEvent(QEvent* event);

    // The embedded browser's handlers.
    void Panel2Resize();
    void webBrowser_mousEnter();
    void webBrowser_mousLeav();
    void WebBrowserStatusTextChange(const QString& text);
    void WBDocumentComplete();
    void layOutPane();

    // Opening rows and files next to the application.
    viewer::OpenSettings openSettings() const;
    std::string selectedFieldName() const;
    void runOpening(void (*open)(std::string_view, const viewer::ArticleRow&, const viewer::OpenSettings&,
                                 viewer::ViewerHooks&));

    // SettingsDialogHost (session(), settingsHooks(), Clear_HistoryExecute() and ApplyGridLook() serve both)
    GridLook gridLook() override;
    void applyMainWindowLanguage() override;
    void keepCurrentRow() override;

    // MainWindowHooks
    SettingsHooks settingsHooks() override;
    void setText(const TextAssignment& assignment) override;
    void preparePane() override;
    void restoreState() override;
    void saveState() override;
    void showInformation(const Message& message) override;
    void showError(const Message& message) override;
    void setHistory(const std::vector<std::string>& entries) override;
    std::vector<std::string> history() const override;
    void selectHistoryEntry(int index) override;

    void present(MessageKind kind, const QString& text);
    void detachArticleGrid(bool detach);
    void showCurrentRow(int row);
    void showCurrentRowInContext();
    void placeTopicPanel();
    catalogue::TopicFilter& topicFilter();
    void showRowCount();
    void showFilterState();
    void restoreColumns(const IniFile& ini);
    void restoreWindow(const IniFile& ini);
    void waitForWorker();

    MainSession m_session;
    MessagePresenter m_presenter;
    ShellOpener m_shellOpener;
    std::atomic<bool> m_stop{false};
    bool m_workerRunning = false;
    bool m_closeAfterWorker = false;
    bool m_shownOnce = false;
    bool m_cellPress = false;  // a left button went down on the grid's cells (not on a title)
    int m_selectedColumn = -1; // the article grid's last selected column (-1: none yet, the title column)
    QString m_sortColumn;
    // The grid's colours as last applied, in the settings' form; the settings' defaults until then.
    Color m_findColor = TextToColor(settings::keys::color_find.def);
    Color m_linkColor = TextToColor(settings::keys::color_link.def);
    Color m_tableColor = colors::clWindow; // as last applied, kept in the settings' form
    Font m_gridFont;
    int m_upperPanelHeight = 0;
    bool m_filterOnAtClose = false;
    std::shared_ptr<catalogue::TopicFilter> m_filter;
    QPoint m_panel3Grip{-1, -1}; // where the topic panel was taken for dragging; (-1, -1) while not dragged
    int m_panel3RightGap = 0;    // the topic panel keeps its distance to the grid area's right edge
    TCustomizedWebBrowser* m_browser = nullptr;
    std::unique_ptr<viewer::ViewerHooks> m_viewerHooks;
    QHash<QString, QString> m_columnTitles; // by field name, from the language file
    QPointer<TForm_Process> m_indexingDialog;

    // Commands.
    QAction* Action_Find = nullptr;
    QAction* Find_End = nullptr;
    QAction* GoIndex = nullptr;
    QAction* SetProperties = nullptr;
    QAction* Clear_History = nullptr;
    QAction* view_filter_on_off = nullptr;
    QAction* help = nullptr;
    QAction* Exit = nullptr;
    QAction* Action1 = nullptr;
    QAction* ReadAbut = nullptr;
    QAction* Go_First = nullptr;
    QAction* Go_Last = nullptr;

    // Controls.
    QComboBox* FlatComboBox1 = nullptr;
    QComboBox* FlatComboBox3 = nullptr;
    QToolButton* ToolButton5 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QToolButton* ToolButton10 = nullptr;
    QToolButton* ToolButton17 = nullptr;
    QWidget* Panel1 = nullptr;
    QWidget* Panel2 = nullptr;
    QFrame* Panel3 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLabel* Image1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    TDBGridEh_MVX* DBGridEh_MVX2 = nullptr;
    TDBGridEh_MVX* DBGridEh_MVX1 = nullptr;
    QMenu* ElPopupMenu1 = nullptr;
    QLabel* m_panels[3] = {nullptr, nullptr, nullptr};

    ArticleModel* m_model = nullptr;
    TopicModel* m_topicModel = nullptr;
    ArticleGridDelegate* m_delegate = nullptr;
};

} // namespace marovex
