// The main window: its commands.
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
#include "ui/helpwindow.h"
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

// --- Commands -----------------------------------------------------------------------------------------

// The search commands detach only the article grid: the tables stay the main window's (the full-text
// dialog is modal), and the topic filter is switched off and back on by the search itself.
void MainWindow::detachArticleGrid(bool detach) {
    if (m_model) m_model->setAttached(!detach);
    if (!detach) m_articleGrid->setFocus();
}

void MainWindow::runSearch() {
    if (m_service.isLent()) return; // the tables belong to the indexing worker until it reports completion
    search::FindRequest request;
    request.boxText = m_searchBox->currentText().toStdString();
    request.scope = search::scopeFromItem(m_scopeBox->currentIndex());
    request.options = {m_matchCaseButton->isChecked(), m_wholeWordsButton->isChecked()};
    request.archiveFolder = m_session.archiveFolder;
    request.prefixes = m_session.ini.name_kelvra;
    request.cache = &m_session.fullTextCache();

    search::FindHooks hooks;
    hooks.setBoxText = [this](const std::string& text) {
        m_searchBox->setEditText(QString::fromStdString(text));
    };
    hooks.detachGrid = [this](bool detach) { detachArticleGrid(detach); };
    hooks.runFullText = [this](const search::FullTextJob& job) {
        return runFullTextWithProgress(this, m_session.articles(), job, m_service.stopFlag(),
                                       m_session.messages);
    };
    hooks.showResult = [this](int hits, bool stopped) {
        // A cancelled search must not pass for one that found nothing more.
        present(MessageKind::InformationYes,
                stopped ? messageText(msg::SearchCancelled, {std::to_string(hits)})
                        : QString::fromStdString(search::findResultMessage(
                              m_session.messages[language::kSearchFinishedText],
                              m_session.messages[language::kArticlesFoundText], hits)));
    };
    hooks.showProblem = [this](const Message& message) {
        present(MessageKind::Error, messageFor(message));
    };
    hooks.setClearEnabled = [this](bool enabled) { setSearchResultsEndEnabled(enabled); };

    std::vector<std::string> entries = history();
    // A failed full-text walk included: its message shows once.
    runReported(std::bind_front(&MainWindow::showError, this), [&] {
        search::runSearch(m_session.articles(), entries, m_session.ini.text_search, request, hooks);
    });
    // The history goes back into the box also after a failed walk, keeping the (compacted) text shown.
    const QString text = m_searchBox->currentText();
    setHistory(entries);
    m_searchBox->setEditText(text);
}

void MainWindow::clearSearchResults() {
    if (m_service.isLent()) return;
    search::ClearHooks hooks;
    hooks.detachGrid = [this](bool detach) { detachArticleGrid(detach); };
    hooks.setClearEnabled = [this](bool enabled) { setSearchResultsEndEnabled(enabled); };
    runReported(std::bind_front(&MainWindow::showError, this),
                [&] { search::clearSearchMarks(m_session.articles(), m_session.ini.text_search, hooks); });
}

void MainWindow::openIndexingDialog() {
    // A run whose dialog was closed is still going: show its dialog again instead of starting a second one.
    if (m_indexingDialog && m_indexingDialog->isRunning()) {
        m_indexingDialog->show();
        m_indexingDialog->raise();
        m_indexingDialog->activateWindow();
        return;
    }
    if (m_service.isLent()) {
        showInformationMessage(messageText(msg::WaitForSearch));
        return;
    }
    auto* dialog = new IndexingDialog(
        m_service,
        [this](QWidget* over, MessageKind kind, const QString& text) { return present(kind, text, over); },
        this);
    connect(dialog, &IndexingDialog::statusChanged, this, [this](int panel, const QString& text) {
        setStatusText(panel, text);
        statusBar()->repaint(); // a run's progress holds the event loop
    });
    connect(dialog, &IndexingDialog::settingsRequested, this, &MainWindow::openSettingsDialog);
    connect(dialog, &IndexingDialog::fullRunStarting, this, [this] { setSearchResultsEndEnabled(false); });
    connect(dialog, &IndexingDialog::runEnded, this, [this] { setSortColumn(QStringLiteral("Type")); });
    m_indexingDialog = dialog;
    dialog->setWindowModality(Qt::ApplicationModal);
    centreOnScreen(*dialog);
    dialog->show();
    emit indexingDialogOpened(dialog);
}

