#include "ui/archiveview.h"

#include "viewer/archiveaddress.h"
#include "viewer/opening.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUrl>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include <cmath>

namespace marovex {

namespace {

const QString kScriptName = QStringLiteral("marovex-document-complete");

// The highlight script (resources/scripts/highlight.js), its parameters put in for __PARAMETERS__.
const QString& highlightScript() {
    static const QString script = [] {
        QFile file(QStringLiteral(":/scripts/highlight.js"));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }();
    return script;
}

// Black or white, whichever stands out more against the background RRGGBB by the relative luminance of
// WCAG: the two contrasts are equal at a luminance of about 0.18.
QString textColourOn(const QString& background) {
    const uint rgb = background.toUInt(nullptr, 16);
    const auto linear = [](uint channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double luminance =
        0.2126 * linear(rgb >> 16 & 0xFF) + 0.7152 * linear(rgb >> 8 & 0xFF) + 0.0722 * linear(rgb & 0xFF);
    return (luminance + 0.05) * (luminance + 0.05) > 0.05 * 1.05 ? QStringLiteral("000000")
                                                                 : QStringLiteral("FFFFFF");
}

QString scriptFor(const HighlightRequest& request) {
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{6}$"));
    QString colour = QString::fromStdString(request.colourHex);
    if (!hex.match(colour).hasMatch()) colour = QStringLiteral("000075");
    QJsonObject parameters;
    parameters[QStringLiteral("highlight")] = viewer::shouldHighlight(request.text);
    parameters[QStringLiteral("text")] = QString::fromStdString(request.text);
    parameters[QStringLiteral("wholeWord")] = request.wholeWord;
    parameters[QStringLiteral("matchCase")] = request.matchCase;
    parameters[QStringLiteral("colour")] = colour;
    parameters[QStringLiteral("textColour")] = textColourOn(colour);
    return QString(highlightScript())
        .replace(QStringLiteral("__PARAMETERS__"),
                 QString::fromUtf8(QJsonDocument(parameters).toJson(QJsonDocument::Compact)));
}

const QByteArray kScheme =
    QByteArray(viewer::kArchiveScheme.data(), qsizetype(viewer::kArchiveScheme.size()));
const QString kHost =
    QString::fromLatin1(viewer::kArchiveHost.data(), qsizetype(viewer::kArchiveHost.size()));

QString fromPath(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return QString::fromUtf8(reinterpret_cast<const char*>(name.data()), qsizetype(name.size()));
}

bool isOwnAddress(const QUrl& url) {
    const QString scheme = url.scheme();
    return scheme == QLatin1String(kScheme) || scheme == QLatin1String("about") ||
           scheme == QLatin1String("data") || scheme == QLatin1String("blob");
}

// Every request the engine makes for a page passes here: anything but the archive's own addresses (and the
// engine's inner ones) is refused, local files and the network alike.
class RequestGuard final : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (!isOwnAddress(info.requestUrl())) info.block(true);
    }
};

// Whether the engine shows a file of this type in a frame. Any other type it hands to a download, whose
// file it makes (under the user's data folder) before the download can be refused: such a file is never
// navigated to.
bool engineShows(const QString& type) {
    // Text the engine takes for data to keep rather than to read.
    for (const char* kept : {"text/csv", "text/tab-separated-values", "text/calendar", "text/vcard"})
        if (type == QLatin1String(kept)) return false;
    if (type.startsWith(QLatin1String("text/"))) return true;
    for (const char* shown :
         {"application/xhtml+xml", "application/xml", "application/javascript", "application/json",
          "image/svg+xml", "image/jpeg", "image/png", "image/gif", "image/bmp", "image/webp",
          "image/vnd.microsoft.icon", "audio/mpeg", "audio/ogg", "audio/x-wav", "video/webm", "video/mp4"})
        if (type == QLatin1String(shown)) return true;
    return false;
}

// The type an archive file is served with: by its name, as the archive's authors' system took it.
QString typeOfFile(const QString& name) {
    return QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension).name();
}

// The page of the view: it follows the archive's links itself and hands a link to a remote address to the
// desktop's browser.
class ArchivePage final : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        // A link to an archive file the pane cannot show (a .zip, an .exe, a .doc) does nothing.
        if (url.scheme() == QLatin1String(kScheme)) return engineShows(typeOfFile(url.path()));
        if (isOwnAddress(url)) return true;
        const QString scheme = url.scheme();
        const bool remote = scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                            scheme == QLatin1String("mailto") || scheme == QLatin1String("ftp");
        if (remote && type == NavigationTypeLinkClicked && isMainFrame) QDesktopServices::openUrl(url);
        return false;
    }
};

} // namespace

// Answers the archive's addresses with the files they resolve to; anything else fails like a missing file.
class ArchiveSchemeHandler final : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    std::filesystem::path root;

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QUrl url = job->requestUrl();
        if (job->requestMethod() != "GET" || url.host() != kHost || root.empty()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        const std::optional<std::filesystem::path> file =
            viewer::resolveArchiveAddress(root, url.path(QUrl::FullyDecoded).toStdString());
        auto* content = file ? new QFile(fromPath(*file), job) : nullptr;
        if (!content || !content->open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        job->reply(typeOfFile(content->fileName()).toLatin1(), content);
    }
};

