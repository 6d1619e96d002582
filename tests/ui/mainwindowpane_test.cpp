// The main window's embedded browser pane: switching it, its heights, and rows opened into it.
#include "app/inifile.h"
#include "catalogue/catalogue.h"
#include "support/testsupport.h"
#include "support/uisupport.h"
#include "ui/archiveview.h"
#include "ui/articlemodel.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QWebEnginePage>

using namespace marovex;
using marovex::test::TempDir;

namespace {

void makeCatalogue(const std::filesystem::path& dir) {
    test::WriteCatalogue(dir, {{1, "7", "Тема", "Статья", "a.htm"}});
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

} // namespace

class MainWindowPaneTest : public QObject {
    Q_OBJECT

private slots:
    void paneSwitch_destroysTheViewAndGivesBackTheGridAreaHeight() {
        TempDir dir;
        makeCatalogue(dir.path());
        test::writeFile(dir / "mvx.ini", "[interface]\r\nselect_browser=1\r\nInternal_browser_height=5\r\n"
                                         "WindowState=2\r\nWindowWidth=700\r\nWindowHeight=500\r\n");
        MainWindow form(dir.path(), test::quietPresenter());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QWidget* area = widget(form, "Panel1");
        QWidget* pane = widget(form, "Panel2");
        auto* splitter = form.findChild<QSplitter*>(QStringLiteral("Splitter1"));
        // A stored height below 10 shows a grid area of 55 pixels; the view fills the pane.
        QTRY_COMPARE(area->height(), 55);
        QVERIFY(pane->isVisible());
        QVERIFY(form.webBrowser() && form.webBrowser()->parentWidget() == pane);
        QTRY_COMPARE(form.webBrowser()->geometry(), pane->contentsRect());
        emit form.webBrowser()->StatusTextChange(QStringLiteral("file:///x.htm"));
        QCOMPARE(form.statusText(3), QStringLiteral("file:///x.htm"));

        dragGridAreaTo(form, 140);
        QTRY_COMPARE(area->height(), 140);
        form.switchViewPane(false);
        QVERIFY(!form.webBrowser());
        QVERIFY(!form.findChild<ArchiveView*>());
        QVERIFY(!pane->isVisible());
        QTRY_COMPARE(area->height(), splitter->height());
        form.switchViewPane(true);
        QTRY_COMPARE(area->height(), 140);
        QVERIFY(form.webBrowser());

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
};

int main(int argc, char** argv) {
    return marovex::test::runWebEngineTest<MainWindowPaneTest>(argc, argv);
}

#include "mainwindowpane_test.moc"
