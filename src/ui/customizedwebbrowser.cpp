#include "ui/customizedwebbrowser.h"

#include "base/cp1251.h"
#include "viewer/opening.h"

#include <QApplication>
#include <QEnterEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace marovex {

namespace {

const QString kScriptName = QStringLiteral("marovex-document-complete");

// Runs once in every document of the page when it has loaded. The search text is looked for as one
// phrase in the text as the page shows it: white space collapsed, block boundaries and line breaks
// ending a phrase, hidden elements, scripts and text areas left out. Each match is wrapped, piece by
// piece where it crosses elements, in spans holding the page's own text nodes.
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
        span.setAttribute('style', 'background-color: #' + p.colour);
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

QString scriptFor(const HighlightRequest& request) {
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{6}$"));
    QString colour = QString::fromStdString(request.colourHex);
    if (!hex.match(colour).hasMatch()) colour = QStringLiteral("000075");
    QJsonObject parameters;
    parameters[QStringLiteral("highlight")] = viewer::ShouldHighlight(request.text);
    parameters[QStringLiteral("text")] = QString::fromStdString(cp1251::toUtf8(request.text));
    parameters[QStringLiteral("wholeWord")] = request.wholeWord;
    parameters[QStringLiteral("matchCase")] = request.matchCase;
    parameters[QStringLiteral("colour")] = colour;
    return QString::fromUtf8(kScript).replace(
        QStringLiteral("__PARAMETERS__"),
        QString::fromUtf8(QJsonDocument(parameters).toJson(QJsonDocument::Compact)));
}

} // namespace

TCustomizedWebBrowser::TCustomizedWebBrowser(QWidget* parent)
    : QWebEngineView(parent), m_profile(new QWebEngineProfile(this)) {
    // A profile without a storage name is off the record: cache and cookies live in memory only.
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    setPage(new QWebEnginePage(m_profile, this));
    setFocusPolicy(Qt::StrongFocus);
    setHighlight({});
    connect(page(), &QWebEnginePage::linkHovered, this, &TCustomizedWebBrowser::StatusTextChange);
    connect(page(), &QWebEnginePage::loadStarted, this, &TCustomizedWebBrowser::refreshHighlight);
    connect(page(), &QWebEnginePage::loadFinished, this, [this] { emit DocumentComplete(this); });
    Navigate(QStringLiteral("about:blank"));
}

TCustomizedWebBrowser::~TCustomizedWebBrowser() {
    // The page must go before its profile, which is one of this view's children.
    delete page();
}

void TCustomizedWebBrowser::prepareApplication() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void TCustomizedWebBrowser::Navigate(const QString& address) {
    refreshHighlight();
    const QUrl url = QUrl::fromUserInput(address);
    load(url.isValid() ? url : QUrl(address));
}

void TCustomizedWebBrowser::Navigate(const std::filesystem::path& file) {
    const std::u8string name = file.u8string();
    refreshHighlight();
    load(QUrl::fromLocalFile(
        QString::fromUtf8(reinterpret_cast<const char*>(name.data()), qsizetype(name.size()))));
}

void TCustomizedWebBrowser::setHighlightSource(std::function<HighlightRequest()> source) {
    m_source = std::move(source);
    refreshHighlight();
}

void TCustomizedWebBrowser::setHighlight(const HighlightRequest& request) {
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

void TCustomizedWebBrowser::refreshHighlight() {
    if (m_source) setHighlight(m_source());
}

void TCustomizedWebBrowser::enterEvent(QEnterEvent* event) {
    QWebEngineView::enterEvent(event);
    emit OnMouseEnter(this);
}

void TCustomizedWebBrowser::leaveEvent(QEvent* event) {
    QWebEngineView::leaveEvent(event);
    emit OnMouseLeave(this);
}

} // namespace marovex
