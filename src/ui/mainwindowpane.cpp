// The main window: the pane with the article.
#include "ui/mainwindow.h"

#include "ui/mainwindowparts.h"

#include "app/windowstate.h"
#include "catalogue/articleview.h"
#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "search/findcommand.h"
#include "ui/aboutdialog.h"
#include "ui/archivepane.h"
#include "ui/archiveview.h"
#include "ui/articlegriddelegate.h"
#include "ui/articlemodel.h"
#include "ui/cataloguegrid.h"
#include "ui/icons.h"
#include "ui/indexingdialog.h"
#include "ui/placement.h"
#include "ui/qtconvert.h"
#include "ui/qttranslations.h"
#include "ui/searchprogressdialog.h"
#include "ui/settingsdialog.h"
#include "ui/splashscreen.h"
#include "ui/topicmodel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace marovex {

using qtconvert::toQColor;
using namespace mainwindowparts;

void MainWindow::switchViewPane(bool on) {
    if (!on) {
        if (m_viewPane->isHidden()) return;
        m_viewPane->hide(); // the grid area fills the client area; the view keeps its page for the return
        if (m_splitter->count() > 1) m_splitter->handle(1)->setEnabled(false);
        return;
    }
    if (!m_viewPane->isHidden()) return; // also without a view: only a switch off and on tries again
    m_viewPane->show();
    if (m_upperPanelHeight < 10) m_upperPanelHeight = 55;
    layOutPane();
    if (m_splitter->count() > 1) m_splitter->handle(1)->setEnabled(true);
    if (m_viewPane->view()) return;
    if (!m_viewPane->makeView()) {
        present(MessageKind::Plain, messageText(msg::PaneNotCreated));
        return;
    }
    ArchiveView* view = m_viewPane->view();
    QWidget::setTabOrder(m_topicGrid, view); // after the grids, as it lies below them
    view->setHighlightSource([this] {
        return HighlightRequest{m_session.ini.text_search, m_wholeWordsButton->isChecked(),
                                m_matchCaseButton->isChecked(), colorToHex(m_session.ini.color_htm_fon)};
    });
}

ArchiveView* MainWindow::webBrowser() const {
    return m_viewPane->isHidden() ? nullptr : m_viewPane->view();
}

// The grid area takes the upper panel height and the pane the rest; when that leaves the pane almost
// nothing, the grid area gives up the pane's minimum and a further 125 pixels.
void MainWindow::layOutPane() {
    if (!isVisible()) {
        layout()->activate(); // the client area's size before the window is first shown
        centralWidget()->layout()->activate();
    }
    const int total = m_splitter->height() - m_splitter->handleWidth();
    int upper = m_upperPanelHeight;
    if (total - upper < 2) upper -= kMinimumPaneHeight + 125;
    upper = std::max(upper, kMinimumPaneHeight);
    m_splitter->setSizes({upper, std::max(total - upper, kMinimumPaneHeight)});
}

// The grid area keeps the height the user gave it (kept for the pane's return and between runs) whenever the
// window has room for it: a window too small for it, such as its design size before it is first shown or a
// small screen, squeezes it only for as long as the window is that small.
void MainWindow::keepGridAreaHeight() {
    const int total = m_splitter->height() - m_splitter->handleWidth();
    const int upper = std::clamp(m_upperPanelHeight, kMinimumPaneHeight,
                                 std::max(kMinimumPaneHeight, total - kMinimumPaneHeight));
    m_splitter->setSizes({upper, std::max(total - upper, kMinimumPaneHeight)});
}

void MainWindow::onPointerEntersView() {
    // Not while the user types into the pane's find bar: the pointer passing over the page would take the
    // keys away.
    ArchiveView* view = webBrowser();
    if (QGuiApplication::applicationState() != Qt::ApplicationActive || !view ||
        m_viewPane->findBarHasFocus())
        return;
    m_searchBox->setFocus();
    view->setFocus(); // into the page's own window
}

void MainWindow::showViewStatusText(const QString& text) {
    setStatusText(3, text);
}

// A web address goes to the desktop's browser, an archive file to the desktop's program for it.
void MainWindow::openOnDesktop(const QString& target) {
    const QUrl url(target);
    for (const char* web : {"http", "https", "ftp", "mailto"})
        if (url.scheme() == QLatin1String(web)) {
            QDesktopServices::openUrl(url);
            return;
        }
    openWithDesktop(target, viewer::ShellFallback::Report);
}

} // namespace marovex
