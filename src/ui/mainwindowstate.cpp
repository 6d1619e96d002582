// The main window: the state kept between runs.
#include "ui/mainwindow.h"

#include "ui/mainwindowparts.h"

#include "app/gridstate.h"
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

// --- State kept between runs --------------------------------------------------------------------------

void MainWindow::preparePane() {
    attachGrids();
    const auto file = SettingsFilePath(m_session.appDir());
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    const IniFile ini(file);
    m_upperPanelHeight = settings::Read(ini, settings::keys::Internal_browser_height);
    // The pane gets the opposite of what reading the settings asks for, so that the switch then makes its
    // whole transition.
    m_viewPane->setVisible(settings::Read(ini, settings::keys::select_browser) != 1);
    if (!m_viewPane->isHidden()) layOutPane();
}

void MainWindow::restoreState() {
    const auto file = SettingsFilePath(m_session.appDir());
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return;
    const IniFile ini(file);
    namespace k = settings::keys;

    Font font;
    settings::Read(ini, k::font_table, font);
    const Color table = settings::Read(ini, k::color_table);
    const Color find = settings::Read(ini, k::color_find);
    const Color link = settings::Read(ini, k::color_link);
    applyGridLook(font, link, find, table);
    restoreColumns(ini);
    restoreWindow(ini);

    m_matchCaseButton->setChecked(settings::Read(ini, k::Button_caps));
    m_wholeWordsButton->setChecked(settings::Read(ini, k::Button_word));
    m_scopeBox->setCurrentIndex(settings::Read(ini, k::Button_find));
    m_session.ini.text_search = settings::Read(ini, k::text_search);

    std::string column = settings::Read(ini, k::state_index);
    if (column.size() > k::kStateIndexLength) column.resize(k::kStateIndexLength);
    RecordTable& articles = m_session.articles();
    if (!m_session.ini.state_save) column = catalogue::kSortStandard;
    if (m_session.ini.state_save && settings::Read(ini, k::state_filter)) {
        catalogue::SwitchFilter(articles, topicFilter(), true);
        m_topicFilterButton->setText(QStringLiteral("Filter Off"));
        setStatusText(2, messageText(language::kFilterRestoredText));
    }
    setSortColumn(QString::fromStdString(catalogue::RestoreSortColumn(articles, column)));
    showRowCount();
}

void MainWindow::restoreColumns(const IniFile& ini) {
    std::array<int, kGridColumns> positions{};
    for (std::size_t c = 0; c < kGridColumns; ++c) {
        const std::string_view field = settings::keys::kGridFields[c];
        positions[c] = settings::Read(ini, settings::keys::colIndex(field));
        // Widths act as proportions: the grid fits its columns to its width.
        m_articleGrid->setColumnWidthHint(int(c),
                                          std::max(0, settings::Read(ini, settings::keys::colWidth(field))));
    }
    QHeaderView* titles = m_articleGrid->horizontalHeader();
    if (titles->count() != int(kGridColumns)) return;
    const std::array<int, kGridColumns> order = ColumnOrderFromPositions(positions);
    for (int v = 0; v < int(kGridColumns); ++v)
        titles->moveSection(titles->visualIndex(order[std::size_t(v)]), v);
    m_articleGrid->setFitColumns(true);
}

void MainWindow::restoreWindow(const IniFile& ini) {
    namespace k = settings::keys;
    // Absent keys take the splash window's bounds while it is on the screen, else the window's own.
    const QRect splash = SplashScreen::currentBounds();
    const QRect bounds = splash.isEmpty() ? geometry() : splash;
    const int w = settings::Read(ini, k::WindowWidth, bounds.width());
    const int h = settings::Read(ini, k::WindowHeight, bounds.height());
    const int top = settings::Read(ini, k::WindowTop, bounds.y());
    const int left = settings::Read(ini, k::WindowLeft, bounds.x());
    // The normal bounds first: a maximised window keeps them as its restore size.
    resize(std::max(w, minimumWidth()), std::max(h, minimumHeight()));
    move(left, top);
    switch (settings::Read(ini, k::WindowState)) {
    case 1:
        setWindowState(Qt::WindowMinimized);
        break;
    case 2:
        setWindowState(Qt::WindowNoState);
        break;
    case 3:
        setWindowState(Qt::WindowMaximized);
        break;
    default: // anything else leaves the window as it is
        break;
    }
}

void MainWindow::saveState() {
    IniFile ini = OpenSettingsFile(m_session.appDir());
    namespace k = settings::keys;
    QHeaderView* titles = m_articleGrid->horizontalHeader();
    if (titles->count() == int(kGridColumns)) {
        for (std::size_t c = 0; c < kGridColumns; ++c) {
            const std::string_view field = k::kGridFields[c];
            settings::Write(ini, k::colIndex(field), titles->visualIndex(int(c)));
            settings::Write(ini, k::colWidth(field), titles->sectionSize(int(c)));
        }
    }
    settings::Write(ini, k::Button_caps, m_matchCaseButton->isChecked());
    settings::Write(ini, k::Button_word, m_wholeWordsButton->isChecked());
    if (m_scopeBox->currentIndex() < 0) m_scopeBox->setCurrentIndex(0);
    settings::Write(ini, k::Button_find, std::max(0, m_scopeBox->currentIndex()));
    if (isMinimized()) {
        settings::Write(ini, k::WindowState, 1);
    } else if (isMaximized() || isFullScreen()) {
        settings::Write(ini, k::WindowState, 3);
    } else {
        settings::Write(ini, k::WindowState, 2);
        settings::Write(ini, k::WindowWidth, width());
        settings::Write(ini, k::WindowHeight, height());
        settings::Write(ini, k::WindowTop, y());
        settings::Write(ini, k::WindowLeft, x());
    }
    // Only a pane on the screen has a grid area height worth keeping; before the window was ever shown its
    // panels have no real size.
    if (m_session.ini.select_browser == viewer::kViewerPane && m_shownOnce && !m_viewPane->isHidden())
        m_upperPanelHeight = m_gridArea->height();
    settings::Write(ini, k::Internal_browser_height, m_upperPanelHeight);
    settings::Write(ini, k::text_search, m_session.ini.text_search);
    if (m_session.ini.state_save) {
        settings::Write(ini, k::state_index, m_sortColumn.toStdString());
        settings::Write(ini, k::state_filter, m_filterOnAtClose);
    }
}

} // namespace marovex
