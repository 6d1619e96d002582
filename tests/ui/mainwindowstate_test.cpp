// The main window's view of the catalogue: title sorting, favourites, the topic filter and its panel, and
// the window and grid state carried from one run to the next.
#include "app/inifile.h"
#include "catalogue/catalogue.h"
#include "search/history.h"
#include "support/testsupport.h"
#include "support/uisupport.h"
#include "ui/articlemodel.h"
#include "ui/articlegrid.h"
#include "ui/mainwindow.h"
#include "ui/statusbar.h"
#include "ui/splashscreen.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace marovex;
using marovex::test::TempDir;

namespace {

struct Row {
    int type;
    int number;
    const char* tem;
    const char* title;
    int find = 0;
    int izb = 0;
    int izb1 = 0;
};

// Two topics; in the standard order the found rows come first: Альфа, Дельта, Гамма, Бета, Вега.
const std::vector<Row> kRows = {
    {1, 1, "A", "Гамма"},      {1, 2, "A", "Альфа", -1}, {2, 1, "B", "Бета"},
    {2, 2, "B", "Дельта", -1}, {3, 1, "A", "Вега"},
};

void makeCatalogue(const std::filesystem::path& dir, const std::vector<Row>& rows = kRows) {
    std::vector<test::ArticleSpec> catalogueRows;
    for (const Row& r : rows) {
        test::ArticleSpec s{r.type, std::to_string(r.number), r.tem, r.title};
        s.find = r.find;
        s.izb = r.izb;
        s.izb1 = r.izb1;
        catalogueRows.push_back(s);
    }
    test::WriteCatalogue(dir, catalogueRows, {"A", "B"});
}

QTableView* grid(MainWindow& form, const char* name = "DBGridEh_MVX2") {
    return form.findChild<QTableView*>(QString::fromLatin1(name));
}

QStringList list(std::initializer_list<const char*> items) {
    QStringList out;
    for (const char* item : items)
        out << QString::fromUtf8(item);
    return out;
}

// The titles of the view, top to bottom.
QStringList titles(MainWindow& form) {
    QStringList out;
    const auto* model = grid(form)->model();
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->index(r, ArticleModel::ColStatia).data().toString();
    return out;
}

QString currentTitle(MainWindow& form) {
    return QString::fromStdString(form.session().articles().asText("Statia"));
}

void makeCurrent(MainWindow& form, const char* title, int column = ArticleModel::ColStatia) {
    const int row = int(titles(form).indexOf(QString::fromUtf8(title)));
    QVERIFY2(row >= 0, title);
    grid(form)->setCurrentIndex(grid(form)->model()->index(row, column));
    QCOMPARE(form.session().articles().position(), row);
}

void clickTitle(MainWindow& form, int column) {
    QHeaderView* header = grid(form)->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
}

// Rows still carrying the position mark, hidden rows included.
int carryMarks(RecordTable& articles) {
    const bool filtered = articles.filtered();
    articles.setFiltered(false);
    int marks = 0;
    for (int i = 0; i < articles.rowCount(); ++i)
        if (articles.rowAt(i).asInt(articles.field("Kod")) == 1) ++marks;
    articles.setFiltered(filtered);
    return marks;
}

void toggleTopic(MainWindow& form, int topicRow) {
    QTableView* topics = grid(form, "DBGridEh_MVX1");
    topics->setCurrentIndex(topics->model()->index(topicRow, 0));
    QTest::keyClick(topics, Qt::Key_Space);
}

QAbstractButton* button(MainWindow& form, const char* name) {
    return form.findChild<QAbstractButton*>(QString::fromLatin1(name));
}

std::string iniValue(const std::filesystem::path& dir, const char* key) {
    return IniFile(dir / "mvx.ini").readString("interface", key, "<absent>");
}

} // namespace

