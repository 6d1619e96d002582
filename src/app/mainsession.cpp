#include "app/mainsession.h"

#include "base/atomicfile.h"
#include "catalogue/catalogue.h"
#include "search/history.h"

namespace marovex {

namespace {
// How far a remembered row's favourite mark is moved up.
constexpr std::int32_t kRememberOffset = 5;
std::int32_t remembered(std::int32_t izb) {
    return izb + kRememberOffset;
}
std::int32_t forgotten(std::int32_t izb) {
    return izb - kRememberOffset;
}
} // namespace

MainSession::MainSession(std::filesystem::path appDir, catalogue::MessageSink tableReports)
    : m_tableReports(std::move(tableReports)) {
    std::error_code ec;
    m_appDir = std::filesystem::absolute(appDir, ec);
    if (ec) m_appDir = std::move(appDir);
}

MainSession::~MainSession() {
    // Nothing is written on the way out unless the window asked for it.
    m_articles.discard();
    m_topics.discard();
}

namespace {
void inform(Startup& out, Message message) {
    out.notices.push_back({Notice::Kind::Information, std::move(message)});
}
} // namespace

catalogue::TopicFilter& MainSession::topicFilter() {
    if (!m_topicFilter) m_topicFilter = catalogue::bindTopicFilter(m_articles, m_topics);
    return *m_topicFilter;
}

bool MainSession::openCatalogueFile(Startup& out, const std::filesystem::path& file, bool articles) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        inform(out, Message::plain("File not found : \r" + platform::pathToUtf8(file)));
        m_startupFailed = true;
        return false;
    }
    try {
        if (articles)
            catalogue::openArticleTable(m_articles, file, m_tableReports);
        else
            catalogue::openTopicTable(m_topics, file);
    } catch (const std::exception& e) {
        // A damaged or foreign file ends the run like a missing one, and nothing is written over it.
        inform(out, messageOf(e));
        m_startupFailed = true;
        return false;
    }
    return true;
}

bool MainSession::lockFolder(Startup& out) {
    try {
        m_lock = AppFolderLock::acquire(m_appDir);
    } catch (const FolderLocked& e) {
        inform(out, messageOf(e));
        m_startupFailed = true;
        return false;
    } catch (const std::exception&) {
        // A folder that cannot be opened is reported by the steps that read it.
        return true;
    }
    try {
        if (Message note = catalogue::prepareFolderForWriting(m_appDir); !note.empty())
            inform(out, std::move(note));
        // Files the user protected are not replaced at the close, and a window that could not be closed
        // without replacing them would be stuck: such a folder is refused now, with nothing written.
        catalogue::checkCatalogueReplaceable(m_appDir);
    } catch (const std::exception& e) {
        inform(out, messageOf(e));
        m_startupFailed = true;
        return false;
    }
    return true;
}

void MainSession::restoreWindowState(Startup& out) {
    out.state = readWindowState(m_appDir);
    if (!out.state) return;
    ini.text_search = out.state->textSearch;
    const std::string column = ini.state_save ? out.state->sortColumn : std::string(catalogue::kSortStandard);
    if (ini.state_save && out.state->filterOn) {
        catalogue::switchFilter(m_articles, topicFilter(), true);
        out.filterRestored = true;
    }
    out.sortColumn = catalogue::restoreSortColumn(m_articles, column);
}

Startup MainSession::startUp() {
    Startup out;
    // Start-up's first messages come before the language file is applied, in its words all the same.
    messages = readMessageTexts(m_appDir);
    if (!lockFolder(out)) return out;
    if (!openCatalogueFile(out, m_appDir / catalogue::kArticleFile, true)) return out;
    if (!openCatalogueFile(out, m_appDir / catalogue::kTopicFile, false)) {
        m_articles.discard();
        return out;
    }
    out.catalogueOpen = true;
    try {
        topicFilter();
        out.pane = readPaneStart(m_appDir);
        out.settings = loadSettings(m_appDir, ini);
        // A language file that cannot be read leaves the built-in texts; the rest of start-up goes on.
        Message languageProblem;
        applyLanguage(
            language::Target::MainWindow, m_appDir, ini.local,
            [&out](const TextAssignment& a) { out.texts.push_back(a); }, messages, &languageProblem);
        if (!languageProblem.empty()) out.notices.push_back({Notice::Kind::Error, languageProblem});
        restoreWindowState(out);
        m_stateRestored = true;
        ArchiveAccess access;
        if (readAccess(m_appDir, access)) archiveFolder = access.folder;

        const auto historyFile = m_appDir / catalogue::kHistoryFile;
        std::error_code ec;
        if (std::filesystem::exists(historyFile, ec)) out.history = readSearchHistory(historyFile);
        m_historyLoaded = true;

        if (m_articles.isOpen() && m_articles.locate("Find", {FieldValue{std::int32_t(catalogue::kFound)}})) {
            out.searchResultsEnd = true;
            out.selectFirstHistoryEntry = true;
        }
        if (m_articles.rowCount() > 0) restoreRememberedPosition(m_articles);
        m_positionRestored = true;
        out.selectFirstHistoryEntry = true;
    } catch (const std::exception& e) {
        // The remaining steps are skipped; the window still opens.
        out.notices.push_back({Notice::Kind::Error, messageOf(e)});
    }
    return out;
}

