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

// Runs once in every document of the page when it has loaded. The search text is looked for as one
// phrase in the text as the page shows it: white space collapsed, block boundaries and line breaks
// ending a phrase, hidden elements, scripts and text areas left out. Each match is wrapped, piece by
// piece where it crosses elements, in spans holding the page's own text nodes, drawn in black or white on
// the highlight colour, whichever contrasts with it.
const char* const kScript = R"JS(
(function (p) {
    'use strict';
    var doc = document;
    if (window === window.top && doc.body) doc.body.style.borderStyle = 'none';
    if (!p.highlight || !doc.body || window.frames.length > 0) return;

    var skipped = {SCRIPT: 1, STYLE: 1, NOSCRIPT: 1, TEXTAREA: 1, TITLE: 1, TEMPLATE: 1, SELECT: 1,
                   IFRAME: 1, FRAME: 1, OBJECT: 1, SVG: 1};
    var chars = [], where = [], lastSpace = true;
    function boundary() {
        if (chars.length && chars[chars.length - 1] !== '\n') { chars.push('\n'); where.push(null); }
        lastSpace = true;
    }
    function walk(element) {
        for (var n = element.firstChild; n; n = n.nextSibling) {
            if (n.nodeType === 3) {
                var t = n.data;
                for (var i = 0; i < t.length; i++) {
                    if (/\s/.test(t[i])) {
                        if (!lastSpace) { chars.push(' '); where.push([n, i]); lastSpace = true; }
                    } else {
                        chars.push(t[i]); where.push([n, i]); lastSpace = false;
                    }
                }
            } else if (n.nodeType === 1) {
                var tag = n.tagName.toUpperCase();
                if (skipped[tag] || tag === 'BR') { boundary(); continue; }
                var display = window.getComputedStyle(n).display;
                if (display === 'none') continue;
                var block = display.indexOf('inline') !== 0 && display !== 'contents';
                if (block) boundary();
                walk(n);
                if (block) boundary();
            }
        }
    }
    walk(doc.body);

    function fold(s) {
        if (p.matchCase) return s;
        var r = '';
        for (var i = 0; i < s.length; i++) {
            var l = s[i].toLowerCase();
            r += l.length === 1 ? l : s[i];
        }
        return r;
    }
    var word = /[\p{L}\p{N}_]/u;
    var hay = fold(chars.join('')), needle = fold(p.text);
    var matches = [], from = 0, k;
    while (needle.length && (k = hay.indexOf(needle, from)) >= 0) {
        var e = k + needle.length;
        if (p.wholeWord && ((k > 0 && word.test(chars[k - 1])) || (e < chars.length && word.test(chars[e])))) {
            from = k + 1;
            continue;
        }
        matches.push([k, e]);
        from = e;
    }

    function wrap(node, a, b) {
        if (b < node.data.length) node.splitText(b);
        var piece = a > 0 ? node.splitText(a) : node;
        var span = doc.createElement('span');
        // The page's own colours (a dark heading, a navy link) would sink into the background; its style
        // sheets must not win over either colour.
        span.style.setProperty('background-color', '#' + p.colour, 'important');
        span.style.setProperty('color', '#' + p.textColour, 'important');
        piece.parentNode.insertBefore(span, piece);
        span.appendChild(piece);
    }
    // Last match first, and within a match the last piece first: splitting a text node keeps its head in
    // the same node, so the positions still to be wrapped stay valid.
    for (var m = matches.length - 1; m >= 0; m--) {
        var pieces = [];
        for (var c = matches[m][0]; c < matches[m][1]; c++) {
            var w = where[c];
            if (!w) continue;
            var last = pieces[pieces.length - 1];
            if (last && last.node === w[0]) last.end = w[1] + 1;
            else pieces.push({node: w[0], start: w[1], end: w[1] + 1});
        }
        for (var q = pieces.length - 1; q >= 0; q--) {
            try { wrap(pieces[q].node, pieces[q].start, pieces[q].end); } catch (err) { /* leave this piece */ }
        }
    }
})(__PARAMETERS__);
)JS";

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
    return QString::fromUtf8(kScript).replace(
        QStringLiteral("__PARAMETERS__"),
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
        emit StatusTextChange(address.isEmpty() ? address : displayAddress(QUrl(address)));
    });
    connect(page(), &QWebEnginePage::loadStarted, this, &ArchiveView::refreshHighlight);
    connect(page(), &QWebEnginePage::loadFinished, this, [this] { emit DocumentComplete(this); });
    Navigate(QStringLiteral("about:blank"));
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

void ArchiveView::Navigate(const QString& address) {
    refreshHighlight();
    const QUrl url = QUrl::fromUserInput(address);
    if (url.isLocalFile()) return Navigate(std::filesystem::path(url.toLocalFile().toStdString()));
    load(url.isValid() ? url : QUrl(address));
}

void ArchiveView::Navigate(const std::filesystem::path& file) {
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
    emit OnMouseEnter(this);
}

void ArchiveView::leaveEvent(QEvent* event) {
    QWebEngineView::leaveEvent(event);
    emit OnMouseLeave(this);
}

} // namespace marovex
