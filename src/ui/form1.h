#pragma once

#include "app/mainsession.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <atomic>
#include <filesystem>
#include <functional>

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
class TForm_Process;
class TopicModel;

// The main window. Creating it takes in the catalogue and the state of the last run; closing it writes them
// back. It owns the tables (through its session), the stop flag shared by the workers, and the guard that
// lets only one worker use the tables at a time.
class TForm1 final : public QMainWindow, private MainWindowHooks {
    Q_OBJECT
public:
    enum class MessageKind { Information, Error };
    // Shows a message box; tests replace it to see the messages without blocking.
    using MessagePresenter = std::function<void(QWidget* parent, MessageKind kind, const QString& text)>;
    // Opens a file with the desktop's default handler; tests replace it.
    using ShellOpener = std::function<void(const QString& file)>;

    explicit TForm1(std::filesystem::path appDir, MessagePresenter presenter = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    MainSession& session() { return m_session; }
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
    void showInformationMessage(const QString& text);

    // --- Values kept beside the settings ------------------------------------------------------------------
    // The column whose title shows the sort marker ("Type", "Izb", "Tem", "Statia"; empty for none).
    void setSortColumn(const QString& field);
    QString sortColumn() const { return m_sortColumn; }
    // Font and colours of the article grid (colours as the settings file holds them).
    void ApplyGridLook(const Font& font, Color linkColor, Color findColor, Color tableColor);
    void setSearchResultsEndEnabled(bool enabled) override;
    // The embedded browser's pane shown or hidden (the browser itself arrives with the pane's own code).
    void SwitchBrowserPane(bool on);
    // Hands a message text (Windows-1251) over as a window text.
    QString messageText(int key) const;

public slots:
    // Commands.
    void Action_FindExecute();
    void Find_EndExecute();
    void GoIndexExecute();
    void SetPropertiesExecute();
    void Clear_HistoryExecute();
    void view_filter_on_offExecute();
    void helpExecute();
    void ExitExecute();
    void Action1Execute();
    void ReadAbutExecute();
    void Go_FirstExecute();
    void Go_LastExecute();
    void ToolButton17Click();
    // Opens the current row of the article grid as its selected column decides.
    void OpenCurrentRow();
    void MSIE1Click();
    void Opera1Click();
    void N10Click();

signals:
    // Reported as the current row is about to be opened, with the viewer choice in force.
    void currentRowOpening(int viewerChoice);
    // A title button of the article grid asked for the order of its column's field.
    void sortRequested(const QString& field);
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
    void openWithViewer(int viewerChoice);
    void Open_File(const QString& relativePath);

    // MainWindowHooks
    SettingsHooks settingsHooks() override;
    void setText(const TextAssignment& assignment) override;
    void restoreState() override;
    void showInformation(const std::string& text) override;
    void showError(const std::string& text) override;
    void setHistory(const std::vector<std::string>& entries) override;
    std::vector<std::string> history() const override;
    void selectHistoryEntry(int index) override;

    void present(MessageKind kind, const QString& text);
    void showCurrentRow(int row);
    void placeTopicPanel();
    void waitForWorker();

    MainSession m_session;
    MessagePresenter m_presenter;
    ShellOpener m_shellOpener;
    std::atomic<bool> m_stop{false};
    bool m_workerRunning = false;
    bool m_closeAfterWorker = false;
    bool m_shownOnce = false;
    bool m_cellPress = false; // a left button went down on the grid's cells (not on a title)
    QString m_sortColumn;
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
