#include "ui/mainwindow.h"

#include "catalogue/catalogue.h"
#include "ui/archivepane.h"
#include "ui/archiveview.h"
#include "ui/articlegrid.h"
#include "ui/articlemodel.h"
#include "ui/clientarea.h"
#include "ui/icons.h"
#include "ui/qttranslations.h"
#include "ui/searchbar.h"
#include "ui/splashscreen.h"
#include "ui/statusbar.h"
#include "ui/topicmodel.h"
#include "ui/topicpanel.h"
#include "ui/windowtexts.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace marovex {

MainWindow::MainWindow(std::filesystem::path appDir, MessagePresenter presenter, QWidget* parent)
    : QMainWindow(parent), m_service(std::move(appDir)), m_session(m_service.session()),
      m_messages(this, m_session.messages, std::move(presenter)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kApplicationTitle);
    useQtTranslations(true); // as the built-in texts, until a language file says otherwise
    setWindowIcon(icons::toolIcon(icons::Icon::Binoculars));
    connect(&m_service, &CatalogueService::tablesLent, this, [this](bool filterSwitchedOff) {
        if (filterSwitchedOff) m_topicPanel->setFilterButtonText(m_messages.text(msg::FilterOnButton));
        setTablesLent(true);
    });
    connect(&m_service, &CatalogueService::tablesReturned, this, [this] { setTablesLent(false); });
    connect(&m_service, &CatalogueService::tableReport, this,
            [this](const QString& text) { m_messages.present(MessageKind::Information, text); });

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(client);
    m_clientArea = new ClientArea(client);
    layout->addWidget(m_clientArea);
    m_articleGrid = m_clientArea->articleGrid();
    m_topicPanel = m_clientArea->topicPanel();
    m_pane = m_clientArea->pane();
    m_opener = new Opener(m_session, m_messages, *m_pane, this);
    m_statusBar = new StatusBar(this);
    setStatusBar(m_statusBar);
    buildActions();
    buildMenus();
    buildToolBars();
    followClientArea();
    // The design size: a client area of 789 by 333 pixels below the menu.
    resize(789, 333 + menuBar()->sizeHint().height());

    showStartup(m_session.startUp());
    if (m_articleGrid->articleModel()) m_articleGrid->showRow(m_session.articles().position());
}

MainWindow::~MainWindow() {
    waitForWorker();
    delete m_pane->view(); // its page goes before the window's other children
    m_articleGrid->detach();
    if (m_topicModel) {
        m_topicPanel->grid()->setModel(nullptr);
        delete m_topicModel;
        m_topicModel = nullptr;
    }
    // The topic table goes with the main window; it is written back here when it changed.
    const Message error = m_session.closeTopicTable();
    if (!error.empty()) m_messages.error(error);
}

// --- Start-up and shutdown ----------------------------------------------------------------------------

void MainWindow::showStartup(const Startup& startup) {
    if (startup.catalogueOpen) {
        attachGrids();
        if (startup.pane) m_clientArea->preparePane(startup.pane->gridAreaHeight, startup.pane->paneShown);
        if (startup.settings) applySettings(*startup.settings);
        for (const TextAssignment& text : startup.texts)
            assignText(*this, text);
        m_pane->retranslate();
        m_topicPanel->setFilterButtonText(
            m_messages.text(m_session.articles().filtered() ? msg::FilterOffButton : msg::FilterOnButton));
        if (startup.state) restoreState(startup);
        if (startup.history) m_searchBar->setHistory(*startup.history);
        if (startup.searchResultsEnd) m_searchBar->setClearEnabled(true);
        if (startup.selectFirstHistoryEntry) m_searchBar->selectHistoryEntry(0);
    }
    for (const Notice& notice : startup.notices) {
        if (notice.kind == Notice::Kind::Error)
            m_messages.error(notice.message);
        else
            m_messages.information(notice.message);
    }
}

// The grids take the tables as soon as they are open, so that everything start-up does to the tables
// afterwards (order, filter, current row) shows at once.
void MainWindow::attachGrids() {
    m_articleGrid->attach(m_session.articles());
    m_topicModel = new TopicModel(m_session.topics(), this);
    CatalogueGrid* topics = m_topicPanel->grid();
    topics->setModel(m_topicModel);
    topics->setColumnWidthHint(TopicModel::ColTem, 150);
    topics->setColumnWidthHint(TopicModel::ColKey, 20);
    topics->setFitColumns(true);
    connect(topics->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && m_topicModel->isAttached() &&
                    current.row() != m_session.topics().position())
                    m_session.topics().moveTo(current.row());
            });
}

void MainWindow::restoreState(const Startup& startup) {
    const WindowState& state = *startup.state;
    m_articleGrid->applyLook({state.font, state.linkColor, state.findColor, state.tableColor});
    m_articleGrid->restoreColumns(state);
    // Absent bounds take the splash window's while it is on the screen, else the window's own.
    const QRect splash = SplashScreen::currentBounds();
    m_placement.restore(*this, state, splash.isEmpty() ? geometry() : splash);
    m_searchBar->setOptions(state.matchCase, state.wholeWords, state.scope);
    m_pane->setZoomPercent(state.zoomPercent);
    if (startup.filterRestored) m_statusBar->setText(2, m_messages.text(language::kFilterRestoredText));
    if (!startup.sortColumn) return; // restoring the order failed, and start-up reports why
    m_articleGrid->setSortColumn(QString::fromStdString(*startup.sortColumn));
    m_statusBar->setText(1, m_messages.text(msg::RowCount, {std::to_string(m_session.articles().rowCount())}));
}

