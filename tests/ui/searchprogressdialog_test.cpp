#include "app/language.h"
#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "search/findcommand.h"
#include "support/testsupport.h"
#include "ui/searchprogressdialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <functional>
#include <utility>

using namespace marovex;
using marovex::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::string w(std::string_view utf8) {
    return cp1251::fromUtf8(utf8);
}

struct Row {
    int type;
    std::string number;
    std::string title; // UTF-8
    std::string link;
    int find;
};

// A table in natural order that the walk must reorder by edition and issue: Gold 7 twice, Release 12,
// plain 5. Only the Release article's text holds the word; the other rows carry an older mark.
const std::vector<Row> kRows = {
    {2, "12", "Вторая", "b.htm", -1},
    {1, "7", "Первая", "a.htm", -1},
    {3, "5", "Третья", "c.htm", -1},
    {1, "7", "Четвёртая", "d.htm", -1},
};

struct Archive {
    TempDir dir;
    RecordTable articles;
    MessageTexts messages;

    Archive() {
        page("Gold7/pub/a.htm", "<p>тишина</p>");
        page("Gold7/pub/d.htm", "<p>тишина</p>");
        page("Release12/pub/b.htm", "<p>Война и <b>мир</b></p>");
        page("kelvra5/pub/c.htm", "<p>тишина</p>");
        catalogue::openEmptyArticleTable(articles);
        for (const Row& r : kRows) {
            articles.append();
            articles.setInt("Type", r.type);
            articles.setText("Number", catalogue::padIssueNumber(r.number));
            articles.setText("Statia", r.title);
            articles.setText("Link", r.link);
            articles.setInt("Find", r.find);
            articles.post();
        }
        messages.store(readLanguageFile(fs::path(MAROVEX_SOURCE_DIR) / "resources/Locale/eng.lng"));
    }
    void page(const std::string& relative, std::string_view utf8) {
        const fs::path file = dir / "archive" / relative;
        fs::create_directories(file.parent_path());
        test::writeFile(file, w(utf8));
    }
    search::FullTextJob job(std::string_view text) const {
        search::FullTextJob j;
        j.text = std::string(text);
        j.archiveFolder = (dir / "archive").string();
        j.prefixes = {"Kelvra-Gold", "Kelvra-Release", "Kelvra"};
        return j;
    }
    // The marks by link, in natural order.
    std::vector<std::pair<std::string, int>> marks() {
        articles.setSortKeys("");
        std::vector<std::pair<std::string, int>> out;
        for (articles.first(); !articles.eof(); articles.next())
            out.emplace_back(articles.asText("Link"), articles.asInt("Find"));
        return out;
    }
};

// Calls back when a progress dialog is shown, before the first report reaches it.
class DialogWatcher : public QObject {
public:
    explicit DialogWatcher(std::function<void(SearchProgressDialog*)> shown) : m_shown(std::move(shown)) {
        qApp->installEventFilter(this);
    }
    ~DialogWatcher() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<SearchProgressDialog*>(watched)) m_shown(dialog);
        return false;
    }

private:
    std::function<void(SearchProgressDialog*)> m_shown;
};

template <typename T> T* child(QObject* parent, const char* name) {
    auto* w = parent->findChild<T*>(QString::fromLatin1(name));
    if (!w) qFatal("no %s", name);
    return w;
}

QString text(SearchProgressDialog* dialog, const char* field) {
    return child<QLineEdit>(dialog, field)->text();
}

} // namespace

class SearchProgressDialogTest : public QObject {
    Q_OBJECT

private slots:
    void search_showsItsTextsAndEveryRowInEditionAndIssueOrder() {
        Archive a;
        QWidget window;
        std::atomic<bool> stop{false};
        bool checked = false;
        int expectedRows = int(kRows.size());
        std::vector<std::string> lines;
        std::vector<int> hits;
        std::vector<int> rows;
        QString lastLine, lastHits;
        int barAtEnd = -1, barMax = -1;
        DialogWatcher watcher([&](SearchProgressDialog* d) {
            checked = true;
            QCOMPARE(d->objectName(), QStringLiteral("Form_find"));
            QVERIFY(d->isModal());
            // Every text in the interface language, English here.
            QCOMPARE(d->windowTitle(), QStringLiteral("Searching the article texts"));
            QCOMPARE(d->size(), QSize(326, 111));
            QCOMPARE(child<QPushButton>(d, "FlatButton1")->text(), QStringLiteral("Cancel"));
            QCOMPARE(text(d, "FlatEdit1"), QStringLiteral("Articles found: 0"));
            QCOMPARE(text(d, "FlatEdit2"), QString());
            for (const char* field : {"FlatEdit1", "FlatEdit2"}) {
                QVERIFY(child<QLineEdit>(d, field)->isReadOnly());
                QVERIFY(!child<QLineEdit>(d, field)->isEnabled());
            }
            QCOMPARE(child<QProgressBar>(d, "FlatProgressBar1")->maximum(), std::max(expectedRows, 1));
            connect(d, &SearchProgressDialog::progressReported, this, [&](const search::FindProgress& p) {
                rows.push_back(p.row);
                lines.push_back(p.number);
                hits.push_back(p.hits);
            });
            // The fields at the moment the dialog ends show the last report, however fast the reports came.
            connect(d, &QDialog::finished, this, [&, d] {
                lastLine = text(d, "FlatEdit2");
                lastHits = text(d, "FlatEdit1");
                barAtEnd = child<QProgressBar>(d, "FlatProgressBar1")->value();
                barMax = child<QProgressBar>(d, "FlatProgressBar1")->maximum();
            });
        });

        const search::FullTextResult r =
            runFullTextWithProgress(&window, a.articles, a.job("мир"), stop, a.messages);
        QVERIFY(checked);
        QVERIFY(r.error.empty());
        QCOMPARE(r.hits, 1);
        QVERIFY(!r.stopped);
        QCOMPARE(rows, (std::vector<int>{0, 1, 2, 3}));
        QCOMPARE(lines, (std::vector<std::string>{"  7", "  7", " 12", "  5"}));
        QCOMPARE(hits, (std::vector<int>{0, 0, 0, 1}));
        QCOMPARE(lastLine, QStringLiteral("\"Kelvrania\" Issue   5"));
        QCOMPARE(lastHits, QStringLiteral("Articles found: 1"));
        QCOMPARE(barAtEnd, barMax);
        QVERIFY(!stop.load());
        QCOMPARE(a.marks(), (std::vector<std::pair<std::string, int>>{
                                {"b.htm", -1}, {"a.htm", 0}, {"c.htm", 0}, {"d.htm", 0}}));
        QVERIFY(!QApplication::activeModalWidget());

        // An empty table: the dialog opens and closes at once.
        RecordTable empty;
        catalogue::openEmptyArticleTable(empty);
        checked = false;
        expectedRows = 0;
        const search::FullTextResult none =
            runFullTextWithProgress(&window, empty, a.job("мир"), stop, a.messages);
        QVERIFY(checked);
        QCOMPARE(none.hits, 0);
        QVERIFY(!stop.load());
    }