MainSession::Closed MainSession::shutDown(const Closing& closing) {
    if (m_startupFailed) {
        m_articles.discard();
        m_topics.discard();
        return {};
    }
    // The small files go first, and each is found replaceable before any is written: a file that cannot
    // be written keeps the window open with its tables as they are, which closeCatalogue's success would
    // discard. Writing them again at the next close is harmless. One the user write-protected is left as
    // it is and said: keeping the window open for it would keep the catalogue from being written.
    Closed closed;
    try {
        const auto historyFile = m_appDir / catalogue::kHistoryFile;
        bool writeState = m_stateRestored, writeHistory = m_historyLoaded;
        for (auto [file, write] :
             {std::pair{settingsFilePath(m_appDir), &writeState}, std::pair{historyFile, &writeHistory}}) {
            if (!*write) continue;
            try {
                checkReplaceable(file);
            } catch (const FileError& e) {
                if (messageOf(e).key != msg::WriteProtected) throw;
                closed.notes.push_back(messageOf(e));
                *write = false;
            }
        }
        if (writeState) writeWindowState(m_appDir, closing.state, ini.state_save);
        if (writeHistory) writeSearchHistory(historyFile, closing.history);
    } catch (const std::exception& e) {
        return {messageOf(e), {}};
    }
    try {
        if (m_articles.isOpen()) {
            m_articles.post();
            // A mark left from the last run that start-up did not take back stays the one remembered.
            if (ini.state_save && m_positionRestored && m_articles.rowCount() > 0) {
                rememberPosition(m_articles);
                m_positionRemembered = true;
                m_rememberedRow = m_articles.bookmark();
            }
        }
    } catch (...) {
        // An edit that cannot be stored was reported when it was refused; it is dropped, not offered again.
        if (m_articles.isOpen() && m_articles.state() != RecordTable::State::Browse) m_articles.cancel();
    }
    try {
        // Both catalogue files as one change (the topic table is not left for later).
        catalogue::closeCatalogue(m_articles, m_topics);
    } catch (const std::exception& e) {
        // The mark goes again, so the row current at the close that succeeds is the one remembered.
        if (m_positionRemembered) {
            try {
                if (m_articles.gotoBookmark(m_rememberedRow)) forgetPosition(m_articles);
            } catch (...) {
            }
            m_positionRemembered = false;
        }
        return {messageOf(e), {}};
    }
    return closed;
}

Message MainSession::closeTopicTable() {
    if (m_startupFailed) {
        m_topics.discard();
        return {};
    }
    try {
        m_topics.close();
    } catch (const std::exception& e) {
        return messageOf(e);
    }
    return {};
}

bool restoreRememberedPosition(RecordTable& articles) {
    if (!articles.locate("Izb", {FieldValue{remembered(0)}}) &&
        !articles.locate("Izb", {FieldValue{remembered(catalogue::kFavourite)}}))
        return false;
    if (!articles.edit()) return false;
    articles.setInt("Izb", forgotten(articles.asInt("Izb")));
    articles.post();
    return true;
}

void forgetPosition(RecordTable& articles) {
    if (!articles.edit()) return;
    articles.setInt("Izb", forgotten(articles.asInt("Izb")));
    articles.post();
}

void rememberPosition(RecordTable& articles) {
    if (!articles.edit()) return;
    articles.setInt("Izb", remembered(articles.asInt("Izb")));
    articles.post();
}

} // namespace marovex