class MainWindowStateTest : public QObject {
    Q_OBJECT

private slots:
    void titleButtons_sortCarryingTheRowAndFavouritesMoveOnlyOnTheNextClick() {
        TempDir dir;
        makeCatalogue(dir.path());
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=2\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(titles(form), list({"Альфа", "Дельта", "Гамма", "Бета", "Вега"}));

        makeCurrent(form, "Вега");
        clickTitle(form, ArticleModel::ColStatia);
        QCOMPARE(form.articleGrid()->sortColumn(), QStringLiteral("Statia"));
        // Search hits first, each group by title; the current row goes along.
        QCOMPARE(titles(form), list({"Альфа", "Дельта", "Бета", "Вега", "Гамма"}));
        QCOMPARE(currentTitle(form), QStringLiteral("Вега"));
        QCOMPARE(grid(form)->currentIndex().row(), 3);
        QCOMPARE(carryMarks(form.session().articles()), 0);

        // The Number title chooses the standard order, whose marker is on the Type title.
        clickTitle(form, ArticleModel::ColNumber);
        QCOMPARE(form.articleGrid()->sortColumn(), QStringLiteral("Type"));
        QCOMPARE(grid(form)->horizontalHeader()->sortIndicatorSection(), int(ArticleModel::ColType));

        clickTitle(form, ArticleModel::ColIzb);
        QCOMPARE(form.articleGrid()->sortColumn(), QStringLiteral("Izb"));
        makeCurrent(form, "Бета", ArticleModel::ColIzb);
        QTest::keyClick(grid(form), Qt::Key_Space); // opening the favourites cell toggles the mark
        QCOMPARE(form.session().articles().asInt("Izb"), -1);
        QCOMPARE(titles(form), list({"Альфа", "Дельта", "Гамма", "Бета", "Вега"}));
        QCOMPARE(grid(form)->currentIndex().row(), 3);
        clickTitle(form, ArticleModel::ColIzb);
        QCOMPARE(titles(form), list({"Альфа", "Дельта", "Бета", "Гамма", "Вега"}));
        QCOMPARE(currentTitle(form), QStringLiteral("Бета"));
        QCOMPARE(carryMarks(form.session().articles()), 0);
    }

