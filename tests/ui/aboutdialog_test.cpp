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

    void box_showsItsPictureLinksAndLine() {
        TempDir dir;
        AboutDialog box(dir.path(), "");
        QCOMPARE(box.objectName(), QStringLiteral("Abut"));
        QCOMPARE(box.width(), 360);
        QVERIFY(box.height() >= 199);
        const QPixmap picture = box.findChild<QLabel*>(QStringLiteral("Image1"))->pixmap();
        QCOMPARE(picture.size(), QSize(100, 75));

        UrlSink sink;
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &sink, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &sink, "open");
        box.show();
        for (const char* name : {"Label5", "Label6", "Label10"}) {
            auto* link = box.findChild<LinkLabel*>(QString::fromLatin1(name));
            QVERIFY(link);
            QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
            QTest::mouseClick(link, Qt::LeftButton);
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QCOMPARE(sink.opened,
                 (std::vector<QUrl>{QUrl(QStringLiteral("mailto:") + QString::fromUtf8(distributor::kEmail)),
                                    QUrl(QString::fromUtf8(distributor::kMagazineAddress)),
                                    QUrl(QString::fromUtf8(distributor::kSupportAddress))}));

        // The line beside the OK button, 17 pixels below its top edge.
        auto* ok = box.findChild<QPushButton*>(QStringLiteral("FlatButton1"));
        const QImage shot = box.grab().toImage();
        const int y = ok->geometry().top() + 17;
        QCOMPARE(shot.pixelColor(7, y), QColor(0xA0, 0x96, 0x83));
        QCOMPARE(shot.pixelColor(ok->geometry().left() - 7, y), QColor(0xA0, 0x96, 0x83));
        QVERIFY(shot.pixelColor(7, y - 2) != QColor(0xA0, 0x96, 0x83));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!box.isVisible());
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
