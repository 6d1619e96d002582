// The main window: the pane with the article.
#include "ui/mainwindow.h"

#include "ui/mainwindowparts.h"

#include "app/windowstate.h"
#include "catalogue/articleview.h"
#include "catalogue/catalogue.h"
#include "indexer/archive.h"
#include "search/findcommand.h"
#include "ui/aboutdialog.h"
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
        delete m_browser;
        m_browser = nullptr;
        if (m_viewPane->isHidden()) return;
        m_viewPane->hide(); // the grid area fills the client area
        if (m_splitter->count() > 1) m_splitter->handle(1)->setEnabled(false);
        return;
    }
    if (!m_viewPane->isHidden()) return; // also without a view: only a switch off and on tries again
    m_viewPane->show();
    if (m_upperPanelHeight < 10) m_upperPanelHeight = 55;
    layOutPane();
    if (m_splitter->count() > 1) m_splitter->handle(1)->setEnabled(true);
    if (m_browser) return;
    try {
        m_browser = new ArchiveView(m_viewPane);
        m_browser->setObjectName(QStringLiteral("webBrowser"));
        m_browser->setFocusPolicy(Qt::StrongFocus);
        QWidget::setTabOrder(m_topicGrid, m_browser); // after the grids, as it lies below them
        connect(m_browser, &ArchiveView::OnMouseEnter, this, &MainWindow::onPointerEntersView);
        connect(m_browser, &ArchiveView::OnMouseLeave, this, &MainWindow::onPointerLeavesView);
        connect(m_browser, &ArchiveView::StatusTextChange, this, &MainWindow::showViewStatusText);
        connect(m_browser, &ArchiveView::DocumentComplete, this, &MainWindow::onDocumentComplete);
        m_browser->setHighlightSource([this] {
            return HighlightRequest{m_session.ini.text_search, m_wholeWordsButton->isChecked(),
                                    m_matchCaseButton->isChecked(), colorToHex(m_session.ini.color_htm_fon)};
        });
        fitViewToPane();
        m_browser->show();
    } catch (const std::exception&) {
        delete m_browser;
        m_browser = nullptr;
        present(MessageKind::Plain, messageText(msg::PaneNotCreated));
    }
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

void MainWindow::fitViewToPane() {
    if (m_browser) m_browser->setGeometry(m_viewPane->contentsRect());
}

void MainWindow::onPointerEntersView() {
    if (QGuiApplication::applicationState() != Qt::ApplicationActive || !m_browser) return;
    m_searchBox->setFocus();
    m_browser->setFocus(); // into the page's own window
}

void MainWindow::onPointerLeavesView() {}

void MainWindow::showViewStatusText(const QString& text) {
    setStatusText(3, text);
}

void MainWindow::onDocumentComplete() {
    // The view itself takes the border off and highlights the search text in every document as it
    // completes, with the request its highlight source gives at the navigation.
}

} // namespace marovex