    void topicFilter_buttonKeepsVisibleRowTopicTicksWaitForTheFilterAndPanelMoves() {
        TempDir dir;
        makeCatalogue(dir.path());
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=2\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        form.resize(700, 450);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        button(form, "ToolButton17")->click();
        auto* filterButton = button(form, "SpeedButton1");
        QCOMPARE(filterButton->text(), QStringLiteral("Включить фильтр"));

        // Unticking a topic while the filter is off changes nothing in the view.
        makeCurrent(form, "Вега");
        toggleTopic(form, 1); // B
        QCOMPARE(titles(form).size(), 5);
        QCOMPARE(form.statusPanels()->text(1), QStringLiteral("Всего статей : 5"));

        filterButton->click();
        QCOMPARE(titles(form), list({"Альфа", "Гамма", "Вега"}));
        QCOMPARE(currentTitle(form), QStringLiteral("Вега"));
        QCOMPARE(grid(form)->currentIndex().row(), 2);
        QCOMPARE(filterButton->text(), QStringLiteral("Выключить фильтр"));
        QCOMPARE(form.statusPanels()->text(1), QStringLiteral("Всего статей : 3"));
        QCOMPARE(form.statusPanels()->text(2), QStringLiteral("Фильтр по рубрикам включён"));
        filterButton->click();
        QCOMPARE(titles(form).size(), 5);
        QCOMPARE(currentTitle(form), QStringLiteral("Вега"));
        QCOMPARE(filterButton->text(), QStringLiteral("Включить фильтр"));
        QCOMPARE(form.statusPanels()->text(2), QString());

        // The current row's topic is unticked: the filter hides it, and the mark does not stay behind.
        makeCurrent(form, "Бета");
        filterButton->click();
        QVERIFY(!titles(form).contains(QStringLiteral("Бета")));
        QCOMPARE(grid(form)->currentIndex().row(), form.session().articles().position());
        QCOMPARE(carryMarks(form.session().articles()), 0);

        // With the filter on, ticking the topic again shows its rows at once.
        toggleTopic(form, 1);
        QCOMPARE(titles(form).size(), 5);
        QCOMPARE(form.statusPanels()->text(1), form.messages().text(78) + QStringLiteral("  5"));

        // The picture collapses and expands the panel; its surface drags it, never out of the grid area.
        auto* panel = form.findChild<QWidget*>(QStringLiteral("Panel3"));
        auto* image = form.findChild<QWidget*>(QStringLiteral("Image1"));
        QTest::mouseClick(image, Qt::LeftButton);
        QCOMPARE(panel->height(), 25);
        QTest::mouseClick(image, Qt::LeftButton);
        QCOMPARE(panel->height(), 157);
        auto* area = form.findChild<QWidget*>(QStringLiteral("Panel1"));
        const QPoint grip(120, 4);
        auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent e(type, at, panel->mapToGlobal(at), Qt::LeftButton, buttons, {});
            QApplication::sendEvent(panel, &e);
        };
        send(QEvent::MouseButtonPress, grip, Qt::LeftButton);
        send(QEvent::MouseMove, grip + QPoint(-100, 60), Qt::LeftButton);
        QCOMPARE(panel->pos(), QPoint(area->width() - 229 - 100, 60));
        send(QEvent::MouseMove, grip + QPoint(-5000, 5000), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, grip + QPoint(-5000, 5000), Qt::NoButton);
        QCOMPARE(panel->pos(), QPoint(0, area->height() - panel->height()));
        // Collapsed, dragged to the bottom and expanded again, it moves up to stay inside.
        QTest::mouseClick(image, Qt::LeftButton);
        send(QEvent::MouseButtonPress, grip, Qt::LeftButton);
        send(QEvent::MouseMove, grip + QPoint(0, 5000), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, grip + QPoint(0, 5000), Qt::NoButton);
        QTest::mouseClick(image, Qt::LeftButton);
        QCOMPARE(panel->height(), 157);
        QVERIFY(panel->geometry().bottom() < area->height());
    }

    // Column widths of nothing at all still share the grid's whole width.
    void zeroColumnWidths_stillFillTheGrid() {
        TempDir dir;
        makeCatalogue(dir.path());
        test::writeFile(dir / "mvx.ini",
                        "[interface]\r\nselect_browser=2\r\ncol_width_Izb=0\r\ncol_width_Type=0\r\n"
                        "col_width_Number=0\r\ncol_width_Tem=0\r\ncol_width_Statia=0\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        form.resize(700, 400);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QHeaderView* header = grid(form)->horizontalHeader();
        int total = 0;
        for (int c = 0; c < header->count(); ++c)
            total += header->sectionSize(c);
        QCOMPARE(total, grid(form)->viewport()->width());
        QVERIFY(header->sectionSize(ArticleModel::ColStatia) > 20);
    }

    void closeAndStartAgain_bringsBackOrderFilterColumnsWindowAndFavouriteRow() {
        TempDir dir;
        makeCatalogue(dir.path());
        test::writeFile(dir / "mvx.ini",
                        "[interface]\r\nstate_save=1\r\nselect_browser=2\r\nWindowState=2\r\n"
                        "WindowLeft=30\r\nWindowTop=40\r\nWindowWidth=700\r\nWindowHeight=450\r\n");
        QRect bounds;
        QList<int> widths;
        {
            MainWindow form(dir.path(), test::quietPresenter());
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            clickTitle(form, ArticleModel::ColStatia);
            button(form, "ToolButton17")->click();
            toggleTopic(form, 1);
            button(form, "SpeedButton1")->click();
            QHeaderView* header = grid(form)->horizontalHeader();
            header->moveSection(header->visualIndex(ArticleModel::ColStatia), 0);
            header->resizeSection(ArticleModel::ColTem, header->sectionSize(ArticleModel::ColTem) + 40);
            for (int c = 0; c < ArticleModel::ColumnCount; ++c)
                widths << header->sectionSize(c);
            makeCurrent(form, "Вега", ArticleModel::ColIzb);
            QTest::keyClick(grid(form), Qt::Key_Space);
            button(form, "ToolButton5")->click();
            form.findChild<QComboBox*>(QStringLiteral("FlatComboBox3"))->setCurrentIndex(1);
            form.session().ini.text_search = "word";
            bounds = form.geometry();
            QVERIFY(form.close());
        }
        QCOMPARE(iniValue(dir.path(), "state_index"), std::string("Statia"));
        QCOMPARE(iniValue(dir.path(), "col_index_Statia"), std::string("0"));
        QCOMPARE(iniValue(dir.path(), "col_index_Tem"), std::string("4"));

        MainWindow form(dir.path(), test::quietPresenter());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.articleGrid()->sortColumn(), QStringLiteral("Statia"));
        QCOMPARE(titles(form), list({"Альфа", "Вега", "Гамма"}));
        QCOMPARE(button(form, "SpeedButton1")->text(), QStringLiteral("Выключить фильтр"));
        QCOMPARE(form.statusPanels()->text(1), QStringLiteral("Всего статей : 3"));
        QCOMPARE(form.statusPanels()->text(2), form.messages().text(73));
        QHeaderView* header = grid(form)->horizontalHeader();
        const int order[] = {ArticleModel::ColStatia, ArticleModel::ColIzb, ArticleModel::ColType,
                             ArticleModel::ColNumber, ArticleModel::ColTem};
        for (int v = 0; v < 5; ++v)
            QCOMPARE(header->logicalIndex(v), order[v]);
        for (int c = 0; c < ArticleModel::ColumnCount; ++c)
            QVERIFY2(std::abs(header->sectionSize(c) - widths[c]) <= 1, qPrintable(QString::number(c)));
        QCOMPARE(form.geometry(), bounds);
        QVERIFY(button(form, "ToolButton5")->isChecked());
        QVERIFY(!button(form, "ToolButton3")->isChecked());
        QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("FlatComboBox3"))->currentIndex(), 1);
        QCOMPARE(form.session().ini.text_search, std::string("word"));
        // The row current at the close is current again, still a favourite.
        QCOMPARE(currentTitle(form), QStringLiteral("Вега"));
        QCOMPARE(grid(form)->currentIndex().row(), 1);
        QCOMPARE(form.session().articles().asInt("Izb"), -1);
    }

    void savedSortColumn_choosesTheOrderOnlyWhenKeptAndSpelledExactly_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("sortColumn");
        QTest::addColumn<QStringList>("order");
        const QStringList standard = list({"Альфа", "Дельта", "Гамма", "Бета", "Вега"});
        QTest::newRow("izb in other case")
            << QByteArray("state_save=1\r\nstate_index=izb") << QStringLiteral("Type") << standard;
        // The favourites order takes the snapshot as stored: Вега (Izb1 -1) before the others.
        QTest::newRow("favourites") << QByteArray("state_save=1\r\nstate_index=Izb") << QStringLiteral("Izb")
                                    << list({"Альфа", "Дельта", "Вега", "Гамма", "Бета"});
        QTest::newRow("not kept") << QByteArray("state_save=0\r\nstate_index=Statia\r\nstate_filter=1")
                                  << QStringLiteral("Type") << standard;
    }
    void savedSortColumn_choosesTheOrderOnlyWhenKeptAndSpelledExactly() {
        QFETCH(QByteArray, settings);
        QFETCH(QString, sortColumn);
        QFETCH(QStringList, order);
        TempDir dir;
        std::vector<Row> rows = kRows;
        rows[4].izb1 = -1;
        makeCatalogue(dir.path(), rows);
        test::writeFile(dir / "mvx.ini",
                        "[interface]\r\nselect_browser=2\r\n" + settings.toStdString() + "\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        QCOMPARE(form.articleGrid()->sortColumn(), sortColumn);
        QCOMPARE(titles(form), order);
    }

    void windowState_maximisedKeepsNormalBoundsAndOddValuesAreIgnored() {
        TempDir dir;
        makeCatalogue(dir.path());
        for (const char* state : {"0", "7"}) {
            test::writeFile(dir / "mvx.ini", std::string("[interface]\r\nselect_browser=2\r\nWindowState=") +
                                                 state + "\r\nWindowWidth=600\r\nWindowHeight=400\r\n");
            MainWindow form(dir.path(), test::quietPresenter());
            QCOMPARE(form.windowState(), Qt::WindowNoState);
            QCOMPARE(form.size(), QSize(600, 400));
        }

        // No search scope selected at the close writes 0.
        test::writeFile(dir / "mvx.ini",
                        "[interface]\r\nselect_browser=2\r\nWindowState=2\r\nWindowLeft=30\r\n"
                        "WindowTop=40\r\nWindowWidth=600\r\nWindowHeight=400\r\nButton_find=9\r\n");
        {
            MainWindow form(dir.path(), test::quietPresenter());
            QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("FlatComboBox3"))->currentIndex(), -1);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            form.showMaximized();
            QTRY_VERIFY(form.isMaximized());
            QTRY_VERIFY(form.width() > 600);
            QVERIFY(form.close());
        }
        QCOMPARE(iniValue(dir.path(), "WindowState"), std::string("3"));
        QCOMPARE(iniValue(dir.path(), "WindowWidth"), std::string("600"));
        QCOMPARE(iniValue(dir.path(), "WindowLeft"), std::string("30"));
        QCOMPARE(iniValue(dir.path(), "Button_find"), std::string("0"));

        MainWindow form(dir.path(), test::quietPresenter());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.isMaximized());
        form.showNormal();
        QTRY_COMPARE(form.size(), QSize(600, 400));
    }

    // Bounds made on a larger screen (or at a smaller scale) are fitted onto this one; the settings keep them
    // until the user moves the window.
    void boundsOffTheScreen_areFittedOntoItAndKeptUntilTheUserMovesTheWindow() {
        TempDir dir;
        makeCatalogue(dir.path());
        test::writeFile(dir / "mvx.ini",
                        "[interface]\r\nselect_browser=2\r\nWindowState=2\r\nWindowLeft=500\r\n"
                        "WindowTop=400\r\nWindowWidth=1000\r\nWindowHeight=697\r\n");
        for (const bool moved : {false, true}) {
            MainWindow form(dir.path(), test::quietPresenter());
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QVERIFY(form.screen()->availableGeometry().contains(form.frameGeometry()));
            if (moved) form.move(10, 20);
            QVERIFY(form.close());
            QCOMPARE(iniValue(dir.path(), "WindowLeft"), std::string(moved ? "10" : "500"));
            QCOMPARE(iniValue(dir.path(), "WindowWidth"),
                     moved ? std::to_string(form.width()) : std::string("1000"));
        }
    }

    // Bounds the settings do not give are the splash window's, which stands on the screen while the main
    // window is made.
    void missingBounds_takeTheSplashWindowsBounds() {
        TempDir dir;
        makeCatalogue(dir.path());
        test::writeFile(dir / "mvx.ini",
                        "[interface]\r\nselect_browser=2\r\nWindowState=2\r\nWindowWidth=400\r\n");
        auto* splash = new SplashScreen;
        splash->showNow();
        const QRect bounds = splash->geometry();
        MainWindow form(dir.path(), test::quietPresenter());
        delete splash;
        QCOMPARE(form.width(), 400);
        QCOMPARE(form.height(), bounds.height());
        QCOMPARE(form.pos(), bounds.topLeft());
    }

    void unreadableColourAtStartup_isShownAndSkipsTheRestButTheWindowOpens() {
        TempDir dir;
        makeCatalogue(dir.path());
        writeSearchHistory(dir / "search.dat", {"old"});
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=2\r\ncolor_table=Purplish\r\n");
        QStringList errors;
        MainWindow form(dir.path(), [&](QWidget*, MainWindow::MessageKind kind, const QString& text) {
            if (kind == MainWindow::MessageKind::Error) errors << text;
        });
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].contains(QStringLiteral("Purplish")));
        QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"))->count(), 0);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(titles(form).size(), 5);
    }
};

QTEST_MAIN(MainWindowStateTest)

#include "mainwindowstate_test.moc"