void MainWindow::openSettingsDialog() {
    SettingsDialog::openModal(*this, this);
}

GridLook MainWindow::gridLook() {
    GridLook look;
    look.font = m_gridFont;
    look.linkColor = m_linkColor;
    look.findColor = m_findColor;
    look.tableColor = m_tableColor;
    look.cellLines = m_articleGrid->showGrid();
    look.indicator = m_articleGrid->verticalHeader()->isVisible();
    return look;
}

void MainWindow::applyMainWindowLanguage() {
    const int scope = m_scopeBox->currentIndex();
    applyLanguage(
        language::Target::MainWindow, m_session.appDir(), m_session.ini.local,
        [this](const TextAssignment& a) { setText(a); }, m_session.messages);
    if (scope >= 0 && scope < m_scopeBox->count()) m_scopeBox->setCurrentIndex(scope);
    // What the status bar, the filter button and the pane already show is said again in the new language.
    showFilterState();
    m_viewPane->retranslate();
}

void MainWindow::keepCurrentRow() {
    showCurrentRow(m_session.articles().position());
    m_articleGrid->viewport()->update();
}

void MainWindow::clearSearchHistory() {
    // Only the list goes; the text in the box stays for the next search.
    const QString text = m_searchBox->currentText();
    m_searchBox->clear();
    m_searchBox->setEditText(text);
}

void MainWindow::toggleTopicFilter() {
    runReported(std::bind_front(&MainWindow::showError, this), [&] {
        RecordTable& articles = m_session.articles();
        catalogue::switchFilter(articles, topicFilter(), !articles.filtered());
    });
    showFilterState();
}

void MainWindow::showFilterState() {
    showRowCount();
    showFilterButton();
    setStatusText(2, m_session.articles().filtered() ? messageText(msg::FilterOnStatus) : QString());
}

void MainWindow::showFilterButton() {
    m_topicFilterButton->setText(
        messageText(m_session.articles().filtered() ? msg::FilterOffButton : msg::FilterOnButton));
}

void MainWindow::applyTopicFilter(bool force) {
    if (m_service.isLent()) return;
    runReported(std::bind_front(&MainWindow::showError, this),
                [&] { catalogue::filterGo(m_session.articles(), topicFilter(), force); });
    showFilterState();
}

void MainWindow::filterByTickedTopics() {
    applyTopicFilter(false);
}

void MainWindow::toggleCurrentTopic() {
    if (m_service.isLent()) return;
    runReported(std::bind_front(&MainWindow::showError, this), [&] {
        if (catalogue::toggleTopic(m_session.topics(), m_session.articles(), topicFilter()))
            setStatusText(1, messageText(language::kArticleCountText) + QStringLiteral("  ") +
                                 QString::number(m_session.articles().rowCount()));
    });
}

void MainWindow::onTopicGridKey(int key) {
    if (key == Qt::Key_Space) toggleCurrentTopic();
}

void MainWindow::collapseOrExpandTopicPanel() {
    const bool collapse = m_topicPanel->height() >= kTopicPanelCollapsedHeight + 1;
    m_topicGrid->setVisible(!collapse);
    m_topicPanel->findChild<QFrame*>(QStringLiteral("Bevel1"))->setVisible(!collapse);
    m_topicPanel->resize(m_topicPanel->width(), collapse ? kTopicPanelCollapsedHeight : kTopicPanelHeight);
    // Expanded where it was dragged while collapsed, the panel moves up as far as it needs to stay inside.
    m_topicPanel->move(
        m_topicPanel->x(),
        std::clamp(m_topicPanel->y(), 0, std::max(0, m_gridArea->height() - m_topicPanel->height())));
}

// Pressing on the topic panel's own surface drags it anywhere within the grid area.
bool MainWindow::dragTopicPanel(QEvent* event) {
    const QEvent::Type type = event->type();
    // Every event of the panel passes here; only mouse events may be read as one.
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (type) {
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton) return false;
        m_topicPanelGrip = mouse->position().toPoint(); // the press grabs the mouse until its release
        return true;
    case QEvent::MouseMove: {
        if (m_topicPanelGrip.x() < 0) return false;
        QPoint to = m_topicPanel->mapToParent(mouse->position().toPoint()) - m_topicPanelGrip;
        to.setX(std::clamp(to.x(), 0, std::max(0, topicPanelRightLimit() - m_topicPanel->width())));
        to.setY(std::clamp(to.y(), 0, std::max(0, m_gridArea->height() - m_topicPanel->height())));
        m_topicPanel->move(to);
        m_topicPanelRightGap = topicPanelRightLimit() - m_topicPanel->geometry().right() - 1;
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (m_topicPanelGrip.x() < 0) return false;
        m_topicPanelGrip = QPoint(-1, -1);
        return true;
    default:
        return false;
    }
}

