#include "base/cp1251.h"
#include "support/testsupport.h"
#include "support/uisupport.h"
#include "ui/customizedwebbrowser.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

using namespace marovex;
using marovex::test::TempDir;

namespace {

// Every document of the page, frames nested in braces: the body's border style, then the highlighted
// texts in brackets ("!" marks a highlight of the wrong colour).
const char* const kDump = R"JS(
(function dump(w) {
    var doc = w.document;
    var marks = [].map.call(doc.querySelectorAll('span[style]'), function (s) {
        return (s.getAttribute('style') === 'background-color: #000075' ? '' : '!') + s.textContent;
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

class CustomizedWebBrowserTest : public QObject {
    Q_OBJECT

    TempDir m_dir;
    TCustomizedWebBrowser* m_browser = nullptr;

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

    bool open(const std::string& file, const std::string& searchUtf8, bool wholeWord = false,
              bool matchCase = false) {
        m_browser->setHighlight({cp1251::fromUtf8(searchUtf8), wholeWord, matchCase, "000075"});
        QSignalSpy complete(m_browser, &TCustomizedWebBrowser::DocumentComplete);
        m_browser->Navigate(m_dir / file);
        return complete.wait(30000);
    }

private slots:
    void init() {
        m_browser = new TCustomizedWebBrowser;
        m_browser->resize(600, 400);
        m_browser->show();
    }
    void cleanup() { delete m_browser; }

    void highlightSkipsTextAreasAndKeepsThePageCase() {
        QVERIFY(m_browser->page()->profile()->isOffTheRecord());
        test::writeFile(m_dir / "cat.htm",
                        page("<p>Кот сидит.</p><textarea>кот</textarea><p>Дом, где КОТ.</p>"));
        QVERIFY(open("cat.htm", "кот"));
        QTRY_COMPARE_WITH_TIMEOUT(dump(), QStringLiteral("none[Кот|КОТ]"), 10000);
        QCOMPARE(evaluate(QStringLiteral("document.querySelector('textarea').value")), QStringLiteral("кот"));
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
    return marovex::test::runWebEngineTest<CustomizedWebBrowserTest>(argc, argv);
}

#include "customizedwebbrowser_test.moc"
