#include "catalogue/catalogue.h"
#include "search/history.h"
#include "support/testsupport.h"
#include "ui/articlemodel.h"
#include "ui/form1.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace marovex;
using marovex::test::TempDir;

namespace {

struct Shown {
    TForm1::MessageKind kind;
    QString text;
};

void makeCatalogue(const std::filesystem::path& dir, int rows, int foundRow = -1) {
    catalogue::createEmptyCatalogue(dir, true);
    RecordTable t;
    catalogue::openArticleTable(t, dir / "mvx.dat", {});
    for (int i = 0; i < rows; ++i) {
        t.append();
        t.setInt("Type", 1 + i % 3);
        t.setText("Number", catalogue::padIssueNumber(std::to_string(i + 1)));
        t.setText("Statia", "Статья " + std::to_string(i));
        t.setInt("Find", i == foundRow ? -1 : 0);
        t.setInt("Npp", i);
        t.post();
    }
    t.close();
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void missingArticleFile_reportsPathAndClosesWithoutWriting() {
        TempDir dir;
        std::vector<Shown> shown;
        auto* form = new TForm1(dir.path(), [&](QWidget*, TForm1::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        QCOMPARE(int(shown.size()), 1);
        QCOMPARE(shown[0].kind, TForm1::MessageKind::Information);
        QCOMPARE(shown[0].text, QStringLiteral("File not found : \n") + QString::fromStdString((dir / "mvx.dat").string()));
        QCOMPARE(form->tag(), -1);
        form->show();
        QTRY_VERIFY(!form->isVisible());
        delete form;
        QVERIFY(std::filesystem::is_empty(dir.path()));
    }

    void startup_loadsCatalogueHistoryAndSearchState() {
        TempDir dir;
        makeCatalogue(dir.path(), 20, 7);
        writeSearchHistory(dir / "search.dat", {"\xcf\xf0\xe8\xe2\xe5\xf2", "old"});
        std::vector<Shown> shown;
        TForm1 form(dir.path(), [&](QWidget*, TForm1::MessageKind k, const QString& t) { shown.push_back({k, t}); });
        QVERIFY(shown.empty());
        QCOMPARE(form.objectName(), QStringLiteral("Form1"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Marovex v2.0"));
        auto* grid = form.findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"));
        auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        auto* end = form.findChild<QToolButton*>(QStringLiteral("ToolButton10"));
        QVERIFY(grid && box && end);
        QCOMPARE(grid->model()->rowCount(), 20);
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemText(0), QStringLiteral("Привет"));
        QCOMPARE(box->currentIndex(), 0);
        QVERIFY(end->isEnabled());
        QCOMPARE(form.session().articles().asText("Statia"), std::string("Статья 7"));
        QCOMPARE(grid->currentIndex().row(), form.session().articles().position());
    }

    void altX_closesAndWritesHistoryAndRememberedRow() {
        TempDir dir;
        makeCatalogue(dir.path(), 5);
        {
            TForm1 form(dir.path(), [](QWidget*, TForm1::MessageKind, const QString&) {});
            form.session().ini.state_save = true;
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
            box->addItem(QStringLiteral("ёж"));
            form.session().articles().moveTo(3);
            auto* exit = form.findChild<QAction*>(QStringLiteral("Exit"));
            QVERIFY(exit);
            QCOMPARE(exit->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
            exit->trigger();
            QTRY_VERIFY(!form.isVisible());
        }
        QCOMPARE(test::readFile(dir / "search.dat"), std::string("\xb8\xe6\r\n"));
        RecordTable t;
        catalogue::openArticleTable(t, dir / "mvx.dat", {});
        QVERIFY(t.locate("Izb", {FieldValue{std::int32_t(5)}}));
        QCOMPARE(t.asInt("Npp"), 3);
    }

    void languageFile_setsMenuTextsHintsAndColumnTitles() {
        TempDir dir;
        makeCatalogue(dir.path(), 2);
        std::filesystem::create_directories(dir / "Locale");
        std::filesystem::copy_file(std::filesystem::path(MAROVEX_SOURCE_DIR) / "resources/Locale/rus.lng",
                                   dir / "Locale" / "rus.lng");
        test::writeFile(dir / "mvx.ini", "[interface]\r\nlocal=rus.lng\r\nCellLines=0\r\n");
        TForm1 form(dir.path(), [](QWidget*, TForm1::MessageKind, const QString&) {});
        auto* exitItem = form.findChild<QAction*>(QStringLiteral("ElMenuItem9"));
        QVERIFY(exitItem);
        QCOMPARE(exitItem->text(), QStringLiteral("Выход"));
        auto* grid = form.findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"));
        QVERIFY(!grid->showGrid());
        const int statia = form.session().articles().field("Statia");
        QCOMPARE(grid->model()->headerData(statia, Qt::Horizontal).toString(), QStringLiteral("Статья"));
        QVERIFY(!form.findChild<QToolButton*>(QStringLiteral("ToolButton10"))->toolTip().isEmpty());
        // Triggering the menu item runs the command it stands for.
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        exitItem->trigger();
        QTRY_VERIFY(!form.isVisible());
    }

    void articleModel_passesTheModelTester() {
        RecordTable t;
        catalogue::openEmptyArticleTable(t);
        ArticleModel model(t);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 5; ++i) {
            t.append();
            t.setInt("Type", i);
            t.setText("Statia", "x" + std::to_string(i));
            t.post();
        }
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.columnCount(), 10);
        QCOMPARE(model.data(model.index(1, 3)).toString(), QStringLiteral("Kelvra-Gold"));
        QCOMPARE(model.data(model.index(4, 3)).toString(), QString());
        t.setSortKeys("Statia");
        t.first();
        t.deleteRow();
        QCOMPARE(model.rowCount(), 4);
        t.disableControls();
        t.emptyTable();
        QCOMPARE(model.rowCount(), 4); // detached: the grid keeps its picture until the table is handed back
        t.enableControls();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
