#include "ui/opener.h"

#include "app/mainsession.h"
#include "catalogue/articleview.h"
#include "indexer/archive.h"
#include "ui/archivepane.h"
#include "ui/archiveview.h"
#include "ui/commandguard.h"
#include "ui/desktopopen.h"
#include "ui/helpwindow.h"
#include "ui/messenger.h"

#include <QDesktopServices>
#include <QUrl>

namespace marovex {

namespace {

QString toQString(const std::filesystem::path& file) {
    const std::u8string name = file.u8string();
    return QString::fromUtf8(reinterpret_cast<const char*>(name.data()), qsizetype(name.size()));
}

} // namespace

Opener::Opener(MainSession& session, const Messenger& messages, ArchivePane& pane, QWidget* window)
    : QObject(window), m_session(session), m_messages(messages), m_pane(pane), m_window(window),
      m_shellOpener([this](const QString& file, std::function<void(const Message&)> failed) {
          openWithDesktop(file, this, std::move(failed));
      }) {}

viewer::OpenSettings Opener::settings() const {
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

void Opener::openRow(const std::string& selectedField, Viewer viewer) {
    using Open = void (*)(std::string_view, const viewer::ArticleRow&, const viewer::OpenSettings&,
                          viewer::ViewerHooks&);
    constexpr Open kOpen[] = {&viewer::openCurrentRow, &viewer::openCurrentRowInMsie,
                              &viewer::openCurrentRowInOpera, &viewer::openCurrentRowInDefaultBrowser};
    runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
        kOpen[int(viewer)](selectedField, viewer::currentArticleRow(m_session.articles()), settings(), *this);
    });
}

void Opener::openHelp() {
    runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
        viewer::openHelp(settings(), *this);
    });
}

void Opener::openWhatsNew() {
    runReported(std::bind_front(&Messenger::error, &m_messages), [&] {
        viewer::openWhatsNew(settings(), *this);
    });
}

void Opener::openOnDesktop(const QString& target) {
    const QUrl url(target);
    for (const char* web : {"http", "https", "ftp", "mailto"})
        if (url.scheme() == QLatin1String(web)) {
            QDesktopServices::openUrl(url);
            return;
        }
    openFile(target, viewer::ShellFallback::Report);
}

void Opener::showHelpPage(const QString& file) {
    try {
        if (!m_helpWindow) m_helpWindow = new HelpWindow(m_window);
        m_helpWindow->showPage(std::filesystem::path(file.toStdString()));
    } catch (const std::exception& e) {
        m_messages.error(Message(msg::CannotOpenFile, {textValue(file.toStdString()), textValue(e.what())}));
    }
}

bool Opener::embeddedBrowserPresent() {
    return !m_pane.isHidden() && m_pane.view();
}

void Opener::navigate(const std::filesystem::path& file) {
    if (!embeddedBrowserPresent()) return;
    // The pane shows the archive alone; the settings may have named another one since.
    m_pane.view()->setArchiveRoot(indexer::archiveFolderPath(m_session.archiveFolder));
    m_pane.view()->navigate(file);
}

void Opener::shellOpen(const std::filesystem::path& file, viewer::ShellFallback fallback) {
    openFile(toQString(file), fallback);
}

void Opener::openFile(const QString& name, viewer::ShellFallback fallback) {
    // The desktop may answer after the window has gone.
    m_shellOpener(name, [self = QPointer<Opener>(this), name, fallback](const Message& reason) {
        if (!self) return;
        if (fallback == viewer::ShellFallback::ShowInApplication)
            self->showHelpPage(name);
        else
            self->m_messages.error(Message(msg::CannotOpenFile, {textValue(name.toStdString()), nested(reason)}));
    });
}

void Opener::showMessage(viewer::MessageIcon icon, const std::string& text) {
    m_messages.present(icon == viewer::MessageIcon::Error ? MessageKind::ErrorYes : MessageKind::InformationYes,
                       QString::fromStdString(text));
}

void Opener::setCaption(const std::string& text) {
    m_window->setWindowTitle(QString::fromStdString(text));
}

void Opener::toggleFavourite() {
    catalogue::toggleFavourite(m_session.articles());
}

} // namespace marovex
