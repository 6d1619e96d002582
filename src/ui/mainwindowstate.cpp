// The main window: the state kept between runs.
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

#include <algorithm>

namespace marovex {

using qtconvert::toQColor;
using namespace mainwindowparts;

// --- State kept between runs --------------------------------------------------------------------------

void MainWindow::preparePane(const PaneStart& pane) {
    m_upperPanelHeight = pane.gridAreaHeight;
    m_viewPane->setVisible(pane.paneShown);
    if (!m_viewPane->isHidden()) layOutPane();
}

void MainWindow::restoreState(const Startup& startup) {
    const WindowState& state = *startup.state;
    applyGridLook(state.font, state.linkColor, state.findColor, state.tableColor);
    restoreColumns(state);
    restoreWindow(state);
    m_matchCaseButton->setChecked(state.matchCase);
    m_wholeWordsButton->setChecked(state.wholeWords);
    m_scopeBox->setCurrentIndex(state.scope);
    m_viewPane->setZoomPercent(state.zoomPercent);
    if (startup.filterRestored) setStatusText(2, messageText(language::kFilterRestoredText));
    if (!startup.sortColumn) return; // restoring the order failed, and start-up reports why
    setSortColumn(QString::fromStdString(*startup.sortColumn));
    showRowCount();
}

void MainWindow::restoreColumns(const WindowState& state) {
    for (std::size_t c = 0; c < kGridColumns; ++c)
        // Widths act as proportions: the grid fits its columns to its width.
        m_articleGrid->setColumnWidthHint(int(c), std::max(0, state.columnWidths[c]));
    QHeaderView* titles = m_articleGrid->horizontalHeader();
    if (titles->count() != int(kGridColumns)) return;
    const std::array<int, kGridColumns> order = columnOrderFromPositions(state.columnPositions);
    for (int v = 0; v < int(kGridColumns); ++v)
        titles->moveSection(titles->visualIndex(order[std::size_t(v)]), v);
    m_articleGrid->setFitColumns(true);
}

void MainWindow::restoreWindow(const WindowState& state) {
    // Absent bounds take the splash window's while it is on the screen, else the window's own.
    const QRect splash = SplashScreen::currentBounds();
    const QRect bounds = splash.isEmpty() ? geometry() : splash;
    m_storedBounds = {state.left.value_or(bounds.x()), state.top.value_or(bounds.y()),
                      state.width.value_or(bounds.width()), state.height.value_or(bounds.height())};
    // The normal bounds first: a maximised window keeps them as its restore size. Bounds made on another
    // screen or at another scale are fitted onto this one; the settings keep them as they were until the
    // user moves or resizes the window. Far beyond any screen they are held where a QRect's arithmetic
    // cannot overflow.
    constexpr int kFar = 1 << 24;
    const QRect stored(std::clamp(m_storedBounds.left, -kFar, kFar), std::clamp(m_storedBounds.top, -kFar, kFar),
                       std::clamp(m_storedBounds.width, 0, kFar), std::clamp(m_storedBounds.height, 0, kFar));
    placeOnScreen(QRect(stored.topLeft(), stored.size().expandedTo(minimumSize())), {});
    switch (state.show) {
    case WindowShow::Minimised:
        setWindowState(Qt::WindowMinimized);
        break;
    case WindowShow::Normal:
        setWindowState(Qt::WindowNoState);
        break;
    case WindowShow::Maximised:
        setWindowState(Qt::WindowMaximized);
        break;
    default: // anything else leaves the window as it is
        break;
    }
}

void MainWindow::placeOnScreen(const QRect& bounds, const QMargins& frame) {
    m_placedBounds = fitOnScreen(bounds, frame);
    resize(m_placedBounds.size());
    move(m_placedBounds.topLeft());
}

// The window manager's frame is known once the window is on the screen: a frame that reaches past the screen
// brings a window the user has not moved yet within it.
void MainWindow::fitFrameOnScreen() {
    if (windowState() != Qt::WindowNoState || QRect(pos(), size()) != m_placedBounds) return;
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                           frame.right() - client.right(), frame.bottom() - client.bottom());
    if (fitOnScreen(m_placedBounds, margins) != m_placedBounds) placeOnScreen(m_placedBounds, margins);
}

WindowState MainWindow::currentState() {
    WindowState state;
    QHeaderView* titles = m_articleGrid->horizontalHeader();
    for (std::size_t c = 0; c < kGridColumns && titles->count() == int(kGridColumns); ++c) {
        state.columnPositions[c] = titles->visualIndex(int(c));
        state.columnWidths[c] = titles->sectionSize(int(c));
    }
    state.matchCase = m_matchCaseButton->isChecked();
    state.wholeWords = m_wholeWordsButton->isChecked();
    state.scope = std::max(0, m_scopeBox->currentIndex());
    if (isMinimized()) {
        state.show = WindowShow::Minimised;
    } else if (isMaximized() || isFullScreen()) {
        state.show = WindowShow::Maximised;
    } else {
        state.show = WindowShow::Normal;
        const Bounds bounds = QRect(pos(), size()) == m_placedBounds
                                  ? m_storedBounds
                                  : Bounds{x(), y(), width(), height()};
        state.width = bounds.width;
        state.height = bounds.height;
        state.top = bounds.top;
        state.left = bounds.left;
    }
    // The height the user dragged the grid area to, or the stored one: a window too small for it shows less.
    state.gridAreaHeight = m_upperPanelHeight;
    state.zoomPercent = m_viewPane->zoomPercent();
    state.textSearch = m_session.ini.text_search;
    state.sortColumn = m_sortColumn.toStdString();
    state.filterOn = m_session.articles().isOpen() && m_session.articles().filtered();
    return state;
}

} // namespace marovex
