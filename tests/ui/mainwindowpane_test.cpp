// The main window's embedded browser pane: switching it, its heights, and rows opened into it.
#include "app/inifile.h"
#include "catalogue/catalogue.h"
#include "support/testsupport.h"
#include "support/uisupport.h"
#include "ui/archivepane.h"
#include "ui/archiveview.h"
#include "ui/articlemodel.h"
#include "ui/articlegrid.h"
#include "ui/mainwindow.h"
#include "ui/statusbar.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QWebEngineFindTextResult>
#include <QToolButton>
#include <QWebEnginePage>

using namespace marovex;
using marovex::test::TempDir;

namespace {

void makeCatalogue(const std::filesystem::path& dir) {
    test::WriteCatalogue(dir, {{1, "7", "Тема", "Статья", "a.htm"}});
}

void copyLanguage(const std::filesystem::path& dir, const char* file) {
    std::filesystem::create_directories(dir / "Locale");
    std::filesystem::copy_file(std::filesystem::path(MAROVEX_SOURCE_DIR) / "resources/Locale" / file,
                               dir / "Locale" / file);
}

QWidget* widget(MainWindow& form, const char* name) {
    return form.findChild<QWidget*>(QString::fromLatin1(name));
}

// Drags the splitter's handle with the mouse until the grid area above it is `height` pixels high.
void dragGridAreaTo(MainWindow& form, int height) {
    auto* splitter = form.findChild<QSplitter*>(QStringLiteral("Splitter1"));
    QWidget* handle = splitter->handle(1);
    const QPoint grip(handle->width() / 2, handle->height() / 2);
    const QPoint from = handle->mapTo(&form, grip);
    const QPoint to(from.x(), splitter->mapTo(&form, QPoint(0, height)).y() + grip.y());
    // A press soon after the last drag's release at the same place would make a double click.
    QTest::qWait(QApplication::doubleClickInterval() + 1);
    QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, from);
    QTest::mouseMove(form.windowHandle(), to);
    QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, to);
}

// An archive of one issue: the article holds a word three times in three letter cases, before the
// remembered search text, and links to a second page; a frame set holds the word in both its frames.
std::filesystem::path makeReadingArchive(const std::filesystem::path& dir) {
    const auto pub = dir / "archive" / "Kelvra-Gold7" / "pub";
    std::filesystem::create_directories(pub);
    test::writeFile(pub / "a.htm",
                    "<html><head><meta charset=utf-8><title>Page a</title></head><body><h1>Статья</h1>"
                    "<p>Zorbex one</p><p>zorbex two</p><p>ZORBEX three</p><p>quake</p>"
                    "<p><a id=next href=\"b.htm\">next</a></p></body></html>");
    test::writeFile(pub / "b.htm", "<html><body><p>second page</p></body></html>");
    test::writeFile(pub / "frames.htm", "<html><frameset cols=\"50%,50%\"><frame src=\"f1.htm\">"
                                        "<frame src=\"f2.htm\"></frameset></html>");
    test::writeFile(pub / "f1.htm", "<html><body>zorbex left</body></html>");
    test::writeFile(pub / "f2.htm", "<html><body>zorbex right</body></html>");
    test::writeFile(dir / "mvx.ini",
                    "[options]\r\ndbdir=" + (dir / "archive").string() +
                        "\r\nname kelvra GOLD=Kelvra-Gold\r\n[interface]\r\nselect_browser=1\r\n"
                        "text_search=quake\r\n");
    return pub;
}

// Opens the first row with Enter, as the user does, and waits for the page.
void openFirstRow(MainWindow& form) {
    auto* grid = form.findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"));
    grid->setCurrentIndex(grid->model()->index(0, ArticleModel::ColStatia));
    grid->setFocus();
    test::typeKey(form, Qt::Key_Return);
}

bool showsPage(MainWindow& form, const char* file) {
    ArchiveView* view = form.webBrowser();
    return view && view->url().path().endsWith(QLatin1String(file)) && !view->page()->isLoading();
}

