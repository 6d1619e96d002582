// A user's day with the real main window on a generated archive: index, sort, filter, favourite, search
// titles and texts, read an article with the search text highlighted, switch the language, close, and find
// everything again at the next start.
#include "app/inifile.h"
#include "archivegen/archivegen.h"
#include "base/cp1251.h"
#include "catalogue/catalogue.h"
#include "search/fulltext.h"
#include "search/history.h"
#include "support/testsupport.h"
#include "support/uisupport.h"
#include "ui/archiveview.h"
#include "ui/articlemodel.h"
#include "ui/indexingdialog.h"
#include "ui/articlegrid.h"
#include "ui/mainwindow.h"
#include "ui/statusbar.h"
#include "ui/settingsdialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>

using namespace marovex;
using marovex::test::TempDir;

Q_DECLARE_METATYPE(marovex::indexer::IndexResult)

namespace {

template <typename T> T* child(QObject* parent, const char* name) {
    auto* w = parent->findChild<T*>(QString::fromLatin1(name));
    if (!w) qFatal("no %s", name);
    return w;
}

QTableView* grid(MainWindow& form, const char* name = "DBGridEh_MVX2") {
    return child<QTableView>(&form, name);
}

void clickTitle(MainWindow& form, int column) {
    QHeaderView* header = grid(form)->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
}

void runSearch(MainWindow& form, const QString& text, int scope) {
    child<QComboBox>(&form, "FlatComboBox3")->setCurrentIndex(scope);
    auto* box = child<QComboBox>(&form, "FlatComboBox1");
    box->setEditText(text);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
}

int markedRows(RecordTable& articles) {
    int marked = 0;
    for (int i = 0; i < articles.rowCount(); ++i)
        if (articles.rowAt(i).asInt(articles.field("Find")) == -1) ++marked;
    return marked;
}

} // namespace

class UserDayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<indexer::IndexResult>(); }

    void aDayOfWork_isFoundAgainAtTheNextStart() {
        TempDir dir;
        const auto archive = dir / "archive";
        gen::GenOptions options;
        options.out = archive;
        options.seed = 11;
        options.issues = 6;
        options.articlesPerIssue = 6;
        gen::GenerateArchive(options);
        const auto app = dir / "app";
        std::filesystem::create_directories(app / "Locale");
        for (const char* lng : {"rus.lng", "eng.lng"})
            std::filesystem::copy_file(std::filesystem::path(MAROVEX_SOURCE_DIR) / "resources/Locale" / lng,
                                       app / "Locale" / lng);
        catalogue::createEmptyCatalogue(app, true);
        test::writeFile(app / "mvx.ini",
                        "[options]\r\ndbdir=" + archive.string() +
                            "\r\n[interface]\r\nlocal=rus.lng\r\nstate_save=1\r\nselect_browser=1\r\n");
        QStringList errors;
        auto presenter = [&](QWidget*, MainWindow::MessageKind kind, const QString& text) {
            if (kind == MainWindow::MessageKind::Error || kind == MainWindow::MessageKind::ErrorYes)
                errors << text;
        };

        std::string favouriteTitle, openedLink;
        int rows = 0, topics = 0;
        {
            MainWindow form(app, presenter);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            RecordTable& articles = form.session().articles();

            // Index the new issues.
            form.findChild<QAction*>(QStringLiteral("GoIndex"))->trigger();
            auto* indexing = form.findChild<IndexingDialog*>();
            QVERIFY(indexing);
            QSignalSpy done(indexing, &IndexingDialog::runCompleted);
            child<QPushButton>(indexing, "FlatButton1")->click();
            QVERIFY(done.wait(60000));
            child<QPushButton>(indexing, "FlatButton3")->click();
            rows = articles.rowCount();
            topics = form.session().topics().rowCount();
            QVERIFY(rows > 20);
            QVERIFY(topics > 2);

            // Sort by title, then untick the first topic that is not the current row's and filter.
            clickTitle(form, ArticleModel::ColStatia);
            QCOMPARE(form.articleGrid()->sortColumn(), QStringLiteral("Statia"));
            child<QToolButton>(&form, "ToolButton17")->click();
            QTableView* topicGrid = grid(form, "DBGridEh_MVX1");
            const std::string keepTopic = articles.asText("Tem");
            RecordTable& topicTable = form.session().topics();
            int untick = 0;
            while (topicTable.rowAt(untick).asText(topicTable.field("Tem")) == keepTopic)
                ++untick;
            topicGrid->setCurrentIndex(topicGrid->model()->index(untick, 0));
            QTest::keyClick(topicGrid, Qt::Key_Space);
            child<QToolButton>(&form, "SpeedButton1")->click();
            QVERIFY(articles.filtered());
            QVERIFY(articles.rowCount() < rows);

            // Mark the current row a favourite from its column.
            const int current = articles.position();
            grid(form)->setCurrentIndex(grid(form)->model()->index(current, ArticleModel::ColIzb));
            QTest::keyClick(grid(form), Qt::Key_Space);
            QCOMPARE(articles.asInt("Izb"), -1);
            favouriteTitle = articles.asText("Statia");
            const Bookmark favourite = articles.bookmark();

            // Search the titles for the favourite's first word.
            const QString word = QString::fromStdString(favouriteTitle).section(QLatin1Char(' '), 0, 0);
            runSearch(form, word, 0);
            QVERIFY(markedRows(articles) >= 1);

            // Put a word of our own into one article's text and search the texts for it.
            articles.first();
            const std::string number = cp1251::fromUtf8(articles.asText("Number"));
            openedLink = cp1251::fromUtf8(articles.asText("Link"));
            search::ArticleFiles files(archive.string(), form.session().ini.name_kelvra);
            const auto file = files.locate(articles.asInt("Type"), number, openedLink);
            QVERIFY(!file.empty());
            std::string page = test::readFile(file);
            const size_t body = page.rfind("</body>");
            QVERIFY(body != std::string::npos);
            page.insert(body, cp1251::fromUtf8("<p>Квазиэлектрон</p>"));
            test::writeFile(file, page);
            runSearch(form, QStringLiteral("квазиэлектрон"), 1);
            QCOMPARE(markedRows(articles), 1);
            QVERIFY(child<QToolButton>(&form, "ToolButton10")->isEnabled());

            // Read it in the pane: the marked row is first, and the search text is highlighted.
            grid(form)->setCurrentIndex(grid(form)->model()->index(0, ArticleModel::ColStatia));
            QCOMPARE(cp1251::fromUtf8(articles.asText("Link")), openedLink);
            QTest::keyClick(grid(form), Qt::Key_Return);
            ArchiveView* browser = form.webBrowser();
            QVERIFY(browser);
            int highlighted = -1;
            QTRY_VERIFY_WITH_TIMEOUT(
                [&] {
                    browser->page()->runJavaScript(
                        QStringLiteral("document.querySelectorAll('span[style]').length"),
                        [&](const QVariant& v) { highlighted = v.toInt(); });
                    return highlighted == 1;
                }(),
                20000);
            QVERIFY(form.windowTitle().startsWith(QStringLiteral("Marovex v2.0   [ Kelvra №")));

            // Switch the language in the settings dialog.
            QVERIFY(test::chooseEnglishInSettings(form));
            QCOMPARE(form.findChild<QAction*>(QStringLiteral("ElMenuItem9"))->text(), QStringLiteral("Exit"));
            QVERIFY(articles.filtered());

            // The row current at the close is the favourite again.
            grid(form)->setCurrentIndex(grid(form)->model()->index(0, ArticleModel::ColStatia));
            QVERIFY(articles.gotoBookmark(favourite));
            QVERIFY(form.close());
        }
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('|'))));

        // The files hold the day.
        const IniFile ini(app / "mvx.ini");
        QCOMPARE(ini.readString("interface", "state_index", ""), std::string("Statia"));
        QCOMPARE(ini.readString("interface", "state_filter", ""), std::string("1"));
        QCOMPARE(ini.readString("interface", "local", ""), std::string("eng.lng"));
        QCOMPARE(ini.readString("interface", "text_search", ""), cp1251::fromUtf8("квазиэлектрон"));
        const auto history = readSearchHistory(app / "search.dat");
        QCOMPARE(int(history.size()), 2);
        QCOMPARE(history[0], std::string("квазиэлектрон"));
        {
            RecordTable t, s;
            catalogue::openArticleTable(t, app / "mvx.dat", {});
            catalogue::openTopicTable(s, app / "subjects.dat");
            QCOMPARE(t.rowCount(), rows);
            QCOMPARE(s.rowCount(), topics);
            QVERIFY(
                t.locate("Izb", {FieldValue{std::int32_t(4)}})); // a favourite, remembered as the current row
            QCOMPARE(t.asText("Statia"), favouriteTitle);
            QVERIFY(s.locate("Key", {FieldValue{false}}));
        }

        // The next start finds everything as it was left.
        MainWindow again(app, presenter);
        RecordTable& articles = again.session().articles();
        QCOMPARE(again.articleGrid()->sortColumn(), QStringLiteral("Statia"));
        QVERIFY(articles.filtered());
        QCOMPARE(articles.asText("Statia"), favouriteTitle);
        QCOMPARE(articles.asInt("Izb"), -1);
        QCOMPARE(again.findChild<QAction*>(QStringLiteral("ElMenuItem9"))->text(), QStringLiteral("Exit"));
        QCOMPARE(child<QComboBox>(&again, "FlatComboBox1")->itemText(0), QStringLiteral("квазиэлектрон"));
        QVERIFY(child<QToolButton>(&again, "ToolButton10")->isEnabled());
        QCOMPARE(markedRows(articles), 1);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('|'))));
    }
};

int main(int argc, char** argv) {
    return marovex::test::runWebEngineTest<UserDayTest>(argc, argv);
}

#include "userday_test.moc"
