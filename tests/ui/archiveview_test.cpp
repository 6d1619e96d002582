#include "archivegen/archivegen.h"
#include "base/cp1251.h"
#include "indexer/archive.h"
#include "support/testsupport.h"
#include "support/uisupport.h"
#include "ui/archiveview.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <sys/inotify.h>
#include <unistd.h>

using namespace marovex;
using marovex::test::TempDir;

namespace {

// Every document of the page, frames nested in braces: the body's border style, then the highlighted
// texts in brackets ("!" marks a highlight not drawn white on the standard navy).
const char* const kDump = R"JS(
(function dump(w) {
    var doc = w.document;
    var marks = [].map.call(doc.querySelectorAll('span[style]'), function (s) {
        var shown = w.getComputedStyle(s);
        var right = shown.backgroundColor === 'rgb(0, 0, 117)' && shown.color === 'rgb(255, 255, 255)';
        return (right ? '' : '!') + s.textContent;
    });
    var r = (doc.body ? doc.body.style.borderStyle : '-') + '[' + marks.join('|') + ']';
    var frames = [];
    for (var i = 0; i < w.frames.length; i++) frames.push(dump(w.frames[i]));
    return frames.length ? r + '{' + frames.join(',') + '}' : r;
})(window)
)JS";

// A page in the archive's code page.
std::string page(const std::string& bodyUtf8, const std::string& head = {}) {
    return cp1251::fromUtf8(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">" + head +
        "</head><body>" + bodyUtf8 + "</body></html>");
}

} // namespace

class ArchiveViewTest : public QObject {
    Q_OBJECT

    TempDir m_dir;
    ArchiveView* m_browser = nullptr;

    QString evaluate(const QString& script) {
        QString result;
        bool done = false;
        m_browser->page()->runJavaScript(script, [&](const QVariant& v) {
            result = v.toString();
            done = true;
        });
        if (!QTest::qWaitFor([&] { return done; }, 10000)) return QStringLiteral("<no answer>");
        return result;
    }
    QString dump() { return evaluate(QString::fromUtf8(kDump)); }

    // A click on the middle of the page's element of that id, as the mouse makes it.
    void clickElement(const QString& id) {
        const QStringList xy =
            evaluate(
                QStringLiteral("(function () { var r = document.getElementById('%1').getBoundingClientRect();"
                               " return (r.left + r.width / 2) + ',' + (r.top + r.height / 2); })()")
                    .arg(id))
                .split(QLatin1Char(','));
        QCOMPARE(xy.size(), 2);
        test::clickAt(m_browser->focusProxy(), QPoint(int(xy[0].toDouble()), int(xy[1].toDouble())));
    }

    // Loads an address of the view and tells whether it loaded (a file the archive lacks does not).
    bool load(const QUrl& url) {
        QSignalSpy finished(m_browser->page(), &QWebEnginePage::loadFinished);
        m_browser->load(url);
        return finished.wait(20000) && finished.last().first().toBool();
    }

    bool open(const std::string& file, const std::string& searchUtf8, bool wholeWord = false,
              bool matchCase = false, const std::string& colour = "000075") {
        m_browser->setHighlight({searchUtf8, wholeWord, matchCase, colour});
        QSignalSpy complete(m_browser, &ArchiveView::loadFinished);
        m_browser->navigate(m_dir / file);
        return complete.wait(30000);
    }

private slots:
    void init() {
        m_browser = new ArchiveView;
        m_browser->resize(600, 400);
        m_browser->show();
    }
    void cleanup() { delete m_browser; }