// A click on the link of that id, where the page shows it, until the page it leads to shows. (A link a script
// follows would leave a history entry the engine skips going back.) A page just zoomed may not have laid
// itself out again when it is asked where the link is, so a click that missed is tried again.
bool clickLink(MainWindow& form, const char* id, const char* to) {
    ArchiveView* view = form.webBrowser();
    for (int attempt = 0; attempt < 3; ++attempt) {
        QPointF centre(-1, -1);
        view->page()->runJavaScript(
            QStringLiteral("(function(){var r=document.getElementById('%1').getBoundingClientRect();"
                           "return [r.left+r.width/2, r.top+r.height/2];})()")
                .arg(QLatin1String(id)),
            [&](const QVariant& v) {
                const QVariantList xy = v.toList();
                if (xy.size() == 2) centre = QPointF(xy[0].toDouble(), xy[1].toDouble());
            });
        if (!QTest::qWaitFor([&] { return centre.x() >= 0; }, 5000)) continue;
        test::clickAt(view, (centre * view->zoomFactor()).toPoint());
        if (QTest::qWaitFor([&] { return showsPage(form, to); }, 10000)) return true;
    }
    return false;
}

QString findResult(MainWindow& form) {
    return form.findChild<QLabel*>(QStringLiteral("FindResult"))->text();
}

// The text of a PDF file as pdftotext reads it.
QString pdfText(const std::filesystem::path& file) {
    QProcess reader;
    reader.start(QStringLiteral("pdftotext"), {QString::fromStdString(file.string()), QStringLiteral("-")});
    reader.waitForFinished(30000);
    return QString::fromUtf8(reader.readAllStandardOutput());
}

} // namespace

class MainWindowPaneTest : public QObject {
    Q_OBJECT

private slots:
    void paneSwitch_keepsItsOnePaneAndGivesBackTheGridAreaHeight() {
        TempDir dir;
        makeCatalogue(dir.path());
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=1\r\nInternal_browser_height=5\r\n"
                                         "WindowState=2\r\nWindowWidth=700\r\nWindowHeight=500\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QWidget* area = widget(form, "Panel1");
        auto* pane = form.findChild<ArchivePane*>(QStringLiteral("Panel2"));
        auto* splitter = form.findChild<QSplitter*>(QStringLiteral("Splitter1"));
        // A stored height below 10 shows a grid area of 55 pixels; the view lies in the pane below its bar.
        QTRY_COMPARE(area->height(), 55);
        QVERIFY(pane && pane->isVisible());
        ArchiveView* view = form.webBrowser();
        QVERIFY(view && view->parentWidget() == pane && view->isVisible());
        QWidget* bar = widget(form, "PaneBar");
        QTRY_COMPARE(view->width(), pane->contentsRect().width());
        QVERIFY(bar->isVisible() && bar->geometry().bottom() < view->geometry().top());
        emit view->statusTextChanged(QStringLiteral("file:///x.htm"));
        QCOMPARE(form.statusPanels()->text(3), QStringLiteral("file:///x.htm"));

        dragGridAreaTo(form, 140);
        QTRY_COMPARE(area->height(), 140);
        form.switchViewPane(false);
        QVERIFY(!form.webBrowser()); // nothing opens into a hidden pane
        QVERIFY(!pane->isVisible() && !bar->isVisible());
        QTRY_COMPARE(area->height(), splitter->height());
        form.switchViewPane(true);
        QTRY_COMPARE(area->height(), 140);
        // The same pane and view, made once.
        QCOMPARE(form.findChild<ArchivePane*>(QStringLiteral("Panel2")), pane);
        QCOMPARE(form.webBrowser(), view);
        QCOMPARE(form.findChildren<ArchiveView*>().size(), 1);

        // Another viewer at the close: the height kept by the switch is written, not the full grid area.
        dragGridAreaTo(form, 160);
        QTRY_COMPARE(area->height(), 160);
        form.switchViewPane(false);
        form.session().ini.select_browser = 2;
        QVERIFY(form.close());
        QCOMPARE(IniFile(dir / "mvx.ini").readInteger("interface", "Internal_browser_height", 0), 160);
    }