viewer::OpenSettings MainWindow::openSettings() const {
    viewer::OpenSettings s;
    s.appDir = m_session.appDir();
    s.archiveFolder = m_session.archiveFolder;
    s.editionPrefixes = m_session.ini.name_kelvra;
    s.frame = m_session.ini.frame;
    s.viewerChoice = static_cast<viewer::Viewer>(m_session.ini.select_browser);
    s.msieProgram = m_session.ini.path_MSIE;
    s.operaProgram = m_session.ini.path_Opera;
    s.fileNotFoundText = m_session.messages[language::kFileNotFoundText];
    return s;
}

std::string MainWindow::selectedFieldName() const {
    // An empty view has no current cell, but the grid keeps its selected column.
    const QModelIndex current = m_articleGrid->currentIndex();
    const int column = current.isValid()       ? current.column()
                       : m_selectedColumn >= 0 ? m_selectedColumn
                                               : int(ArticleModel::ColStatia);
    return ArticleModel::fieldName(column).toStdString();
}

void MainWindow::runOpening(void (*open)(std::string_view, const viewer::ArticleRow&,
                                         const viewer::OpenSettings&, viewer::ViewerHooks&)) {
    runReported(std::bind_front(&MainWindow::showError, this), [&] {
        open(selectedFieldName(), viewer::currentArticleRow(m_session.articles()), openSettings(),
             *m_viewerHooks);
    });
}

void MainWindow::openWithDesktop(const QString& file, viewer::ShellFallback fallback) {
    // The desktop may answer after the window has gone.
    m_shellOpener(file, [window = QPointer<MainWindow>(this), file, fallback](const Message& reason) {
        if (!window) return;
        if (fallback == viewer::ShellFallback::ShowInApplication)
            window->showHelpPage(file);
        else
            window->showError(Message(msg::CannotOpenFile, {textValue(file.toStdString()), nested(reason)}));
    });
}

void MainWindow::showHelpPage(const QString& file) {
    try {
        if (!m_helpWindow) m_helpWindow = new HelpWindow(this);
        m_helpWindow->showPage(std::filesystem::path(file.toStdString()));
    } catch (const std::exception& e) {
        showError(Message(msg::CannotOpenFile, {textValue(file.toStdString()), textValue(e.what())}));
    }
}

void MainWindow::openHelp() {
    runReported(std::bind_front(&MainWindow::showError, this),
                [&] { viewer::openHelp(openSettings(), *m_viewerHooks); });
}

void MainWindow::openWhatsNew() {
    runReported(std::bind_front(&MainWindow::showError, this),
                [&] { viewer::openWhatsNew(openSettings(), *m_viewerHooks); });
}

void MainWindow::exitApplication() {
    close();
}

void MainWindow::showAboutDialog() {
    AboutDialog::showModal(this, m_session.appDir(), m_session.ini.local);
}

void MainWindow::goToFirstRow() {
    runReported(std::bind_front(&MainWindow::showError, this), [&] { m_session.articles().first(); });
}

void MainWindow::goToLastRow() {
    runReported(std::bind_front(&MainWindow::showError, this), [&] { m_session.articles().last(); });
}

void MainWindow::focusSearchBox() {
    m_searchBox->setFocus(Qt::ShortcutFocusReason);
    m_searchEdit->selectAll();
}

void MainWindow::toggleTopicPanel() {
    m_topicPanel->setVisible(m_topicPanel->isHidden());
    m_topicPanelAction->setChecked(!m_topicPanel->isHidden());
    if (!m_topicPanel->isHidden()) placeTopicPanel();
}

void MainWindow::openCurrentRow() {
    runOpening(&viewer::openCurrentRow);
}
void MainWindow::openCurrentRowInMsie() {
    runOpening(&viewer::openCurrentRowInMsie);
}
void MainWindow::openCurrentRowInOpera() {
    runOpening(&viewer::openCurrentRowInOpera);
}
void MainWindow::openCurrentRowInDefaultBrowser() {
    runOpening(&viewer::openCurrentRowInDefaultBrowser);
}

} // namespace marovex
