// The main window: its commands.
#include "ui/mainwindow.h"

#include "catalogue/catalogue.h"
#include "search/findcommand.h"
#include "ui/aboutdialog.h"
#include "ui/commandguard.h"
#include "ui/articlegrid.h"
#include "ui/articlemodel.h"
#include "ui/indexingdialog.h"
#include "ui/placement.h"
#include "ui/searchbar.h"
#include "ui/searchprogressdialog.h"
#include "ui/statusbar.h"
#include "ui/topicpanel.h"

namespace marovex {

void MainWindow::runSearch() {
    if (m_service.isLent()) return; // the tables belong to the indexing worker until it reports completion
    search::FindRequest request;
    request.boxText = m_searchBar->text().toStdString();
    request.scope = search::scopeFromItem(m_searchBar->scope());
    request.options = {m_searchBar->matchCase(), m_searchBar->wholeWords()};
    request.archiveFolder = m_session.archiveFolder;
    request.prefixes = m_session.ini.name_kelvra;
    request.cache = &m_session.fullTextCache();

    // The search detaches only the article grid: the tables stay the window's (the full-text dialog is
    // modal), and the topic filter is switched off and back on by the search itself.
    auto detachGrid = [this](bool detach) {
        if (ArticleModel* model = m_articleGrid->articleModel()) model->setAttached(!detach);
        if (!detach) m_articleGrid->setFocus();
    };
    search::FindHooks hooks;
    hooks.setBoxText = [this](const std::string& text) { m_searchBar->setText(QString::fromStdString(text)); };
    hooks.detachGrid = detachGrid;
    hooks.runFullText = [this](const search::FullTextJob& job) {
        return runFullTextWithProgress(this, m_session.articles(), job, m_service.stopFlag(), m_session.messages);
    };
    hooks.showResult = [this](int hits, bool stopped) {
        // A cancelled search must not pass for one that found nothing more.
        m_messages.present(MessageKind::InformationYes,
                           stopped ? m_messages.text(msg::SearchCancelled, {std::to_string(hits)})
                                   : QString::fromStdString(search::findResultMessage(
                                         m_session.messages[language::kSearchFinishedText],
                                         m_session.messages[language::kArticlesFoundText], hits)));
    };
    hooks.showProblem = [this](const Message& message) { m_messages.error(message); };
    hooks.setClearEnabled = [this](bool enabled) { m_searchBar->setClearEnabled(enabled); };

    std::vector<std::string> entries = m_searchBar->history();
    // a failed full-text walk included: its message shows once
    runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
        search::runSearch(m_session.articles(), entries, m_session.ini.text_search, request, hooks);
    });
    // The history goes back into the box also after a failed walk, keeping the (compacted) text shown.
    const QString text = m_searchBar->text();
    m_searchBar->setHistory(entries);
    m_searchBar->setText(text);
}

void MainWindow::clearSearchResults() {
    if (m_service.isLent()) return;
    search::ClearHooks hooks;
    hooks.detachGrid = [this](bool detach) {
        if (ArticleModel* model = m_articleGrid->articleModel()) model->setAttached(!detach);
        if (!detach) m_articleGrid->setFocus();
    };
    hooks.setClearEnabled = [this](bool enabled) { m_searchBar->setClearEnabled(enabled); };
    runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
        search::clearSearchMarks(m_session.articles(), m_session.ini.text_search, hooks);
    });
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
        m_messages.present(MessageKind::Information, m_messages.text(msg::WaitForSearch));
        return;
    }
    auto* dialog = new IndexingDialog(
        m_service,
        [this](QWidget* over, MessageKind kind, const QString& text) { return m_messages.present(kind, text, over); },
        this);
    connect(dialog, &IndexingDialog::statusChanged, this, [this](int panel, const QString& text) {
        m_statusBar->setText(panel, text);
        m_statusBar->repaint(); // a run's progress holds the event loop
    });
    connect(dialog, &IndexingDialog::settingsRequested, this, &MainWindow::openSettingsDialog);
    connect(dialog, &IndexingDialog::fullRunStarting, this, [this] { m_searchBar->setClearEnabled(false); });
    connect(dialog, &IndexingDialog::runEnded, this, [this] { m_articleGrid->setSortColumn(QStringLiteral("Type")); });
    m_indexingDialog = dialog;
    dialog->setWindowModality(Qt::ApplicationModal);
    centreOnScreen(*dialog);
    dialog->show();
    emit indexingDialogOpened(dialog);
}

void MainWindow::openSettingsDialog() {
    SettingsDialog::openModal(*this, this);
}

void MainWindow::clearSearchHistory() {
    m_searchBar->clearHistory();
}

void MainWindow::toggleTopicFilter() {
    runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
        RecordTable& articles = m_session.articles();
        catalogue::switchFilter(articles, m_session.topicFilter(), !articles.filtered());
    });
    showFilterState();
}

void MainWindow::applyTopicFilter(bool force) {
    if (m_service.isLent()) return;
    runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
        catalogue::filterGo(m_session.articles(), m_session.topicFilter(), force);
    });
    showFilterState();
}

void MainWindow::showFilterState() {
    const bool filtered = m_session.articles().filtered();
    m_statusBar->setText(1, m_messages.text(msg::RowCount, {std::to_string(m_session.articles().rowCount())}));
    m_topicPanel->setFilterButtonText(m_messages.text(filtered ? msg::FilterOffButton : msg::FilterOnButton));
    m_statusBar->setText(2, filtered ? m_messages.text(msg::FilterOnStatus) : QString());
}

void MainWindow::showAboutDialog() {
    AboutDialog::showModal(this, m_session.appDir(), m_session.ini.local);
}

void MainWindow::openCurrentRow() {
    m_opener->openRow(m_articleGrid->selectedField(), Opener::Viewer::Chosen);
}

} // namespace marovex
