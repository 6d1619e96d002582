#include "catalogue/catalogue.h"
#include "search/history.h"
#include "support/testsupport.h"
#include "support/uisupport.h"
#include "ui/aboutdialog.h"
#include "ui/appearance.h"
#include "ui/archiveview.h"
#include "ui/articlegriddelegate.h"
#include "ui/articlemodel.h"
#include "ui/helpwindow.h"
#include "ui/indexingdialog.h"
#include "ui/articlegrid.h"
#include "ui/mainwindow.h"
#include "ui/statusbar.h"
#include "ui/searchprogressdialog.h"
#include "ui/settingsdialog.h"
#include "ui/topicmodel.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <sys/stat.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWebEnginePage>

using namespace marovex;
using marovex::test::TempDir;

namespace {

struct Shown {
    MainWindow::MessageKind kind;
    QString text;
};

// `rows` rows over the three editions, titled "Статья 0", "Статья 1"…
void makeCatalogue(const std::filesystem::path& dir, int rows, int foundRow = -1, int favouriteRow = -1) {
    std::vector<test::ArticleSpec> catalogueRows;
    for (int i = 0; i < rows; ++i) {
        test::ArticleSpec r{1 + i % 3, std::to_string(i + 1), "Тема", "Статья " + std::to_string(i)};
        r.find = i == foundRow ? -1 : 0;
        if (i == favouriteRow) r.izb = -1;
        catalogueRows.push_back(r);
    }
    test::WriteCatalogue(dir, catalogueRows);
}

void copyLanguage(const std::filesystem::path& dir, const char* file) {
    std::filesystem::create_directories(dir / "Locale");
    std::filesystem::copy_file(std::filesystem::path(MAROVEX_SOURCE_DIR) / "resources/Locale" / file,
                               dir / "Locale" / file);
}

QTableView* articleGrid(MainWindow& form) {
    return form.findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"));
}

QPoint cellCentre(QTableView* grid, int row, int column) {
    return grid->visualRect(grid->model()->index(row, column)).center();
}

// Calls back when a dialog is shown, before its first report or event loop.
class DialogWatcher : public QObject {
public:
    explicit DialogWatcher(std::function<void(QDialog*)> shown) : m_shown(std::move(shown)) {
        qApp->installEventFilter(this);
    }
    ~DialogWatcher() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QDialog*>(watched)) m_shown(dialog);
        return false;
    }

private:
    std::function<void(QDialog*)> m_shown;
};