WindowState MainWindow::currentState() const {
    WindowState state;
    m_articleGrid->saveColumns(state);
    state.matchCase = m_searchBar->matchCase();
    state.wholeWords = m_searchBar->wholeWords();
    state.scope = std::max(0, m_searchBar->scope());
    m_placement.save(*this, state);
    // The height the user dragged the grid area to, or the stored one: a window too small for it shows less.
    state.gridAreaHeight = m_clientArea->gridAreaHeight();
    state.zoomPercent = m_pane->zoomPercent();
    state.textSearch = m_session.ini.text_search;
    state.sortColumn = m_articleGrid->sortColumn().toStdString();
    state.filterOn = m_session.articles().isOpen() && m_session.articles().filtered();
    return state;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shownOnce) return;
    m_shownOnce = true;
    // The window manager's frame is known when the window is first exposed.
    if (QWindow* window = windowHandle()) window->installEventFilter(this);
    // After a failed start-up the window closes the moment it is shown, which ends the application.
    if (m_session.startupFailed()) QTimer::singleShot(0, this, &QWidget::close);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == static_cast<QObject*>(windowHandle()) && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        watched->removeEventFilter(this);
        m_placement.fitFrame(*this);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_service.isLent()) {
        // The tables belong to the worker until it reports completion: ask it to stop and close then.
        m_service.stopFlag() = true;
        m_closeAfterWorker = true;
        event->ignore();
        return;
    }
    // The state is taken before the table is closed; its filter is part of that state.
    const MainSession::Closed closed = m_session.shutDown({currentState(), m_searchBar->history()});
    if (closed.error) {
        m_messages.error(*closed.error);
        event->ignore();
        return;
    }
    for (const Message& note : closed.notes)
        m_messages.error(note);
    event->accept();
}

// --- Workers ------------------------------------------------------------------------------------------

void MainWindow::waitForWorker() {
    if (!m_service.isLent()) return;
    m_service.stopFlag() = true;
    // The worker's reports run on this thread: an event loop serves them until the last one has ended it.
    QEventLoop untilEnded;
    connect(&m_service, &CatalogueService::tablesReturned, &untilEnded, &QEventLoop::quit);
    if (m_service.isLent()) untilEnded.exec();
}

void MainWindow::setTablesLent(bool lent) {
    if (ArticleModel* model = m_articleGrid->articleModel()) model->setAttached(!lent);
    if (m_topicModel) m_topicModel->setAttached(!lent);
    for (QAction* a : {m_findAction, m_clearResultsAction, m_settingsAction, m_topicFilterAction,
                       m_firstRowAction, m_lastRowAction})
        a->setEnabled(!lent);
    if (!lent && m_closeAfterWorker) {
        m_closeAfterWorker = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

// --- Settings and language ----------------------------------------------------------------------------

GridLook MainWindow::gridLook() {
    return m_articleGrid->look();
}

void MainWindow::applyGridLook(const Font& font, Color linkColor, Color findColor, Color tableColor) {
    m_articleGrid->applyLook({font, linkColor, findColor, tableColor});
}

void MainWindow::applySettings(const SettingsEffects& effects) {
    switchViewPane(effects.viewPane);
    m_articleGrid->setLines(effects.cellLines, effects.indicator);
}

void MainWindow::reapplyTopicFilter() {
    if (m_session.articles().filtered()) applyTopicFilter(true);
}

void MainWindow::applyMainWindowLanguage() {
    const int scope = m_searchBar->scope();
    applyLanguage(
        language::Target::MainWindow, m_session.appDir(), m_session.ini.local,
        [this](const TextAssignment& a) { assignText(*this, a); }, m_session.messages);
    if (scope >= 0) m_searchBar->setOptions(m_searchBar->matchCase(), m_searchBar->wholeWords(), scope);
    // What the status bar, the filter button and the pane already show is said again in the new language.
    showFilterState();
    m_pane->retranslate();
}

void MainWindow::keepCurrentRow() {
    m_articleGrid->showRow(m_session.articles().position());
    m_articleGrid->viewport()->update();
}

// --- The pane -----------------------------------------------------------------------------------------

void MainWindow::switchViewPane(bool on) {
    // Only a switch off and on tries again to make a view that could not be made.
    if (!m_clientArea->showPane(on) || m_pane->view()) return;
    if (!m_pane->makeView()) {
        m_messages.present(MessageKind::Plain, m_messages.text(msg::PaneNotCreated));
        return;
    }
    ArchiveView* view = m_pane->view();
    QWidget::setTabOrder(m_topicPanel->grid(), view); // after the grids, as it lies below them
    view->setHighlightSource([this] {
        return HighlightRequest{m_session.ini.text_search, m_searchBar->wholeWords(), m_searchBar->matchCase(),
                                colorToHex(m_session.ini.color_htm_fon)};
    });
}

ArchiveView* MainWindow::webBrowser() const {
    return m_pane->isHidden() ? nullptr : m_pane->view();
}

void MainWindow::giveFocus(QWidget* target) {
    m_searchBar->box()->setFocus();
    target->setFocus();
}

} // namespace marovex