ArchiveView::ArchiveView(QWidget* parent) : QWebEngineView(parent), m_profile(new QWebEngineProfile(this)) {
    // A profile without a storage name is off the record: cache and cookies live in memory only. What the
    // engine keeps on disk all the same goes into the view's own temporary folder.
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    if (m_engineFiles.isValid()) {
        m_profile->setPersistentStoragePath(m_engineFiles.filePath(QStringLiteral("storage")));
        m_profile->setCachePath(m_engineFiles.filePath(QStringLiteral("cache")));
        m_profile->setDownloadPath(m_engineFiles.path());
    }
    // What still becomes a download (a page's own download link or script) is refused here, though the
    // engine has made its file by then.
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest* download) { download->cancel(); });
    m_profile->setUrlRequestInterceptor(new RequestGuard(m_profile));
    m_archive = new ArchiveSchemeHandler(m_profile);
    m_profile->installUrlSchemeHandler(kScheme, m_archive);

    setPage(new ArchivePage(m_profile, this));
    QWebEngineSettings* settings = page()->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    // The archive's pages are Windows-1251; one that does not say so is read as such.
    settings->setDefaultTextEncoding(QStringLiteral("windows-1251"));
    setFocusPolicy(Qt::StrongFocus);
    setHighlight({});
    connect(page(), &QWebEnginePage::linkHovered, this, [this](const QString& address) {
        emit statusTextChanged(address.isEmpty() ? address : displayAddress(QUrl(address)));
    });
    connect(page(), &QWebEnginePage::loadStarted, this, &ArchiveView::refreshHighlight);
    navigate(QStringLiteral("about:blank"));
}

ArchiveView::~ArchiveView() {
    // The page must go before its profile, which is one of this view's children.
    delete page();
}

void ArchiveView::prepareApplication() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The engine's graphics would otherwise keep shader caches in the user's home folder: Qt's, and Mesa's,
    // which lies under the home folder of the user database whatever $HOME says. Mesa's stays on where the
    // user set its switches; older Mesa reads the second name.
    QCoreApplication::setAttribute(Qt::AA_DisableShaderDiskCache);
    for (const char* name : {"MESA_SHADER_CACHE_DISABLE", "MESA_GLSL_CACHE_DISABLE"})
        if (!qEnvironmentVariableIsSet(name)) qputenv(name, "true");
    static const bool registered = [] {
        QWebEngineUrlScheme scheme(kScheme);
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
        scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
        scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
        QWebEngineUrlScheme::registerScheme(scheme);
        return true;
    }();
    (void)registered;
}

void ArchiveView::setArchiveRoot(const std::filesystem::path& root) {
    m_archive->root = root.lexically_normal();
}

void ArchiveView::navigate(const QString& address) {
    refreshHighlight();
    const QUrl url = QUrl::fromUserInput(address);
    if (url.isLocalFile()) return navigate(std::filesystem::path(url.toLocalFile().toStdString()));
    load(url.isValid() ? url : QUrl(address));
}

void ArchiveView::navigate(const std::filesystem::path& file) {
    if (m_archive->root.empty()) setArchiveRoot(std::filesystem::absolute(file).parent_path());
    refreshHighlight();
    const std::optional<std::string> path =
        viewer::archiveAddressPath(m_archive->root, std::filesystem::absolute(file));
    if (!path) return; // only the archive is shown here
    QUrl url;
    url.setScheme(QString::fromLatin1(kScheme));
    url.setHost(kHost);
    url.setPath(QString::fromStdString(*path), QUrl::DecodedMode);
    load(url);
}

QString ArchiveView::displayAddress(const QUrl& url) const {
    if (url.scheme() != QLatin1String(kScheme) || url.host() != kHost) return url.toString();
    return QDir::toNativeSeparators(fromPath(m_archive->root) + url.path(QUrl::FullyDecoded));
}

void ArchiveView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    for (QWebEnginePage::WebAction action :
         {QWebEnginePage::Back, QWebEnginePage::Forward, QWebEnginePage::Reload, QWebEnginePage::Copy,
          QWebEnginePage::SelectAll}) {
        if (action == QWebEnginePage::Copy) menu.addSeparator();
        menu.addAction(pageAction(action));
    }
    menu.exec(event->globalPos());
}

void ArchiveView::setHighlightSource(std::function<HighlightRequest()> source) {
    m_source = std::move(source);
    refreshHighlight();
}

void ArchiveView::setHighlight(const HighlightRequest& request) {
    m_highlight = request;
    QWebEngineScriptCollection& scripts = page()->scripts();
    for (const QWebEngineScript& old : scripts.find(kScriptName))
        scripts.remove(old);
    QWebEngineScript script;
    script.setName(kScriptName);
    script.setInjectionPoint(QWebEngineScript::Deferred);
    script.setRunsOnSubFrames(true);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setSourceCode(scriptFor(request));
    scripts.insert(script);
}

void ArchiveView::refreshHighlight() {
    if (m_source) setHighlight(m_source());
}

void ArchiveView::enterEvent(QEnterEvent* event) {
    QWebEngineView::enterEvent(event);
    emit pointerEntered(this);
}

void ArchiveView::leaveEvent(QEvent* event) {
    QWebEngineView::leaveEvent(event);
    emit pointerLeft(this);
}

} // namespace marovex
