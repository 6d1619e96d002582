// The main window: the grids' mouse and keys, their look and the topic panel's place.
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
#include "ui/commandguard.h"
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
#include <QCompleter>
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
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

namespace marovex {

using qtconvert::toQColor;
using namespace mainwindowparts;

// --- The article grid ---------------------------------------------------------------------------------

void MainWindow::onArticleGridPressed(Qt::MouseButton button) {
    if (!m_articleGrid->hasFocus()) {
        m_searchBox->setFocus();
        m_articleGrid->setFocus();
    }
    m_cellPress = button == Qt::LeftButton;
}

void MainWindow::onArticleCellClicked() {
    if (!m_session.ini.onclick || !m_cellPress) return;
    if (m_model && m_model->rowCount() > 0) {
        openCurrentRow();
        m_cellPress = false;
    }
}

void MainWindow::onArticleGridDoubleClicked() {
    if (m_session.ini.onclick || !m_cellPress) return;
    if (m_model && m_model->rowCount() > 0) openCurrentRow();
}

void MainWindow::onArticleTitleClicked(int /*column*/) {
    m_cellPress = false;
}

void MainWindow::sortByTitle(int column) {
    m_cellPress = false;
    // The header flips its marker on a click; the marker follows the sort column only.
    setSortColumn(m_sortColumn);
    if (m_service.isLent()) return;
    runReported(std::bind_front(&MainWindow::showError, this), [&] {
        const std::string sorted =
            catalogue::sortByTitle(m_session.articles(), ArticleModel::fieldName(column).toStdString());
        if (!sorted.empty()) {
            setSortColumn(QString::fromStdString(sorted));
            showCurrentRowInContext();
        }
    });
}

void MainWindow::onArticleGridReleased(Qt::MouseButton button, const QPoint& globalPos) {
    m_searchBox->setFocus();
    m_articleGrid->setFocus();
    if (button != Qt::RightButton || m_session.ini.select_browser != 1) return;
    // The row menu acts on the current row, so the cell clicked becomes current before it opens. Over the
    // title row no cell is clicked and the current one decides.
    const QModelIndex clicked = m_articleGrid->indexAt(m_articleGrid->viewport()->mapFromGlobal(globalPos));
    const int column = (clicked.isValid() ? clicked : m_articleGrid->currentIndex()).column();
    if (column != ArticleModel::ColType && column != ArticleModel::ColNumber &&
        column != ArticleModel::ColStatia)
        return;
    if (clicked.isValid()) m_articleGrid->setCurrentIndex(clicked);
    m_rowMenu->popup(globalPos);
}

void MainWindow::onArticleGridKey(int /*key*/) {
    openCurrentRow();
}

void MainWindow::onPointerEntersArticleGrid() {
    if (QGuiApplication::applicationState() != Qt::ApplicationActive) return;
    m_searchBox->setFocus();
    m_articleGrid->setFocus();
}

void MainWindow::onPointerEntersTopicGrid() {
    if (QGuiApplication::applicationState() != Qt::ApplicationActive) return;
    m_searchBox->setFocus();
    m_topicGrid->setFocus();
}

void MainWindow::showCurrentRow(int row) {
    if (!m_model || row < 0 || row >= m_model->rowCount()) return;
    const QModelIndex current = m_articleGrid->currentIndex();
    const QModelIndex index =
        m_model->index(row, current.isValid() ? current.column() : ArticleModel::ColStatia);
    if (current.row() != row) m_articleGrid->setCurrentIndex(index);
    m_articleGrid->scrollTo(index);
}

// After a new order the rows that now stand above the current one matter (the favourites, the hits):
// the grid shows as many of them as it can, from the first row when the current one is on the first page.
void MainWindow::showCurrentRowInContext() {
    const QModelIndex current = m_articleGrid->currentIndex();
    if (!current.isValid()) return;
    const int rowHeight = std::max(1, m_articleGrid->verticalHeader()->defaultSectionSize());
    const int visibleRows = m_articleGrid->viewport()->height() / rowHeight;
    if (current.row() < visibleRows)
        m_articleGrid->scrollToTop();
    else
        m_articleGrid->scrollTo(current, QAbstractItemView::PositionAtCenter);
}

// --- Look ---------------------------------------------------------------------------------------------

void MainWindow::setSortColumn(const QString& field) {
    m_sortColumn = field;
    const int column = ArticleModel::columnOf(field);
    // Qt draws the upward triangle for the descending indicator.
    m_articleGrid->horizontalHeader()->setSortIndicator(column, Qt::DescendingOrder);
}

void MainWindow::applyGridLook(const Font& font, Color linkColor, Color findColor, Color tableColor) {
    m_gridFont = font;
    m_linkColor = linkColor;
    m_findColor = findColor;
    m_tableColor = tableColor;
    m_delegate->setFindColor(toQColor(findColor));
    // The application's style sheet decides the colours of every widget it polishes, so the grid's own
    // colours go into a style sheet of its own: a palette alone would be ignored.
    m_articleGrid->setStyleSheet(
        QStringLiteral("QTableView { background-color: %1; }").arg(toQColor(tableColor).name()));
    m_delegate->setTextColor(toQColor(font.color));
    QFont f = m_articleGrid->font();
    f.setFamily(QString::fromStdString(font.name));
    if (font.size() > 0) f.setPointSize(font.size());
    f.setBold(font.style & fontstyle::bold);
    f.setItalic(font.style & fontstyle::italic);
    f.setUnderline(font.style & fontstyle::underline);
    f.setStrikeOut(font.style & fontstyle::strikeout);
    f.setFixedPitch(font.pitch == 2);
    m_articleGrid->setFont(f);
    m_articleGrid->verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 4);
    m_delegate->setLinkFont(f, toQColor(linkColor));
    fitNumberColumnToNumbers();
    m_articleGrid->viewport()->update();
}