// The middle of what a cell shows, found in its picture: in the topics' key column, the check box.
QPoint drawnCentre(QTableView* grid, int row, int column) {
    const QImage picture = grid->viewport()->grab().toImage();
    const QRect cell = grid->visualRect(grid->model()->index(row, column));
    const QColor background = picture.pixelColor(cell.topRight());
    QRect drawn;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            if (picture.pixelColor(x, y) != background) drawn |= QRect(x, y, 1, 1);
    return drawn.center();
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void missingArticleFile_reportsPathAndClosesWithoutWriting() {
        TempDir dir;
        std::vector<Shown> shown;
        auto* form = new MainWindow(dir.path(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        QCOMPARE(int(shown.size()), 1);
        QCOMPARE(shown[0].kind, MainWindow::MessageKind::Information);
        QCOMPARE(shown[0].text,
                 QStringLiteral("File not found : \n") + QString::fromStdString((dir / "mvx.dat").string()));
        QCOMPARE(form->startupFailed(), true);
        form->show();
        QTRY_VERIFY(!form->isVisible());
        delete form;
        QVERIFY(std::filesystem::is_empty(dir.path()));
    }

    void startup_loadsCatalogueHistoryAndSearchState() {
        TempDir dir;
        makeCatalogue(dir.path(), 20, 7);
        writeSearchHistory(dir / "search.dat", {"Привет", "old"});
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=2\r\n");
        std::vector<Shown> shown;
        MainWindow form(dir.path(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        QVERIFY(shown.empty());
        QCOMPARE(form.objectName(), QStringLiteral("Form1"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Marovex v2.0"));
        auto* grid = articleGrid(form);
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
        // Status bar: three panels, the row count in the first once the settings were read.
        QCOMPARE(form.statusPanels()->text(1), QStringLiteral("Всего статей : 20"));
        QCOMPARE(form.findChild<QLabel*>(QStringLiteral("StatusBar1Panel1"))->width(), 140);
        QCOMPARE(form.findChild<QLabel*>(QStringLiteral("StatusBar1Panel2"))->width(), 150);
        // Another viewer than the embedded one: no pane, and the grid area takes the whole height.
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(!form.findChild<QWidget*>(QStringLiteral("Panel2"))->isVisible());
        auto* splitter = form.findChild<QSplitter*>(QStringLiteral("Splitter1"));
        QCOMPARE(form.findChild<QWidget*>(QStringLiteral("Panel1"))->height(), splitter->height());
    }

    void search_enterMarksTitlesShowsTheCountAndFindEndClearsThem() {
        TempDir dir;
        makeCatalogue(dir.path(), 12);
        copyLanguage(dir.path(), "rus.lng");
        test::writeFile(dir / "mvx.ini", "[interface]\r\nlocal=rus.lng\r\nselect_browser=4\r\n");
        std::vector<Shown> shown;
        MainWindow form(dir.path(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        auto* end = form.findChild<QToolButton*>(QStringLiteral("ToolButton10"));
        QVERIFY(test::showActive(form));
        test::clickAt(box, box->rect().center()); // the click that puts the caret into the box
        box->setEditText(QStringLiteral("  статья   1 "));
        test::typeKey(form, Qt::Key_Return); // reaches the box as a real key does, and searches once
        // "Статья 1", "Статья 10", "Статья 11": the first occurrence, not whole words.
        QCOMPARE(box->currentText(), QStringLiteral("статья 1"));
        QCOMPARE(box->itemText(0), QStringLiteral("статья 1"));
        QCOMPARE(int(shown.size()), 1);
        QCOMPARE(int(shown[0].kind), int(MainWindow::MessageKind::InformationYes));
        QVERIFY2(shown[0].text.endsWith(QStringLiteral(" 3")), qPrintable(shown[0].text));
        QVERIFY(end->isEnabled());
        RecordTable& articles = form.session().articles();
        QCOMPARE(articles.rowAt(0).asInt(articles.field("Find")), -1);
        QCOMPARE(form.session().ini.text_search, std::string("статья 1"));
        form.findChild<QAction*>(QStringLiteral("Find_End"))->trigger();
        QVERIFY(!end->isEnabled());
        for (int i = 0; i < articles.rowCount(); ++i)
            QCOMPARE(articles.rowAt(i).asInt(articles.field("Find")), 0);
        QVERIFY(form.session().ini.text_search.empty());

        // The keypad's Enter searches too.
        test::clickAt(box, box->rect().center());
        test::typeKey(form, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(int(shown.size()), 2);
        QVERIFY(end->isEnabled());
    }

    // Enter searches the text as typed: an entry of the history that begins with it is offered, and taken
    // only when chosen.
    void search_enterSearchesWhatWasTypedAndAChosenSuggestion() {
        TempDir dir;
        makeCatalogue(dir.path(), 3);
        writeSearchHistory(dir / "search.dat", {"сканр"});
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=4\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        QVERIFY(test::showActive(form));
        auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        QStringList offered;
        auto typeAndSearch = [&](const QString& typed, std::optional<Qt::Key> choose) {
            test::clickAt(box, box->rect().center());
            test::typeKey(form, Qt::Key_A, Qt::ControlModifier);
            test::typeText(form, typed);
            const QAbstractItemView* list = box->completer()->popup();
            offered.clear();
            for (int row = 0; list->isVisible() && row < list->model()->rowCount(); ++row)
                offered << list->model()->index(row, 0).data().toString();
            if (choose) test::typeKey(form, *choose);
            test::typeKey(form, Qt::Key_Return);
            return QString::fromStdString(form.session().ini.text_search);
        };
        QCOMPARE(typeAndSearch(QStringLiteral("скан"), std::nullopt), QStringLiteral("скан"));
        QCOMPARE(box->currentText(), QStringLiteral("скан"));
        QCOMPARE(typeAndSearch(QStringLiteral("КА"), Qt::Key_Down), QStringLiteral("скан"));
        QCOMPARE(offered, (QStringList{QStringLiteral("скан"), QStringLiteral("сканр")}));
        QCOMPARE(typeAndSearch(QStringLiteral("ка"), Qt::Key_Up), QStringLiteral("сканр"));
    }

    // The found rows are listed first; after a search with hits the first of them is current and in view,
    // wherever the grid stood before and wherever the walk ended.
    void search_makesTheFirstFoundRowCurrentAndShowsIt() {
        TempDir dir;
        makeCatalogue(dir.path(), 200);
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=4\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        form.resize(800, 400);
        QVERIFY(test::showActive(form));
        auto* grid = articleGrid(form);
        auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        form.findChild<QAction*>(QStringLiteral("Go_Last"))->trigger();
        QVERIFY(grid->rowAt(0) > 100);
        test::clickAt(box, box->rect().center());
        box->setEditText(QStringLiteral("Статья 7"));
        test::typeKey(form, Qt::Key_Return);
        RecordTable& articles = form.session().articles();
        QCOMPARE(articles.position(), 0);
        QCOMPARE(articles.asInt("Find"), -1);
        QCOMPARE(grid->currentIndex().row(), 0);
        QCOMPARE(grid->rowAt(0), 0);
    }

    // A keyboard alone reaches every control: Tab and Shift+Tab leave the grid (arrows move between its
    // cells), and Ctrl+L or Ctrl+K take the focus to the search box with its text selected, from anywhere.
    void keyboard_tabLeavesTheGridAndCtrlLOrKSelectTheSearchText() {
        TempDir dir;
        makeCatalogue(dir.path(), 10);
        writeSearchHistory(dir / "search.dat", {"Статья 1"});
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=4\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        QVERIFY(test::showActive(form));
        auto* grid = articleGrid(form);
        auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        test::clickAt(grid->viewport(), cellCentre(grid, 0, ArticleModel::ColTem));
        const QModelIndex first = grid->currentIndex();
        for (const Qt::KeyboardModifier modifier : {Qt::NoModifier, Qt::ShiftModifier}) {
            QVERIFY(grid->hasFocus());
            test::typeKey(form, Qt::Key_Tab, modifier);
            QVERIFY(!grid->hasFocus());
            QCOMPARE(grid->currentIndex(), first);
            test::typeKey(form, Qt::Key_Tab,
                          modifier == Qt::ShiftModifier ? Qt::NoModifier : Qt::ShiftModifier);
        }
        test::typeKey(form, Qt::Key_Right);
        QCOMPARE(grid->currentIndex().column(), ArticleModel::ColStatia);

        QLineEdit* edit = box->lineEdit();
        test::typeKey(form, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(edit->hasFocus());
        QCOMPARE(edit->selectedText(), QStringLiteral("Статья 1"));
        test::typeKey(form, Qt::Key_End);
        test::typeKey(form, Qt::Key_K, Qt::ControlModifier); // also in the box itself
        QCOMPARE(edit->selectedText(), QStringLiteral("Статья 1"));
        test::typeText(form, QStringLiteral("Статья 3"));
        test::typeKey(form, Qt::Key_Return); // a search; the grid has the focus again
        QVERIFY(grid->hasFocus());
        test::typeKey(form, Qt::Key_K, Qt::ControlModifier);
        QVERIFY(edit->hasFocus());
        QCOMPARE(edit->selectedText(), QStringLiteral("Статья 3"));
    }

    // With no row in the view the grid still has its selected column: Enter and Space open "the row" with
    // empty values, and the candidates built from them are reported as not found.
    void emptyGrid_enterAndSpaceReportTheCandidatesOfAnEmptyRow() {
        TempDir dir;
        makeCatalogue(dir.path(), 0);
        test::writeFile(dir / "mvx.ini", "[options]\r\ndbdir=" + (dir / "archive").string() +
                                             "\r\n[interface]\r\nselect_browser=4\r\n");
        std::vector<Shown> shown;
        MainWindow form(dir.path(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        QVERIFY(test::showActive(form));
        auto* grid = articleGrid(form);
        test::clickAt(grid->viewport(), grid->viewport()->rect().center());
        QCOMPARE(QApplication::focusWidget(), grid);
        test::typeKey(form, Qt::Key_Return);
        test::typeKey(form, Qt::Key_Space);
        QCOMPARE(int(shown.size()), 2);
        QCOMPARE(int(shown[0].kind), int(MainWindow::MessageKind::ErrorYes));
        // The plain candidate of an empty prefix and number is the archive folder itself.
        QVERIFY2(shown[0].text.contains(QString::fromStdString((dir / "archive").string())),
                 qPrintable(shown[0].text));
    }

    // An edit the table refuses to store (a number its 16-bit field cannot hold) is reported once, by the
    // table; the command whose move it stopped adds nothing of its own.
    void refusedStore_isReportedOnceAndEndsTheCommandQuietly() {
        TempDir dir;
        makeCatalogue(dir.path(), 3);
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=4\r\n");
        std::vector<Shown> shown;
        MainWindow form(dir.path(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        QVERIFY(test::showActive(form));
        RecordTable& articles = form.session().articles();
        QVERIFY(articles.edit());
        articles.setInt("Npp", 70000);
        auto* lastRow = form.findChild<QToolButton*>(QStringLiteral("ToolButton16"));
        test::clickAt(lastRow, lastRow->rect().center());
        QCOMPARE(int(shown.size()), 1);
        QCOMPARE(int(shown[0].kind), int(MainWindow::MessageKind::Information));
        QCOMPARE(articles.position(), 0);
    }

    // A FIFO in place of the full-text search's store is never opened: the search answers, its file is named
    // once in the window's run, and the window closes as always.
    void textSearch_withAFifoAsTheStoreAnswersNamesItOnceAndCloses() {
        TempDir dir;
        test::WriteCatalogue(dir.path(), {{1, "7", "", "Первая", "a.htm"}, {1, "7", "", "Вторая", "b.htm"}});
        test::writeFile(dir / "archive/Kelvra-Gold7/pub/a.htm", "<p>peace</p>");
        test::writeFile(dir / "archive/Kelvra-Gold7/pub/b.htm", "<p>war</p>");
        test::writeFile(dir / "mvx.ini", "[options]\r\ndbdir=" + (dir / "archive").string() +
                                             "\r\n[interface]\r\nselect_browser=4\r\n");
        const std::filesystem::path store = dir / "texts.dat";
        QCOMPARE(::mkfifo(store.c_str(), 0644), 0);
        std::vector<Shown> shown;
        auto* form = new MainWindow(dir.path(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        QVERIFY(test::showActive(*form));
        form->findChild<QComboBox*>(QStringLiteral("FlatComboBox3"))->setCurrentIndex(1);
        auto* box = form->findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        for (const QString& word : {QStringLiteral("peace"), QStringLiteral("war")}) {
            test::clickAt(box, box->rect().center());
            box->setEditText(word);
            test::typeKey(*form, Qt::Key_Return);
            QTRY_VERIFY(!QApplication::activeModalWidget());
            // The row found is current, also when the walk ended on the other one.
            QCOMPARE(form->session().articles().asText("Link"),
                     std::string(word == QStringLiteral("peace") ? "a.htm" : "b.htm"));
        }
        QCOMPARE(int(shown.size()), 3);
        QVERIFY2(shown[0].text.endsWith(QLatin1Char('1')), qPrintable(shown[0].text));
        QCOMPARE(int(shown[1].kind), int(MainWindow::MessageKind::Error));
        QVERIFY2(shown[1].text.contains(QString::fromStdString(store.string())), qPrintable(shown[1].text));
        QVERIFY2(shown[2].text.endsWith(QLatin1Char('1')), qPrintable(shown[2].text));
        QVERIFY(test::showActive(*form));
        test::typeKey(*form, Qt::Key_X, Qt::AltModifier);
        QTRY_VERIFY(!form->isVisible());
        delete form;
        QVERIFY(std::filesystem::is_fifo(store));
    }

    void altX_closesAndWritesHistoryAndRememberedRow() {
        TempDir dir;
        makeCatalogue(dir.path(), 5);
        {
            MainWindow form(dir.path(), test::quietPresenter());
            form.session().ini.state_save = true;
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
            box->addItem(QStringLiteral("ёж"));
            form.session().articles().moveTo(3);
            QTest::keyClick(&form, Qt::Key_X, Qt::AltModifier);
            QTRY_VERIFY(!form.isVisible());
        }
        QCOMPARE(test::readFile(dir / "search.dat"), std::string("\xb8\xe6\r\n"));
        RecordTable t;
        catalogue::openArticleTable(t, dir / "mvx.dat", {});
        QVERIFY(t.locate("Izb", {FieldValue{std::int32_t(5)}}));
        QCOMPARE(t.asInt("Npp"), 3);
    }

    void commands_areNamedAndMenuItemsRunThem() {
        TempDir dir;
        makeCatalogue(dir.path(), 3);
        std::filesystem::create_directories(dir / "Help");
        test::writeFile(dir / "Help" / "help.html", "<html></html>");
        std::vector<Shown> shown;
        MainWindow form(dir.path(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        QStringList opened;
        form.setShellOpener([&](const QString& file, auto) { opened << file; });
        for (const char* name :
             {"Action_Find", "Find_End", "GoIndex", "SetProperties", "Clear_History", "view_filter_on_off",
              "help", "Exit", "Action1", "ReadAbut", "Go_First", "Go_Last"})
            QVERIFY2(form.findChild<QAction*>(QString::fromLatin1(name)), name);
        for (const char* name :
             {"ToolBar1",      "ToolBar2",     "Label1",       "FlatComboBox1", "FlatComboBox3",
              "ToolButton3",   "ToolButton5",  "ToolButton10", "ToolButton11",  "ToolButton15",
              "ToolButton16",  "ToolButton17", "ToolButton19", "ToolButton21",  "ToolButton22",
              "Panel1",        "Panel2",       "Panel3",       "Splitter1",     "StatusBar1",
              "DBGridEh_MVX1", "SpeedButton1", "Image1",       "ElPopupMenu1"})
            QVERIFY2(form.findChild<QWidget*>(QString::fromLatin1(name)), name);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        // F1 opens the help page once.
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(opened, QStringList{QString::fromStdString((dir / "Help" / "help.html").string())});
        // The menu item "What's new" runs its command; its page is missing, which is reported, not opened.
        form.findChild<QAction*>(QStringLiteral("ElMenuItem12"))->trigger();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(int(shown.size()), 1);
        QVERIFY(shown[0].text.endsWith(QString::fromStdString((dir / "Help" / "new.html").string())));

        // m_lastRowAction and m_firstRowAction move the current row of the view.
        form.findChild<QAction*>(QStringLiteral("Go_Last"))->trigger();
        QCOMPARE(articleGrid(form)->currentIndex().row(), 2);
        form.findChild<QAction*>(QStringLiteral("Go_First"))->trigger();
        QCOMPARE(form.session().articles().position(), 0);

        // m_clearHistoryAction empties the list.
        auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        box->addItems({QStringLiteral("a"), QStringLiteral("b")});
        form.findChild<QAction*>(QStringLiteral("Clear_History"))->trigger();
        QCOMPARE(box->count(), 0);

        // The topic button shows and hides the topic panel over the grid's top right corner.
        auto* topics = form.findChild<QToolButton*>(QStringLiteral("ToolButton17"));
        auto* panel3 = form.findChild<QWidget*>(QStringLiteral("Panel3"));
        QVERIFY(!panel3->isVisible());
        topics->click();
        QVERIFY(panel3->isVisible() && topics->isChecked());
        QCOMPARE(panel3->geometry().right(), form.findChild<QWidget*>(QStringLiteral("Panel1"))->width() - 1);
        topics->click();
        QVERIFY(!panel3->isVisible() && !topics->isChecked());
    }

    // On a desktop with no program for a file (xdg-open: "no method available") F1 and What's new show
    // their pages in a window of the application's own, and a file for the default program is named in a
    // message with the reason. The help lists every key of the window and the setting for single clicks.
    void help_showsInTheApplicationWhenTheDesktopCannotOpenIt() {
        TempDir dir;
        test::WriteCatalogue(dir.path(), {{1, "7", "Тема", "Статья", "a.pdf"}});
        test::writeFile(dir / "archive/Kelvra-Gold7/pub/a.pdf", "%PDF-1.4");
        std::filesystem::copy(std::filesystem::path(MAROVEX_SOURCE_DIR) / "resources/Help", dir / "Help");
        copyLanguage(dir.path(), "eng.lng");
        test::writeFile(dir / "mvx.ini", "[options]\r\ndbdir=" + (dir / "archive").string() +
                                             "\r\n[interface]\r\nlocal=eng.lng\r\nselect_browser=4\r\n");
        test::writeFile(dir / "bin/xdg-open",
                        "#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
        ::chmod((dir / "bin/xdg-open").c_str(), 0755);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QByteArray::fromStdString((dir / "bin").string()) + ':' + path);
        const auto restorePath = qScopeGuard([&] { qputenv("PATH", path); });
        std::vector<Shown> shown;
        MainWindow form(dir.path(), [&](QWidget*, MainWindow::MessageKind k, const QString& t) {
            shown.push_back({k, t});
        });
        QVERIFY(test::showActive(form));

        test::typeKey(form, Qt::Key_F1);
        QTRY_VERIFY(form.helpWindow() && form.helpWindow()->isVisible());
        QTRY_COMPARE(form.helpWindow()->windowTitle(), QStringLiteral("Marovex — справка / help"));
        QWebEnginePage* page = form.helpWindow()->view()->page();
        QTRY_VERIFY(!page->isLoading());
        auto shownText = std::make_shared<QString>();
        page->toPlainText([shownText](const QString& t) { *shownText = t; });
        QTRY_VERIFY(!shownText->isEmpty());
        const QString text = *shownText;
        for (const QAction* command : form.findChildren<QAction*>())
            for (const QKeySequence& keys : command->shortcuts())
                QVERIFY2(text.count(keys.toString()) >= 2, qPrintable(keys.toString())); // in both languages
        QVERIFY(text.contains(QStringLiteral("Открывать одним щелчком")));
        QVERIFY(text.contains(QStringLiteral("Open with a single click")));
        for (const char* wrong :
             {"Click an article title to open it", "A click marks or unmarks a favourite"})
            QVERIFY2(!text.contains(QString::fromUtf8(wrong)), wrong); // both need two clicks by default
        form.findChild<QAction*>(QStringLiteral("ElMenuItem12"))->trigger();
        QTRY_COMPARE(form.helpWindow()->windowTitle(),
                     QStringLiteral("Marovex 2.0 — что нового / what's new"));
        QVERIFY(test::showActive(*form.helpWindow()));
        test::typeKey(*form.helpWindow(), Qt::Key_Escape);
        QTRY_VERIFY(!form.helpWindow());
        QVERIFY(shown.empty());

        QVERIFY(test::showActive(form));
        auto* grid = articleGrid(form);
        test::clickAt(grid->viewport(), cellCentre(grid, 0, ArticleModel::ColStatia));
        test::typeKey(form, Qt::Key_Return);
        QTRY_COMPARE(int(shown.size()), 1);
        QCOMPARE(shown[0].kind, MainWindow::MessageKind::Error);
        QCOMPARE(shown[0].text,
                 QString::fromStdString((dir / "archive/Kelvra-Gold7/pub/a.pdf").string()) +
                     QStringLiteral(
                         ": cannot open the file: no program on this computer opens files of this kind"));
    }

    // In a window too narrow for both tool bars the second one's buttons hide behind its extension button:
    // a click there shows them where a click reaches them. The topic panel has a menu item as well.
    void narrowWindow_reachesHiddenButtonsThroughTheExtensionAndTheTopicPanelThroughTheMenu() {
        TempDir dir;
        makeCatalogue(dir.path(), 3);
        MainWindow form(dir.path(), test::quietPresenter());
        form.resize(640, 400);
        QVERIFY(test::showActive(form));
        auto* bar = form.findChild<QToolBar*>(QStringLiteral("ToolBar2"));
        auto* topics = form.findChild<QToolButton*>(QStringLiteral("ToolButton17"));
        auto* panel3 = form.findChild<QWidget*>(QStringLiteral("Panel3"));
        QTRY_VERIFY(!topics->isVisible());
        auto* extension = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
        QVERIFY(extension && extension->isVisible());
        test::clickAt(extension, extension->rect().center());
        QTRY_VERIFY(topics->isVisible());
        const QPoint centre = topics->rect().center();
        QTRY_COMPARE(form.childAt(topics->mapTo(&form, centre)), topics);
        test::clickAt(topics, centre);
        QVERIFY(panel3->isVisible());

        // The menu item shows the panel's state and hides it again.
        auto* setup = form.findChild<QAction*>(QStringLiteral("ElMenuItem5"));
        QMenuBar* menus = form.menuBar();
        test::clickAt(menus, menus->actionGeometry(setup).center());
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        auto* item = form.findChild<QAction*>(QStringLiteral("ElMenuItem15"));
        QVERIFY(item && item->isChecked());
        test::clickAt(menu, menu->actionGeometry(item).center());
        QVERIFY(!panel3->isVisible());
        QVERIFY(!item->isChecked());
    }

    // A window as narrow as a maximised one at scale 2: the topic panel leaves the grid's scroll bar free,
    // the issue numbers fit their column, and the favourites title shows the sort marker.
    void narrowWindow_keepsScrollBarNumbersAndSortMarkerInSight() {
        TempDir dir;
        makeCatalogue(dir.path(), 120, -1, 3);
        test::writeFile(dir / "mvx.ini",
                        "[interface]\r\nselect_browser=4\r\nWindowState=2\r\ncol_width_Izb=39\r\n"
                        "col_width_Type=116\r\ncol_width_Number=31\r\ncol_width_Tem=97\r\n"
                        "col_width_Statia=460\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        form.resize(640, 400);
        QVERIFY(test::showActive(form));
        auto* grid = articleGrid(form);
        QVERIFY(static_cast<QAbstractItemView*>(grid)->sizeHintForColumn(ArticleModel::ColNumber) <=
                grid->columnWidth(ArticleModel::ColNumber));

        QHeaderView* titles = grid->horizontalHeader();
        auto sortBy = [&](int column) {
            test::clickAt(
                titles->viewport(),
                QPoint(titles->sectionViewportPosition(column) + titles->sectionSize(column) / 2, 5));
            QTest::mouseMove(form.windowHandle(),
                             grid->mapTo(&form, QPoint(grid->width() / 2, grid->height() - 5)));
            const int x = titles->sectionViewportPosition(ArticleModel::ColIzb);
            return titles->viewport()
                ->grab(QRect(x, 0, titles->sectionSize(ArticleModel::ColIzb), titles->height()))
                .toImage();
        };
        const QImage byFavourites = sortBy(ArticleModel::ColIzb);
        QCOMPARE(form.articleGrid()->sortColumn(), QStringLiteral("Izb"));
        QVERIFY(byFavourites != sortBy(ArticleModel::ColTem));

        form.findChild<QAction*>(QStringLiteral("Go_Last"))->trigger();
        form.findChild<QAction*>(QStringLiteral("Topic_Panel"))->trigger();
        QScrollBar* bar = grid->verticalScrollBar();
        const int last = bar->value();
        QVERIFY(bar->isVisible() && last > 0);
        test::clickAt(bar, QPoint(bar->width() / 2, 3)); // the arrow up
        QCOMPARE(bar->value(), last - 1);
    }

    // The result of a search comes in a message box wide enough for its whole title beside the window
    // manager's icon and three buttons, each taken as wide as the title's line is high.
    void messageBox_isWideEnoughForItsTitle() {
        TempDir dir;
        makeCatalogue(dir.path(), 3);
        MainWindow form(dir.path());
        QVERIFY(test::showActive(form));
        auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        test::clickAt(box, box->rect().center());
        test::typeKey(form, Qt::Key_Z);
        int width = 0, needed = 0;
        QTimer::singleShot(0, [&] {
            auto* message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!message) return;
            QFont title = message->font();
            title.setBold(true);
            const QFontMetrics metrics(title);
            needed = metrics.horizontalAdvance(message->windowTitle()) + 4 * metrics.height();
            width = message->width();
            test::typeKey(*message, Qt::Key_Return);
        });
        test::typeKey(form, Qt::Key_Return);
        QVERIFY(needed > 0);
        QVERIFY2(width >= needed, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(needed)));
    }

    void languageFile_setsTextsByFieldWhereverTheColumnStands() {
        TempDir dir;
        makeCatalogue(dir.path(), 2);
        copyLanguage(dir.path(), "rus.lng");
        test::writeFile(dir / "mvx.ini", "[interface]\r\nlocal=rus.lng\r\nCellLines=0\r\nIndicator=0\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        QCOMPARE(form.findChild<QAction*>(QStringLiteral("ElMenuItem9"))->text(), QStringLiteral("Выход"));
        auto* grid = articleGrid(form);
        QVERIFY(!grid->showGrid());
        QVERIFY(grid->verticalHeader()->isHidden());
        const auto* model = grid->model();
        QCOMPARE(model->columnCount(), 5);
        QCOMPARE(model->headerData(ArticleModel::ColStatia, Qt::Horizontal).toString(),
                 QStringLiteral("Статья"));
        // The favourites column: an icon, never a text.
        QVERIFY(model->headerData(ArticleModel::ColIzb, Qt::Horizontal).toString().isEmpty());
        QVERIFY(!model->headerData(ArticleModel::ColIzb, Qt::Horizontal, Qt::DecorationRole)
                     .value<QIcon>()
                     .isNull());
        // A hint set on a button that shows a command survives the command being disabled.
        auto* settingsButton = form.findChild<QToolButton*>(QStringLiteral("ToolButton19"));
        const QString hint = settingsButton->toolTip();
        QVERIFY(!hint.isEmpty());
        form.findChild<QAction*>(QStringLiteral("SetProperties"))->setEnabled(false);
        QCOMPARE(settingsButton->toolTip(), hint);
        // Titles follow their field when columns are moved.
        grid->horizontalHeader()->moveSection(ArticleModel::ColStatia, 0);
        grid->horizontalHeader()->moveSection(grid->horizontalHeader()->visualIndex(ArticleModel::ColIzb), 3);
        QCOMPARE(model->headerData(grid->horizontalHeader()->logicalIndex(0), Qt::Horizontal).toString(),
                 QStringLiteral("Статья"));
    }

    // Every text the window shows speaks the interface language, from the start and after a switch in the
    // settings dialog: the row count, the filter button, the full-text search's progress dialog, and the
    // real message box that ends a search, which tells a cancelled search from a finished one.
    void language_everyTextFollowsItAndACancelledSearchSaysSo() {
        TempDir dir;
        test::WriteCatalogue(dir.path(), {{1, "7", "", "Первая", "a.htm"},
                                          {1, "7", "", "Вторая", "b.htm"},
                                          {1, "7", "", "Третья", "c.htm"}});
        for (const char* page : {"a.htm", "c.htm"})
            test::writeFile(dir / "archive/Kelvra-Gold7/pub" / page, "<p>peace</p>");
        test::writeFile(dir / "archive/Kelvra-Gold7/pub/b.htm", "<p>war</p>");
        copyLanguage(dir.path(), "rus.lng");
        copyLanguage(dir.path(), "eng.lng");
        test::writeFile(dir / "mvx.ini", "[options]\r\ndbdir=" + (dir / "archive").string() +
                                             "\r\n[interface]\r\nlocal=eng.lng\r\nselect_browser=4\r\n");
        // The progress dialog is cancelled by a click on its button at the second row, each message box
        // answered by a click on its button; what they showed is kept.
        QStringList progress, boxes;
        DialogWatcher watcher([&](QDialog* dialog) {
            if (auto* search = qobject_cast<SearchProgressDialog*>(dialog)) {
                auto* cancel = search->findChild<QPushButton*>(QStringLiteral("FlatButton1"));
                progress << search->windowTitle() << cancel->text()
                         << search->findChild<QLineEdit*>(QStringLiteral("FlatEdit1"))->text();
                connect(search, &SearchProgressDialog::progressReported, search,
                        [cancel](const search::FindProgress& p) {
                            if (p.row == 1) test::clickAt(cancel, cancel->rect().center());
                        });
            } else if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
                QString shown = box->text();
                for (QAbstractButton* button : box->buttons())
                    shown += QLatin1Char('|') + button->text();
                boxes << shown;
                QTimer::singleShot(0, box, [box] {
                    QAbstractButton* button = box->buttons().value(0);
                    if (button) test::clickAt(button, button->rect().center());
                });
            }
        });
        MainWindow form(dir.path()); // the application's own message boxes
        auto* filterButton = form.findChild<QToolButton*>(QStringLiteral("SpeedButton1"));
        QCOMPARE(form.statusPanels()->text(1), QStringLiteral("Total articles: 3"));
        QCOMPARE(filterButton->text(), QStringLiteral("Filter On"));

        auto* scope = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox3"));
        scope->setCurrentIndex(1);
        QVERIFY(test::chooseLanguageInSettings(form, QStringLiteral("Русский")));
        QCOMPARE(form.findChild<QAction*>(QStringLiteral("ElMenuItem9"))->text(), QStringLiteral("Выход"));
        QCOMPARE(scope->currentIndex(), 1);
        QCOMPARE(form.statusPanels()->text(1), QStringLiteral("Всего статей : 3"));
        QCOMPARE(filterButton->text(), QStringLiteral("Включить фильтр"));
        QVERIFY(test::readFile(dir / "mvx.ini").find("local=rus.lng") != std::string::npos);

        // And back, Qt's own texts with the rest: the box's button among them.
        QVERIFY(test::chooseEnglishInSettings(form));
        QCOMPARE(form.statusPanels()->text(1), QStringLiteral("Total articles: 3"));
        QVERIFY(test::showActive(form));
        auto* box = form.findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        test::clickAt(box, box->rect().center());
        box->setEditText(QStringLiteral("peace"));
        test::typeKey(form, Qt::Key_Return);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(progress, (QStringList{QStringLiteral("Searching the article texts"),
                                        QStringLiteral("Cancel"), QStringLiteral("Articles found: 0")}));
        QCOMPARE(boxes,
                 QStringList{QStringLiteral("Search cancelled. Articles found before it stopped: 1|&Yes")});
    }

    void grid_mouseAndKeysFollowTheOnclickSetting_data() {
        QTest::addColumn<bool>("onclick");
        QTest::newRow("single click opens") << true;
        QTest::newRow("double click opens") << false;
    }
    void grid_mouseAndKeysFollowTheOnclickSetting() {
        QFETCH(bool, onclick);
        TempDir dir;
        makeCatalogue(dir.path(), 10);
        test::writeFile(dir / "mvx.ini", std::string("[interface]\r\nselect_browser=2\r\nonclick=") +
                                             (onclick ? "1" : "0") + "\r\n");
        // The archive is empty: every opening of an article reports that it was not found.
        int opened = 0;
        MainWindow form(dir.path(), [&](QWidget*, MainWindow::MessageKind kind, const QString&) {
            if (kind == MainWindow::MessageKind::ErrorYes) ++opened;
        });
        form.resize(800, 500); // every row in full view, so a click does not scroll
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* grid = articleGrid(form);
        QWidget* cells = grid->viewport();

        QTest::mouseClick(cells, Qt::LeftButton, {}, cellCentre(grid, 2, ArticleModel::ColStatia));
        QCOMPARE(grid->currentIndex().row(), 2);
        QCOMPARE(opened, onclick ? 1 : 0);
        opened = 0;
        // A double click as the mouse makes it: a click, then the second press as a double click.
        const QPoint cell3 = cellCentre(grid, 3, ArticleModel::ColStatia);
        QTest::mouseClick(cells, Qt::LeftButton, {}, cell3);
        QTest::mouseDClick(cells, Qt::LeftButton, {}, cell3);
        QCOMPARE(opened, 1); // the first click opens, or the double click does
        opened = 0;

        // A right click opens nothing and does not move the current row.
        QTest::mouseClick(cells, Qt::RightButton, {}, cellCentre(grid, 6, ArticleModel::ColStatia));
        QCOMPARE(grid->currentIndex().row(), 3);
        QCOMPARE(opened, 0);

        // Clicks and double clicks on titles never open a row.
        QWidget* titles = grid->horizontalHeader()->viewport();
        const QPoint title(grid->horizontalHeader()->sectionViewportPosition(ArticleModel::ColTem) + 5,
                           grid->horizontalHeader()->height() / 2);
        QTest::mouseClick(titles, Qt::LeftButton, {}, title);
        QTest::mouseClick(titles, Qt::LeftButton, {}, title);
        QTest::mouseDClick(titles, Qt::LeftButton, {}, title);
        QCOMPARE(opened, 0);
        QCOMPARE(form.articleGrid()->sortColumn(), QStringLiteral("Tem"));

        // Enter and Space open the current row whatever the setting, typed where the focus is after a click.
        QVERIFY(test::showActive(form));
        test::clickAt(grid->viewport(), cellCentre(grid, 3, ArticleModel::ColTem));
        opened = 0;
        test::typeKey(form, Qt::Key_Return);
        test::typeKey(form, Qt::Key_Space);
        QCOMPARE(opened, 0);                                 // the topic column opens nothing
        QTest::keyClick(form.windowHandle(), Qt::Key_Right); // to the title column
        test::typeKey(form, Qt::Key_Return);
        test::typeKey(form, Qt::Key_Space);
        QCOMPARE(opened, 2);
    }

    // The row menu comes up over the columns that open something while the pane is the viewer, and acts on
    // the row clicked, which becomes current before the menu opens.
    void grid_rowMenuOverLinkColumnsActsOnTheRowClicked() {
        TempDir dir;
        std::vector<test::ArticleSpec> rows;
        for (int i = 1; i <= 5; ++i) {
            rows.push_back({1, std::to_string(i), "Тема", "Статья " + std::to_string(i), "a.htm"});
            test::writeFile(dir / "archive" / ("Kelvra-Gold" + std::to_string(i)) / "pub/a.htm", "<p>a</p>");
        }
        test::WriteCatalogue(dir.path(), rows);
        test::writeFile(dir / "mvx.ini", "[options]\r\ndbdir=" + (dir / "archive").string() +
                                             "\r\n[interface]\r\nselect_browser=1\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        QStringList opened;
        form.setShellOpener([&](const QString& file, auto) { opened << file; });
        form.resize(800, 500);
        QVERIFY(test::showActive(form));
        auto* grid = articleGrid(form);
        auto* menu = form.findChild<QMenu*>(QStringLiteral("ElPopupMenu1"));

        auto rightClickOnRow3 = [&](int column) {
            test::clickAt(grid->viewport(), cellCentre(grid, 1, ArticleModel::ColTem)); // row 1 current
            test::clickAt(grid->viewport(), cellCentre(grid, 3, column), Qt::RightButton);
            return menu->isVisible();
        };
        QVERIFY(!rightClickOnRow3(ArticleModel::ColTem));
        QVERIFY(!rightClickOnRow3(ArticleModel::ColIzb));
        QVERIFY(rightClickOnRow3(ArticleModel::ColNumber));
        menu->hide();
        QVERIFY(rightClickOnRow3(ArticleModel::ColStatia));
        QCOMPARE(grid->currentIndex().row(), 3);
        auto* inDefaultBrowser = form.findChild<QAction*>(QStringLiteral("ElMenuItem3"));
        test::clickAt(menu, menu->actionGeometry(inDefaultBrowser).center());
        const QString number = grid->model()->index(3, ArticleModel::ColNumber).data().toString().trimmed();
        QCOMPARE(opened,
                 QStringList{QString::fromStdString(
                     (dir / "archive" / ("Kelvra-Gold" + number.toStdString()) / "pub/a.htm").string())});

        form.session().ini.select_browser = 2;
        QVERIFY(!rightClickOnRow3(ArticleModel::ColStatia));
    }

    // A click on a topic's check box ticks or unticks it; elsewhere in the row a double click does, as does
    // Space. A double click on the check box changes it once.
    void topicPanel_aClickOnTheCheckBoxTicksTheTopic() {
        TempDir dir;
        test::WriteCatalogue(dir.path(), {{1, "1", "Алгебра", "Статья"}}, {"Алгебра", "Физика", "Химия"});
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=4\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        form.resize(800, 500);
        QVERIFY(test::showActive(form));
        auto* topicsButton = form.findChild<QToolButton*>(QStringLiteral("ToolButton17"));
        test::clickAt(topicsButton, topicsButton->rect().center());
        auto* grid = form.findChild<QTableView*>(QStringLiteral("DBGridEh_MVX1"));
        QVERIFY(grid->isVisible());
        RecordTable& topics = form.session().topics();
        auto ticked = [&](int row) { return topics.rowAt(row).asBool(topics.field("Key")); };

        const QPoint box2 = drawnCentre(grid, 2, TopicModel::ColKey);
        test::clickAt(grid->viewport(), box2);
        QVERIFY(!ticked(2));
        QVERIFY(ticked(0) && ticked(1));
        test::clickAt(grid->viewport(), cellCentre(grid, 2, TopicModel::ColTem));
        QVERIFY(!ticked(2));
        test::doubleClickAt(grid->viewport(), cellCentre(grid, 2, TopicModel::ColTem));
        QVERIFY(ticked(2));
        test::doubleClickAt(grid->viewport(), drawnCentre(grid, 1, TopicModel::ColKey));
        QVERIFY(!ticked(1));
        test::typeKey(form, Qt::Key_Space);
        QVERIFY(ticked(1));
    }

    void grid_drawsHitsOnFindColourAndCentresTheFavouriteMark() {
        // Halves go to the even neighbour: (0 + 41 - 16) / 2 = 12.5 gives 12, (0 + 43 - 16) / 2 = 13.5
        // gives 14.
        QCOMPARE(ArticleGridDelegate::markOrigin(0, 0, 41, 16, 16), QPoint(12, -1));
        QCOMPARE(ArticleGridDelegate::markOrigin(0, 10, 43, 37, 16), QPoint(14, 15));

        TempDir dir;
        makeCatalogue(dir.path(), 4, /*found*/ 2, /*favourite*/ 2);
        MainWindow form(dir.path(), test::quietPresenter());
        Font font;
        form.articleGrid()->applyLook({font, colors::clNavy, colors::clYellow, colors::clWhite});
        form.resize(800, 400);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* grid = articleGrid(form);
        grid->setCurrentIndex(grid->model()->index(2, ArticleModel::ColStatia));
        auto pixel = [&](int row, int column, QPoint offset) {
            const QRect r = grid->visualRect(grid->model()->index(row, column));
            return grid->viewport()->grab().toImage().pixelColor(r.topLeft() + offset);
        };
        QCOMPARE(pixel(2, ArticleModel::ColTem, {2, 2}), QColor(Qt::yellow));
        QVERIFY(pixel(2, ArticleModel::ColStatia, {2, 2}) != QColor(Qt::yellow)); // the current cell
        QCOMPARE(pixel(1, ArticleModel::ColTem, {2, 2}), QColor(Qt::white));
        // The mark sits on the hit colour; a column narrower than the mark shows none.
        const QRect izb = grid->visualRect(grid->model()->index(2, ArticleModel::ColIzb));
        const QPoint centre =
            ArticleGridDelegate::markOrigin(0, 0, izb.width(), izb.height(), 16) + QPoint(8, 9);
        QCOMPARE(pixel(2, ArticleModel::ColIzb, {1, 1}), QColor(Qt::yellow));
        const QColor mark = pixel(2, ArticleModel::ColIzb, centre);
        QVERIFY2(mark.red() > 180 && mark.green() < 90, qPrintable(mark.name()));
        auto* fit = qobject_cast<QTableView*>(grid);
        fit->horizontalHeader()->resizeSection(ArticleModel::ColIzb, 12);
        const QRect narrow = grid->visualRect(grid->model()->index(2, ArticleModel::ColIzb));
        for (int x = 0; x < narrow.width(); ++x)
            QCOMPARE(pixel(2, ArticleModel::ColIzb, {x, narrow.height() / 2}), QColor(Qt::yellow));
    }

    // The settings dialog run from the real window hands back the colours it was shown: OK without changes
    // keeps the user's colours in the window and in the file, and a second OK writes the very same file.
    // The table colour shows in the grid, whatever the application's style sheet says.
    void settingsDialog_okWithoutChangesKeepsColoursAndFile() {
        TempDir dir;
        makeCatalogue(dir.path(), 3);
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=4\r\ncolor_link=clRed\r\n"
                                         "color_find=clLime\r\ncolor_table=clYellow\r\n");
        applyAppearance(*qApp);
        MainWindow form(dir.path(), test::quietPresenter());
        form.resize(700, 400);
        QVERIFY(test::showActive(form));
        auto pressOk = [&] {
            bool seen = false;
            QTimer::singleShot(0, [&] {
                QWidget* dialog = QApplication::activeModalWidget();
                if (!qobject_cast<SettingsDialog*>(dialog)) return;
                // Centred on the screen (within the frame's few pixels), not on the main window.
                seen = (dialog->geometry().center() - dialog->screen()->availableGeometry().center())
                           .manhattanLength() <= 8;
                test::typeKey(*dialog, Qt::Key_Return); // the default button
            });
            auto* button = form.findChild<QToolButton*>(QStringLiteral("ToolButton19"));
            test::clickAt(button, button->rect().center());
            return seen;
        };
        QVERIFY(pressOk());
        const std::string once = test::readFile(dir / "mvx.ini");
        for (const char* kept : {"color_link=clRed\r\n", "color_find=clLime\r\n", "color_table=clYellow\r\n"})
            QVERIFY2(once.find(kept) != std::string::npos, kept);
        QCOMPARE(form.articleGrid()->look().linkColor, colors::clRed);
        QVERIFY(pressOk());
        QCOMPARE(test::readFile(dir / "mvx.ini"), once);

        auto* grid = articleGrid(form);
        const QImage cells = grid->viewport()->grab().toImage();
        QCOMPARE(cells.pixelColor(cells.width() / 2, cells.height() - 3),
                 QColor(Qt::yellow)); // below the rows
        QCOMPARE(cells.pixelColor(grid->visualRect(grid->model()->index(1, ArticleModel::ColTem)).topLeft() +
                                  QPoint(2, 2)),
                 QColor(Qt::yellow));
        qApp->setStyleSheet(QString());
    }

    // Every text of the language files lands on a control of its window: a control renamed without its
    // entry would silently keep its built-in text in every language.
    void languageBindings_everyEntryNamesAControlOfTheRealWindow() {
        TempDir dir;
        makeCatalogue(dir.path(), 1);
        copyLanguage(dir.path(), "eng.lng");
        test::writeFile(dir / "mvx.ini", "[interface]\r\nlocal=eng.lng\r\nselect_browser=4\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        AboutDialog about(dir.path(), "eng.lng");
        IndexingDialog indexing(form.service(), test::quietPresenter(), &form);
        auto check = [](language::Target target, QWidget* window) {
            for (const LanguageBinding& b : languageBindings()) {
                if (b.target != target) continue;
                const QString name = QString::fromLatin1(b.component.data(), qsizetype(b.component.size()));
                if (window->objectName() != name && !window->findChild<QObject*>(name))
                    return QStringLiteral("target %1: no %2").arg(int(target)).arg(name);
            }
            // The language applied to the window shows: no built-in Russian caption is left.
            if (window->windowTitle().contains(QRegularExpression(QStringLiteral("[А-Яа-я]"))))
                return window->windowTitle();
            return QString();
        };
        QCOMPARE(check(language::Target::MainWindow, &form), QString());
        QCOMPARE(check(language::Target::AboutBox, &about), QString());
        QCOMPARE(check(language::Target::IndexingDialog, &indexing), QString());
        QString settings = QStringLiteral("no dialog");
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!qobject_cast<SettingsDialog*>(dialog)) return;
            settings = check(language::Target::SettingsDialog, dialog);
            qobject_cast<QDialog*>(dialog)->reject();
        });
        form.findChild<QAction*>(QStringLiteral("SetProperties"))->trigger();
        QCOMPARE(settings, QString());
    }

    void models_passTheModelTester() {
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
        QCOMPARE(model.columnCount(), 5);
        QCOMPARE(model.data(model.index(1, ArticleModel::ColType)).toString(), QStringLiteral("Kelvra-Gold"));
        QCOMPARE(model.data(model.index(4, ArticleModel::ColType)).toString(), QString());
        t.setSortKeys("Statia");
        t.first();
        t.deleteRow();
        QCOMPARE(model.rowCount(), 4);
        // Detached, the model shows nothing and reads nothing; attaching takes the table in again.
        model.setAttached(false);
        t.disableControls();
        t.emptyTable();
        QCOMPARE(model.rowCount(), 0);
        t.enableControls();
        model.setAttached(true);
        QCOMPARE(model.rowCount(), 0);

        RecordTable topics;
        catalogue::openEmptyTopicTable(topics);
        TopicModel topicModel(topics);
        QAbstractItemModelTester topicTester(&topicModel,
                                             QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (const char* name : {"b", "a"}) {
            topics.append();
            topics.setText("Tem", name);
            topics.setBool("Key", name[0] == 'a');
            topics.post();
        }
        QCOMPARE(topicModel.rowCount(), 2);
        QCOMPARE(topicModel.data(topicModel.index(0, TopicModel::ColTem)).toString(), QStringLiteral("a"));
        QCOMPARE(topicModel.data(topicModel.index(0, TopicModel::ColKey), Qt::CheckStateRole).toInt(),
                 int(Qt::Checked));
        QVERIFY(!(topicModel.flags(topicModel.index(0, TopicModel::ColKey)) & Qt::ItemIsEditable));
    }
};

// The embedded pane is on by default.
int main(int argc, char** argv) {
    return marovex::test::runWebEngineTest<MainWindowTest>(argc, argv);
}

#include "mainwindow_test.moc"
