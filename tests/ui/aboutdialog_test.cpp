#include "support/testsupport.h"
#include "ui/aboutdialog.h"
#include "ui/distributor.h"
#include "ui/splashscreen.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>
#include <QUrl>

using namespace marovex;
using marovex::test::TempDir;
using marovex::test::writeFile;

// Receives the addresses the desktop would open.
class UrlSink : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { opened.push_back(url); }

public:
    std::vector<QUrl> opened;
};

class AboutDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }

    void caption_comesFromTheLanguageFile() {
        TempDir dir;
        QCOMPARE(AboutDialog(dir.path(), "eng.lng").windowTitle(), QStringLiteral("О программе Marovex"));
        std::filesystem::create_directory(dir / "Locale");
        writeFile(dir / "Locale" / "eng.lng", "[MVX Language File]\r\n9=About\r\n");
        writeFile(dir / "Locale" / "none.lng", "[MVX Language File]\r\n8=New\r\n");
        QCOMPARE(AboutDialog(dir.path(), "eng.lng").windowTitle(), QStringLiteral("About Marovex"));
        QCOMPARE(AboutDialog(dir.path(), "none.lng").windowTitle(), QStringLiteral(" Marovex"));
    }

    // The box names Marovex and its version and shows no placeholder: a line whose value the distributor
    // left empty is left out, and the box closes up below the lines that remain, none overlapping another.
    void box_showsNameAndVersionAndLeavesOutEmptyLines() {
        TempDir dir;
        std::filesystem::create_directory(dir / "Locale");
        std::filesystem::copy_file(std::filesystem::path(MAROVEX_SOURCE_DIR) / "resources/Locale/eng.lng",
                                   dir / "Locale" / "eng.lng");
        AboutDialog box(dir.path(), "eng.lng");
        QCOMPARE(box.objectName(), QStringLiteral("Abut"));
        QCOMPARE(box.width(), 360);
        const QPixmap picture = box.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap();
        QCOMPARE(picture.size(), QSize(100, 75));
        box.show();
        QStringList lines;
        QList<QRect> places;
        for (const QLabel* label : box.findChildren<QLabel*>()) {
            if (!label->isVisible() || label->text().isEmpty()) continue;
            lines << label->text();
            for (const QRect& other : places)
                QVERIFY2(!label->geometry().intersects(other), qPrintable(label->text()));
            places << label->geometry();
        }
        QCOMPARE(lines.join(QLatin1Char('|')),
                 QStringLiteral("Marovex|Kelvrania archive reader|version %1|%2")
                     .arg(QStringLiteral(MAROVEX_VERSION), QString::fromUtf8(distributor::kRightsNotice)));
        QVERIFY(!lines.join(QString()).contains(QStringLiteral("example")));
        auto* ok = box.findChild<QPushButton*>(QStringLiteral("FlatButton1"));
        int textBottom = 0;
        for (const QRect& place : places)
            textBottom = std::max(textBottom, place.bottom());
        QVERIFY(ok->geometry().top() > textBottom);
        QVERIFY2(ok->geometry().top() - textBottom < 2 * box.fontMetrics().height(), "a gap in the box");
        QCOMPARE(box.height(), ok->geometry().bottom() + 1 + 8);

        // The line beside the OK button, 17 pixels below its top edge.
        const QImage shot = box.grab().toImage();
        const int y = ok->geometry().top() + 17;
        QCOMPARE(shot.pixelColor(7, y), QColor(0xA0, 0x96, 0x83));
        QCOMPARE(shot.pixelColor(ok->geometry().left() - 7, y), QColor(0xA0, 0x96, 0x83));
        QVERIFY(shot.pixelColor(7, y - 2) != QColor(0xA0, 0x96, 0x83));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!box.isVisible());
    }

    // A link a distributor fills in opens its address through the desktop, in navy with the hand cursor.
    void linkLabel_opensItsAddress() {
        UrlSink sink;
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &sink, "open");
        LinkLabel link(QStringLiteral("a@b.c"), QStringLiteral("mailto:a@b.c"), nullptr);
        QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(link.palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
        link.show();
        QTest::mouseClick(&link, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QCOMPARE(sink.opened, std::vector<QUrl>{QUrl(QStringLiteral("mailto:a@b.c"))});
    }

    void splash_isBorderlessBlackAndSizedToItsPicture() {
        QVERIFY(SplashScreen::currentBounds().isEmpty());
        auto* splash = new SplashScreen;
        QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(splash->size(), QSize(310, 233));
        QCOMPARE(splash->findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().size(), QSize(310, 233));
        QCOMPARE(splash->palette().color(QPalette::Window), QColor(Qt::black));
        splash->showNow();
        QCOMPARE(SplashScreen::currentBounds(), splash->geometry());
        delete splash;
        QVERIFY(SplashScreen::currentBounds().isEmpty());
    }
};

QTEST_MAIN(AboutDialogTest)
#include "aboutdialog_test.moc"