// Issue numbers have up to three digits: however narrow the window, the Number column keeps room for them
// rather than showing "0…".
void MainWindow::fitNumberColumnToNumbers() {
    const int margins =
        2 * (m_articleGrid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_articleGrid) + 1);
    const int digits = m_articleGrid->fontMetrics().horizontalAdvance(QStringLiteral("000")) + margins + 1;
    m_articleGrid->setColumnMinimumWidth(ArticleModel::ColNumber,
                                         std::max(kColumns[ArticleModel::ColNumber].minimum, digits));
    if (m_articleGrid->fitColumns()) m_articleGrid->fitColumnsNow();
}

// The topic panel's right edge may go as far as the grid's cells: the vertical scroll bar beside them stays
// free.
int MainWindow::topicPanelRightLimit() const {
    const QWidget* cells = m_articleGrid->viewport();
    return cells->mapTo(m_gridArea, QPoint(cells->width(), 0)).x();
}

void MainWindow::placeTopicPanel() {
    // Anchored to the grid area's top edge and the cells' right edge.
    const int x = std::max(0, topicPanelRightLimit() - m_topicPanelRightGap - m_topicPanel->width());
    const int y =
        std::clamp(m_topicPanel->y(), 0, std::max(0, m_gridArea->height() - m_topicPanel->height()));
    m_topicPanel->move(x, y);
    m_topicPanel->raise();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == static_cast<QObject*>(windowHandle()) && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        watched->removeEventFilter(this);
        fitFrameOnScreen();
    }
    if ((watched == m_gridArea || watched == m_articleGrid->viewport()) && event->type() == QEvent::Resize &&
        m_topicPanel->isVisible())
        placeTopicPanel();
    if (watched == m_splitter && event->type() == QEvent::Resize && !m_viewPane->isHidden())
        keepGridAreaHeight();
    if (watched == m_topicPanelHandle && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        collapseOrExpandTopicPanel();
        return true;
    }
    if (watched == m_topicPanel && dragTopicPanel(event)) return true;
    if (event->type() == QEvent::KeyPress && watched == m_suggestions &&
        searchFromSuggestions(static_cast<QKeyEvent*>(event)->key()))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

// Enter with the suggestions shown searches too: the entry chosen in the list, or the text as typed when
// none is. The completer alone would only close the list.
bool MainWindow::searchFromSuggestions(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    const QModelIndex chosen = m_suggestions->currentIndex();
    m_suggestions->hide();
    if (chosen.isValid()) m_searchBox->setEditText(chosen.data().toString());
    m_findAction->trigger();
    return true;
}

void MainWindow::setSearchResultsEndEnabled(bool enabled) {
    m_clearResultsButton->setEnabled(enabled);
}

} // namespace marovex
