#pragma once

#include "ui/archiveview.h"
#include "ui/icons.h"

#include <QFrame>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QToolBar;
class QToolButton;

namespace marovex {

// The pane that reads the archive below the grid: a slim bar (back, forward, zoom), the view, and a find bar
// under it, laid out one above the other. The pane is made once per window and only shown or hidden; its
// view is made the first time it is asked for and kept. Its commands are actions of the pane, so their
// keys serve the whole window while the pane is shown and none while it is hidden.
//
// It shows no message itself: what failed reaches its host as `failed`, and opening something on the desktop
// as `openOnDesktop`.
class ArchivePane final : public QFrame {
    Q_OBJECT
public:
    // The text of a window text key, "%1"… filled with `args`.
    using TextSource = std::function<QString(int key, const QStringList& args)>;
    // Asks where to save a file; empty when the user cancels. Tests replace it to answer without a dialog.
    using FileChooser = std::function<QString(QWidget* parent, const QString& title, const QString& suggested,
                                              const QString& filter)>;
    // Lets the user set up the printer; whether to print. Tests replace it too.
    using PrintChooser = std::function<bool(QWidget* parent, QPrinter& printer)>;

    explicit ArchivePane(QWidget* parent = nullptr);
    ~ArchivePane() override;

    // Makes the view when there is none yet; false when the engine could not make it (the pane then stays
    // without a view, and a later call tries again).
    bool makeView();
    // Null until made.
    ArchiveView* view() const { return m_view.data(); }

    void setTextSource(TextSource source);
    // Says every text again, in the language the text source now speaks.
    void retranslate();
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    void setPrintChooser(PrintChooser chooser) { m_choosePrinter = std::move(chooser); }

    // The zoom of every page shown, in percent; a level between the pane's steps goes to the nearest one.
    int zoomPercent() const { return m_zoom; }
    void setZoomPercent(int percent);
    // Whether the keyboard is in the find bar.
    bool findBarHasFocus() const;

public slots:
    // Opens the find bar with the focus in it, the search text the page highlights (or the last one looked
    // for) selected, and finds it.
    void openFindBar();
    // Closes the find bar and gives the keyboard back to the page.
    void closeFindBar();
    // The next or previous hit of the find bar's text, or, while the bar is closed, of the highlighted text.
    void findNext();
    void findPrevious();
    void zoomIn();
    void zoomOut();
    void resetZoom();
    void print();
    void saveAsPdf();

signals:
    // A text for the status bar: the address under the pointer, empty when it leaves.
    void statusTextChanged(const QString& text);
    // The pointer entered the view.
    void pointerEntered();
    // Something the user asked for failed; the text says what, in the interface language.
    void failed(const QString& text);
    // A file path or a web address to open with the desktop's browser.
    void openOnDesktop(const QString& target);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString text(int key, const QStringList& args = {}) const;
    QAction* command(const char* name, icons::Icon icon, void (ArchivePane::*run)());
    void buildFindBar();
    void showMenu(const QPoint& pos);
    void find(const QString& what, bool backward, bool newSearch);
    void showFindResult(int active, int count);
    void stepZoom(int direction);
    void applyZoom();
    void followPageAction(QAction* own, int pageAction);
    void watchViewChild(QObject* child);
    void copyAddress();
    void openInBrowser();
    // What the context menu acts on: the link under the pointer when it was opened over one, else the page.
    QUrl menuTarget() const;

    QPointer<ArchiveView> m_view; // the window may delete it first, at its close
    // The same, for the event filter: while the view is being destroyed its events still come, and it is no
    // ArchiveView any more.
    QPointer<QObject> m_viewObject;
    TextSource m_text;
    FileChooser m_chooseFile;
    PrintChooser m_choosePrinter;
    std::unique_ptr<QPrinter> m_printer; // while a page prints
    QString m_pdfFolder;                 // where the last PDF went in this run
    int m_zoom = 100;
    int m_wheel = 0;       // wheel turns not yet worth a zoom step
    int m_findRound = 0;   // results of an earlier round are dropped
    int m_lastActive = -1; // the last result shown, said again in a new language
    int m_lastCount = -1;
    QUrl m_menuLink;

    QToolBar* m_bar = nullptr;
    QToolButton* m_zoomLevel = nullptr;
    QToolBar* m_findBar = nullptr;
    QLineEdit* m_findText = nullptr;
    QLabel* m_findResult = nullptr;
    QMenu* m_menu = nullptr;

    QAction* m_back = nullptr;
    QAction* m_forward = nullptr;
    QAction* m_reload = nullptr;
    QAction* m_copy = nullptr;
    QAction* m_selectAll = nullptr;
    QAction* m_find = nullptr;
    QAction* m_findNext = nullptr;
    QAction* m_findPrevious = nullptr;
    QAction* m_matchCase = nullptr;
    QAction* m_closeFind = nullptr;
    QAction* m_zoomIn = nullptr;
    QAction* m_zoomOut = nullptr;
    QAction* m_actualSize = nullptr;
    QAction* m_print = nullptr;
    QAction* m_savePdf = nullptr;
    QAction* m_copyAddress = nullptr;
    QAction* m_openInBrowser = nullptr;
};

} // namespace marovex