    // The grid area comes back as high as the user dragged it, whatever size the window is made at; a
    // window made smaller squeezes it only while it is small.
    void gridAreaHeight_comesBackFromRunToRunAsTheUserLeftIt() {
        TempDir dir;
        makeCatalogue(dir.path());
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=1\r\nInternal_browser_height=400\r\n"
                                         "WindowState=2\r\nWindowLeft=0\r\nWindowTop=0\r\nWindowWidth=700\r\n"
                                         "WindowHeight=560\r\n");
        for (const int shown : {400, 300}) {
            MainWindow form(dir.path(), test::quietPresenter());
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QWidget* area = widget(form, "Panel1");
            QTRY_COMPARE(area->height(), shown);
            if (shown == 400) {
                dragGridAreaTo(form, 300);
            } else {
                form.resize(700, 250);
                QTRY_VERIFY(area->height() < 200);
                form.resize(700, 560);
            }
            QTRY_COMPARE(area->height(), 300);
            QVERIFY(form.close());
            QCOMPARE(IniFile(dir / "mvx.ini").readInteger("interface", "Internal_browser_height", 0), 300);
        }
    }

    void openingARow_showsTheArticleInThePaneWithCaptionAndHighlight_menuKeepsTheViewerChoice() {
        TempDir dir;
        makeCatalogue(dir.path());
        const auto issue = dir / "archive" / "Kelvra-Gold7";
        std::filesystem::create_directories(issue / "pub");
        test::writeFile(issue / "pub" / "a.htm", "<html><body><p>one word here</p></body></html>");
        test::writeFile(dir / "mvx.ini",
                        "[options]\r\ndbdir=" + (dir / "archive").string() +
                            "\r\nname kelvra GOLD=Kelvra-Gold\r\n[interface]\r\nselect_browser=1\r\n"
                            "text_search=word\r\npath_Opera=" +
                            (dir / "no-opera").string() + "\r\n");
        QStringList errors;
        MainWindow form(dir.path(), [&](QWidget*, MainWindow::MessageKind kind, const QString& text) {
            if (kind == MainWindow::MessageKind::Error || kind == MainWindow::MessageKind::ErrorYes)
                errors << text;
        });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* grid = form.findChild<QTableView*>(QStringLiteral("DBGridEh_MVX2"));
        grid->setCurrentIndex(grid->model()->index(0, ArticleModel::ColStatia));
        QTest::keyClick(grid, Qt::Key_Return);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('|'))));
        // Shown through the archive's own addresses, and named by its file as the user knows it.
        QTRY_COMPARE(form.webBrowser()->url().scheme(), QStringLiteral("marovex-archive"));
        QCOMPARE(form.webBrowser()->displayAddress(form.webBrowser()->url()),
                 QString::fromStdString((issue / "pub" / "a.htm").string()));
        const QString caption = QStringLiteral("Marovex v2.0   [ Kelvra №  7 ]");
        QCOMPARE(form.windowTitle(), caption);

        // The remembered search text is highlighted as the page completes.
        int highlighted = -1;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                form.webBrowser()->page()->runJavaScript(
                    QStringLiteral("document.querySelectorAll('span[style]').length"),
                    [&](const QVariant& v) { highlighted = v.toInt(); });
                return highlighted == 1;
            }(),
            20000);

        // The Opera item: its program is missing, which is reported, and the choice stays the pane.
        form.findChild<QAction*>(QStringLiteral("ElMenuItem2"))->trigger();
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0], QString::fromStdString((dir / "no-opera").string()) +
                                QStringLiteral(": программа браузера не найдена"));
        QCOMPARE(form.session().ini.select_browser, 1);
        QCOMPARE(form.windowTitle(), caption);
    }

    // Ctrl+F finds in the page as the user types, F3 and Enter go on, the count shows in the bar; Esc gives
    // the page the keyboard back. The zoom steps by Ctrl+= and holds on the next page; Alt+Left and
    // Alt+Right go through the pane's history. Frames are searched too.
    void findZoomAndHistory_byTheKeyboard() {
        TempDir dir;
        test::WriteCatalogue(dir.path(), {{1, "7", "Тема", "Статья", "a.htm"}});
        const auto pub = makeReadingArchive(dir.path());
        {
            MainWindow form(dir.path(), test::quietPresenter());
            // The blank page the view starts with has loaded, as it has by the time a user opens a row.
            QSignalSpy blank(form.webBrowser(), &QWebEngineView::loadFinished);
            QVERIFY(test::showActive(form));
            QTRY_VERIFY(blank.count() > 0);
            openFirstRow(form);
            QTRY_VERIFY_WITH_TIMEOUT(showsPage(form, "a.htm"), 20000);
            auto* findText = form.findChild<QLineEdit*>(QStringLiteral("FindText"));
            QWidget* findBar = form.findChild<QWidget*>(QStringLiteral("FindBar"));
            QVERIFY(!findBar->isVisible());

            // The remembered search text comes selected, found at once; typing replaces it.
            test::typeKey(form, Qt::Key_F, Qt::ControlModifier);
            QTRY_VERIFY(findBar->isVisible());
            QCOMPARE(QApplication::focusWidget(), findText);
            QCOMPARE(findText->selectedText(), QStringLiteral("quake"));
            QTRY_COMPARE(findResult(form), QStringLiteral("1 из 1"));
            test::typeText(form, QStringLiteral("zorbex"));
            QTRY_COMPARE(findResult(form), QStringLiteral("1 из 3"));
            test::typeKey(form, Qt::Key_F3);
            QTRY_COMPARE(findResult(form), QStringLiteral("2 из 3"));
            test::typeKey(form, Qt::Key_F3);
            QTRY_COMPARE(findResult(form), QStringLiteral("3 из 3"));
            test::typeKey(form, Qt::Key_Return);
            QTRY_COMPARE(findResult(form), QStringLiteral("1 из 3"));
            test::typeKey(form, Qt::Key_Return, Qt::ShiftModifier);
            QTRY_COMPARE(findResult(form), QStringLiteral("3 из 3"));
            test::typeKey(form, Qt::Key_F3, Qt::ShiftModifier);
            QTRY_COMPARE(findResult(form), QStringLiteral("2 из 3"));
            // Matching case leaves one; a text nowhere in the page says so and tints the field.
            test::clickAt(form.findChild<QWidget*>(QStringLiteral("FindCaseButton")), QPoint(5, 5));
            QTRY_COMPARE(findResult(form), QStringLiteral("1 из 1"));
            test::clickAt(form.findChild<QWidget*>(QStringLiteral("FindCaseButton")), QPoint(5, 5));
            QTRY_COMPARE(findResult(form), QStringLiteral("1 из 3"));
            test::typeText(form, QStringLiteral("q"));
            QTRY_COMPARE(findResult(form), QStringLiteral("не найдено"));
            QVERIFY(findText->palette().color(QPalette::Base) != findBar->palette().color(QPalette::Base));
            test::typeKey(form, Qt::Key_Escape);
            QTRY_VERIFY(!findBar->isVisible());
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus && (focus == form.webBrowser() || form.webBrowser()->isAncestorOf(focus)));
            // F3 with the bar closed goes to the search text the pane highlights.
            QSignalSpy found(form.webBrowser()->page(), &QWebEnginePage::findTextFinished);
            test::typeKey(form, Qt::Key_F3);
            QTRY_COMPARE(found.count(), 1);
            QCOMPARE(found.at(0).at(0).value<QWebEngineFindTextResult>().numberOfMatches(), 1); // "quake" once

            // Zoom, also for the next page.
            auto* pane = form.findChild<ArchivePane*>(QStringLiteral("Panel2"));
            auto* level = form.findChild<QToolButton*>(QStringLiteral("PaneZoomLevel"));
            QCOMPARE(level->text(), QStringLiteral("100 %"));
            test::typeKey(form, Qt::Key_Equal, Qt::ControlModifier);
            test::typeKey(form, Qt::Key_Equal, Qt::ControlModifier);
            QCOMPARE(pane->zoomPercent(), 125);
            QCOMPARE(level->text(), QStringLiteral("125 %"));
            QTRY_COMPARE(form.webBrowser()->zoomFactor(), 1.25);

            // A link followed, then back and forward; each way is disabled at its end.
            auto* back = form.findChild<QAction*>(QStringLiteral("Pane_Back"));
            auto* forward = form.findChild<QAction*>(QStringLiteral("Pane_Forward"));
            QTRY_VERIFY(!forward->isEnabled());
            QTRY_VERIFY(!back->isEnabled()); // the blank page the view starts with is not in its history
            QVERIFY(clickLink(form, "next", "b.htm"));
            QTRY_COMPARE(form.webBrowser()->zoomFactor(), 1.25);
            QTRY_VERIFY(back->isEnabled());
            test::typeKey(form, Qt::Key_Left, Qt::AltModifier);
            QTRY_VERIFY_WITH_TIMEOUT(showsPage(form, "a.htm"), 20000);
            QTRY_VERIFY(forward->isEnabled());
            test::typeKey(form, Qt::Key_Right, Qt::AltModifier);
            QTRY_VERIFY_WITH_TIMEOUT(showsPage(form, "b.htm"), 20000);
            QTRY_VERIFY(!forward->isEnabled());
            // An article opened from the grid joins the history as a link does.
            openFirstRow(form);
            QTRY_VERIFY_WITH_TIMEOUT(showsPage(form, "a.htm"), 20000);
            test::typeKey(form, Qt::Key_Left, Qt::AltModifier);
            QTRY_VERIFY_WITH_TIMEOUT(showsPage(form, "b.htm"), 20000);

            // Both frames of a frame set are searched.
            form.webBrowser()->navigate(pub / "frames.htm");
            QTRY_VERIFY_WITH_TIMEOUT(showsPage(form, "frames.htm"), 20000);
            test::typeKey(form, Qt::Key_F, Qt::ControlModifier);
            test::typeText(form, QStringLiteral("zorbex"));
            QTRY_COMPARE(findResult(form), QStringLiteral("1 из 2"));
            test::typeKey(form, Qt::Key_F3);
            QTRY_COMPARE(findResult(form), QStringLiteral("2 из 2"));

            // The level is kept for the next run, and the page shows at it.
            QVERIFY(form.close());
            QCOMPARE(IniFile(dir / "mvx.ini").readInteger("interface", "Internal_browser_zoom", 0), 125);
        }
        MainWindow again(dir.path(), test::quietPresenter());
        QVERIFY(test::showActive(again));
        openFirstRow(again);
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(again, "a.htm"), 20000);
        QTRY_COMPARE(again.webBrowser()->zoomFactor(), 1.25);
        QCOMPARE(again.findChild<QToolButton*>(QStringLiteral("PaneZoomLevel"))->text(),
                 QStringLiteral("125 %"));
    }

    // Save as PDF writes where the file dialog said, Ctrl+P prints through the print dialog's printer; both
    // files hold the article's title. The menu holds every command, in the interface language.
    void printPdfAndMenu_inTheInterfaceLanguage() {
        TempDir dir;
        test::WriteCatalogue(dir.path(), {{1, "7", "Тема", "Статья", "a.htm"}});
        makeReadingArchive(dir.path());
        copyLanguage(dir.path(), "rus.lng");
        copyLanguage(dir.path(), "eng.lng");
        QStringList shown;
        MainWindow form(dir.path(),
                        [&](QWidget*, MainWindow::MessageKind, const QString& text) { shown << text; });
        QVERIFY(test::showActive(form));
        auto* pane = form.findChild<ArchivePane*>(QStringLiteral("Panel2"));
        QStringList asked;
        pane->setFileChooser(
            [&](QWidget* parent, const QString& title, const QString& suggested, const QString&) {
                asked << title << QFileInfo(suggested).fileName();
                return parent == &form ? QString::fromStdString((dir / "saved").string()) : QString();
            });
        pane->setPrintChooser([&](QWidget*, QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString((dir / "printed.pdf").string()));
            return true;
        });
        openFirstRow(form);
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(form, "a.htm"), 20000);

        auto* menu = form.findChild<QMenu*>(QStringLiteral("PaneMenu"));
        QStringList items;
        for (const QAction* a : menu->actions())
            if (!a->isSeparator()) items << a->text();
        QCOMPARE(
            items.join(QLatin1Char('|')),
            QStringLiteral("Назад|Вперёд|Обновить|Копировать|Выделить всё|Найти на странице…|Крупнее|Мельче|"
                           "Обычный размер|Печать…|Сохранить как PDF…|Копировать адрес|Открыть в браузере"));
        form.findChild<QAction*>(QStringLiteral("Pane_SavePdf"))->trigger();
        QCOMPARE(asked.join(QLatin1Char('|')), QStringLiteral("Сохранить страницу как PDF|Page a.pdf"));
        QTRY_VERIFY_WITH_TIMEOUT(pdfText(dir / "saved.pdf").contains(QStringLiteral("Статья")), 30000);
        // The engine prints the pages as pictures: the printer's file holds a page, and nothing failed.
        test::typeKey(form, Qt::Key_P, Qt::ControlModifier);
        const auto printed = dir / "printed.pdf";
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(printed) &&
                                     test::readFile(printed).find("/Type /Page\n") != std::string::npos,
                                 30000);

        // Copy address without a link under the pointer: the article's file.
        form.findChild<QAction*>(QStringLiteral("Pane_CopyAddress"))->trigger();
        QCOMPARE(QApplication::clipboard()->text(),
                 QString::fromStdString((dir / "archive/Kelvra-Gold7/pub/a.htm").string()));

        QVERIFY(test::chooseEnglishInSettings(form));
        QCOMPARE(form.findChild<QAction*>(QStringLiteral("Pane_SavePdf"))->text(),
                 QStringLiteral("Save as PDF…"));
        QCOMPARE(form.findChild<QWidget*>(QStringLiteral("PaneBackButton"))->toolTip(),
                 QStringLiteral("Back (Alt+Left)"));
        QVERIFY(test::showActive(form));
        test::typeKey(form, Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE(findResult(form), QStringLiteral("1 of 1"));
        QVERIFY2(shown.isEmpty(), qPrintable(shown.join(QLatin1Char('|'))));
    }
};

int main(int argc, char** argv) {
    return marovex::test::runWebEngineTest<MainWindowPaneTest>(argc, argv);
}

#include "mainwindowpane_test.moc"