    void cancelCloseBoxAndEscape_stopAfterTheCurrentRowOnly() {
        // Each way of asking is made at the first report, while the worker waits on it: the dialog stays
        // until the worker has finished that row, and the rows after it keep their older marks.
        for (const char* how : {"cancel", "close box", "escape"}) {
            Archive a;
            std::atomic<bool> stop{false};
            bool stillShown = false, armed = true;
            DialogWatcher watcher([&](SearchProgressDialog* d) {
                if (!std::exchange(armed, false)) return;
                connect(d, &SearchProgressDialog::progressReported, this,
                        [&, d](const search::FindProgress& p) {
                            if (p.row != 0) return;
                            if (std::string_view(how) == "cancel")
                                child<QPushButton>(d, "FlatButton1")->click();
                            else if (std::string_view(how) == "close box")
                                d->close();
                            else
                                QTest::keyClick(d, Qt::Key_Escape);
                            stillShown = d->isVisible() && stop.load();
                        });
            });
            const search::FullTextResult r =
                runFullTextWithProgress(nullptr, a.articles, a.job("мир"), stop, a.messages);
            QVERIFY2(stillShown, how);
            QVERIFY2(r.stopped, how);
            QCOMPARE(r.visited, 1);
            QCOMPARE(r.hits, 0);
            QVERIFY2(!stop.load(), how);
            QCOMPARE(a.marks(), (std::vector<std::pair<std::string, int>>{
                                    {"b.htm", -1}, {"a.htm", 0}, {"c.htm", -1}, {"d.htm", -1}}));

            // The next search is not stopped by the earlier request and walks every row.
            const search::FullTextResult all =
                runFullTextWithProgress(nullptr, a.articles, a.job("мир"), stop, a.messages);
            QVERIFY(!all.stopped);
            QCOMPARE(all.visited, int(kRows.size()));
            QCOMPARE(a.marks(), (std::vector<std::pair<std::string, int>>{
                                    {"b.htm", -1}, {"a.htm", 0}, {"c.htm", 0}, {"d.htm", 0}}));
        }
    }

    void unreadableFile_closesTheDialogAndIsNamedOnceAfterTheResult() {
        Archive a;
        // A link that exists but can never be read, walked second.
        fs::create_symlink("loop.htm", a.dir / "archive/Gold7/pub/loop.htm");
        a.articles.setSortKeys("");
        a.articles.first();
        for (int i = 0; i < 3; ++i)
            a.articles.next();
        a.articles.edit();
        a.articles.setText("Link", "loop.htm");
        a.articles.post();
        a.articles.setSortKeys(catalogue::kStandardOrder);

        QWidget window;
        std::atomic<bool> stop{false};
        std::vector<std::string> history;
        std::string remembered;
        std::vector<std::string> shown;
        search::FindHooks hooks;
        hooks.runFullText = [&](const search::FullTextJob& job) {
            return runFullTextWithProgress(&window, a.articles, job, stop, a.messages);
        };
        hooks.showResult = [&](int, bool) { shown.push_back("result"); };
        hooks.showProblem = [&](const Message& message) { shown.push_back(message.english()); };
        search::FindRequest request;
        request.boxText = "тишина";
        request.scope = search::FindScope::TitlesAndTexts;
        request.archiveFolder = (a.dir / "archive").string();
        // The walk goes on past the file; the result comes first, then one message naming it.
        search::runSearch(a.articles, history, remembered, request, hooks);
        QCOMPARE(shown.size(), size_t(2));
        QCOMPARE(shown[0], std::string("result"));
        QVERIFY2(shown[1].find("loop.htm") != std::string::npos, shown[1].c_str());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(window.findChildren<SearchProgressDialog*>().isEmpty());
        QVERIFY(!stop.load());
        QCOMPARE(a.articles.state(), RecordTable::State::Browse);
        QCOMPARE(a.articles.sortKeys(), std::string(catalogue::kStandardOrder));
    }
};

QTEST_MAIN(SearchProgressDialogTest)
#include "searchprogressdialog_test.moc"