    // The generated archive spells folders and files in other letter cases than its pages name them, as
    // the originals written on Windows do: every frame, picture and article link still loads.
    void archivePages_everyFramePictureAndLinkLoadsWhateverItsLetterCase() {
        gen::GenOptions options;
        options.out = m_dir / "archive";
        options.seed = 11;
        options.issues = 6;
        options.articlesPerIssue = 5;
        gen::GenerateArchive(options);
        m_browser->setArchiveRoot(options.out);
        int links = 0;
        for (const gen::PlannedIssue& issue : gen::PlanArchive(options).issues) {
            indexer::CaseInsensitivePaths paths;
            const auto index = paths.resolve(options.out / issue.folder, {"index.htm"});
            QVERIFY(index);
            QSignalSpy complete(m_browser, &ArchiveView::loadFinished);
            m_browser->navigate(*index);
            QVERIFY(complete.wait(20000));
            // Both frames hold their pages (a failed one would be an error page of another origin), with
            // their pictures; the left frame's links are what the user clicks.
            const QString state = evaluate(QStringLiteral(R"JS(
                (function () {
                    var out = [];
                    for (var i = 0; i < window.frames.length; i++) {
                        try {
                            var d = window.frames[i].document;
                            if (d.readyState !== 'complete' || !d.body || !d.body.textContent.trim()) return 'empty frame ' + i;
                            var bad = [].filter.call(d.images, function (m) { return !(m.complete && m.naturalWidth > 0); });
                            if (bad.length) return 'picture ' + bad[0].getAttribute('src');
                            if (i === 0) out = [].map.call(d.querySelectorAll('a[href]'), function (a) { return a.href; });
                        } catch (e) { return 'frame ' + i + ' failed'; }
                    }
                    return window.frames.length === 2 ? out.join('\n') : 'frames: ' + window.frames.length;
                })()
            )JS"));
            QVERIFY2(!state.startsWith(QStringLiteral("frame")) &&
                         !state.startsWith(QStringLiteral("empty")) &&
                         !state.startsWith(QStringLiteral("picture")),
                     qPrintable(QString::fromStdString(issue.folder) + QStringLiteral(": ") + state));
            for (const QString& href : state.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const QUrl url(href);
                if (url.path().endsWith(QLatin1Char('/'))) continue; // the empty address "../pub/"
                QVERIFY2(load(url), qPrintable(href));
                ++links;
            }
        }
        QVERIFY(links > 20);
    }

    // A page cannot read what lies outside the archive: not by a script, not by frames with file
    // addresses or paths climbing out, not through a symbolic link inside the archive.
    void hostilePage_showsNothingFromOutsideTheArchive() {
        test::writeFile(m_dir / "secret.htm", "<html><body>SECRET-OUTSIDE</body></html>");
        const auto archive = m_dir / "archive";
        std::filesystem::create_directories(archive / "issue" / "pub");
        std::filesystem::create_symlink(m_dir / "secret.htm", archive / "issue" / "pub" / "link.htm");
        const QString secretUrl =
            QUrl::fromLocalFile(QString::fromStdString((m_dir / "secret.htm").string())).toString();
        test::writeFile(
            archive / "issue" / "hostile.htm",
            "<html><body><p>page</p>"
            "<iframe src=\"" +
                secretUrl.toStdString() +
                "\"></iframe>"
                "<iframe src=\"../../../../secret.htm\"></iframe>"
                "<iframe src=\"pub/link.htm\"></iframe>"
                "<script>var seen = [];"
                "function get(u) { try { var x = new XMLHttpRequest(); x.open('GET', u, false); x.send();"
                " seen.push(x.responseText); } catch (e) {} }"
                "get('" +
                secretUrl.toStdString() +
                "'); get('file:///etc/hostname'); get('pub/link.htm');"
                "</script></body></html>");
        m_browser->setArchiveRoot(archive);
        QSignalSpy complete(m_browser, &ArchiveView::loadFinished);
        m_browser->navigate(archive / "issue" / "hostile.htm");
        QVERIFY(complete.wait(20000));
        QTest::qWait(500); // the frames have had their chance
        const QString seen = evaluate(QStringLiteral(R"JS(
            (function () {
                var out = seen.slice();
                for (var i = 0; i < window.frames.length; i++) {
                    try { out.push(window.frames[i].document.documentElement.outerHTML); } catch (e) {}
                }
                return out.join('|');
            })()
        )JS"));
        QVERIFY2(!seen.contains(QStringLiteral("SECRET-OUTSIDE")), qPrintable(seen));
        std::string hostname = test::readFile("/etc/hostname");
        while (!hostname.empty() && std::isspace(static_cast<unsigned char>(hostname.back())))
            hostname.pop_back();
        if (!hostname.empty()) QVERIFY2(!seen.contains(QString::fromStdString(hostname)), qPrintable(seen));
        QVERIFY(!load(QUrl(QStringLiteral("marovex-archive://archive/issue/pub/link.htm"))));
        QVERIFY(!load(QUrl(QStringLiteral("marovex-archive://archive/../secret.htm"))));
    }

    // A link to a file the pane cannot show does nothing: no download starts, and nothing is made in the
    // home folder, where the engine makes a download's file before it can be refused. The link beside it
    // still opens its page, so the click did reach the first.
    void linkToAFileThePaneCannotShow_startsNoDownloadAndMakesNoFile() {
        test::writeFile(m_dir / "file.zip", "PK\x03\x04");
        test::writeFile(m_dir / "next.htm", page("next"));
        test::writeFile(m_dir / "links.htm",
                        page("<p style=\"font-size:40px\"><a id=\"zip\" href=\"file.zip\">zip</a>"
                             " <a id=\"next\" href=\"next.htm\">next</a></p>"));
        QVERIFY(open("links.htm", ""));
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        const QByteArray home = qgetenv("HOME");
        for (const QByteArray& folder : {home, QByteArray(home + "/.local/share")})
            QVERIFY(::inotify_add_watch(watch, folder.constData(), IN_CREATE | IN_MOVED_TO) >= 0);
        QSignalSpy downloads(m_browser->page()->profile(), &QWebEngineProfile::downloadRequested);
        clickElement(QStringLiteral("zip"));
        QVERIFY(!downloads.wait(2000));
        char events[4096];
        const bool made = ::read(watch, events, sizeof events) > 0;
        ::close(watch);
        QVERIFY2(!made, "a file was made in the home folder");
        QSignalSpy complete(m_browser, &ArchiveView::loadFinished);
        clickElement(QStringLiteral("next"));
        QVERIFY(complete.wait(20000));
        QCOMPARE(m_browser->url().fileName(), QStringLiteral("next.htm"));
    }

    void highlightSkipsTextAreasAndKeepsThePageCase() {
        QVERIFY(m_browser->page()->profile()->isOffTheRecord());
        test::writeFile(m_dir / "cat.htm",
                        page("<p>Кот сидит.</p><textarea>кот</textarea><p>Дом, где КОТ.</p>"));
        QVERIFY(open("cat.htm", "кот"));
        QTRY_COMPARE_WITH_TIMEOUT(dump(), QStringLiteral("none[Кот|КОТ]"), 10000);
        QCOMPARE(evaluate(QStringLiteral("document.querySelector('textarea').value")), QStringLiteral("кот"));
    }

    // The found word stays readable whatever colour the page gives it, its style sheet included: white on
    // the standard navy in a dark red heading and in a navy link, black on a light highlight.
    void highlightedTextContrastsWithTheHighlightColour() {
        test::writeFile(m_dir / "colours.htm",
                        page("<h1 style=\"color:#8B0000\">Сканер</h1><p><a href=\"x.htm\">сканер</a></p>",
                             "<style>a, a span { color: #000075 }</style>"));
        QVERIFY(open("colours.htm", "сканер"));
        QTRY_COMPARE_WITH_TIMEOUT(dump(), QStringLiteral("none[Сканер|сканер]"), 10000);
        QVERIFY(open("colours.htm", "сканер", false, false, "FFFF80"));
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(
                QStringLiteral("[].map.call(document.querySelectorAll('span[style]'), function (s) {"
                               " var c = getComputedStyle(s); return c.color + ' on ' + c.backgroundColor;"
                               " }).join('|')")),
            QStringLiteral("rgb(0, 0, 0) on rgb(255, 255, 128)|rgb(0, 0, 0) on rgb(255, 255, 128)"), 10000);
    }

    void wholeWordsAndLetterCase() {
        test::writeFile(m_dir / "words.htm", page("<p>cat concatenate Cat, cat.</p>"));
        const struct {
            bool wholeWord, matchCase;
            const char* expected;
        } cases[] = {{false, false, "none[cat|cat|Cat|cat]"},
                     {true, false, "none[cat|Cat|cat]"},
                     {false, true, "none[cat|cat|cat]"},
                     {true, true, "none[cat|cat]"}};
        for (const auto& c : cases) {
            QVERIFY(open("words.htm", "cat", c.wholeWord, c.matchCase));
            QTRY_COMPARE_WITH_TIMEOUT(dump(), QString::fromLatin1(c.expected), 10000);
        }
    }

    void phraseMatchesAcrossElementsButNotAcrossBlocks() {
        test::writeFile(m_dir / "phrase.htm", page("<p>a big <b>red</b>\n   dog</p><p>red</p><p>dog</p>"));
        QVERIFY(open("phrase.htm", "red dog"));
        QTRY_COMPARE_WITH_TIMEOUT(dump(), QStringLiteral("none[red|\n   dog]"), 10000);
    }

    // Only documents without frames are highlighted, also one that a frame navigates to by itself.
    void frameSetAndInlineFrame() {
        test::writeFile(m_dir / "set.htm",
                        cp1251::fromUtf8("<html><frameset cols=\"50%,50%\"><frame src=\"left.htm\">"
                                         "<frame src=\"go.htm\"></frameset></html>"));
        test::writeFile(m_dir / "left.htm", page("слово"));
        test::writeFile(m_dir / "go.htm", page("слово", "<script>location.replace('main.htm')</script>"));
        test::writeFile(m_dir / "main.htm", page("слово и Слово"));
        QVERIFY(open("set.htm", "слово"));
        QTRY_COMPARE_WITH_TIMEOUT(dump(), QStringLiteral("none[]{[слово],[слово|Слово]}"), 10000);

        test::writeFile(m_dir / "outer.htm", page("слово <iframe src=\"left.htm\"></iframe>"));
        QVERIFY(open("outer.htm", "слово"));
        QTRY_COMPARE_WITH_TIMEOUT(dump(), QStringLiteral("none[]{[слово]}"), 10000);
    }

    void emptyOrBlankTextOnlyRemovesTheBorder() {
        test::writeFile(m_dir / "plain.htm", page("word word"));
        for (const char* text : {"", " "}) {
            QVERIFY(open("plain.htm", text));
            QTRY_COMPARE_WITH_TIMEOUT(dump(), QStringLiteral("none[]"), 10000);
        }
    }

    void searchTextIsInsertedAsTextNeverAsMarkup() {
        const std::string attack = "<img src=x onerror=\"document.title='pwned'\">";
        test::writeFile(m_dir / "attack.htm",
                        page("<title>safe</title>&lt;img src=x onerror=\"document.title='pwned'\"&gt;"));
        QVERIFY(open("attack.htm", attack));
        QTRY_COMPARE_WITH_TIMEOUT(dump(), QStringLiteral("none[%1]").arg(QString::fromStdString(attack)),
                                  10000);
        QCOMPARE(evaluate(QStringLiteral("document.images.length + ':' + document.title")),
                 QStringLiteral("0:safe"));
    }
};

int main(int argc, char** argv) {
    // A home folder of the tests' own, with the data folder where the engine makes a download's file.
    const TempDir home;
    std::filesystem::create_directories(home / ".local" / "share");
    qputenv("HOME", home.path().c_str());
    qputenv("XDG_DATA_HOME", (home / ".local" / "share").c_str());
    return marovex::test::runWebEngineTest<ArchiveViewTest>(argc, argv);
}

#include "archiveview_test.moc"
