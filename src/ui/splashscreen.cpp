#include "ui/splashscreen.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWindow>

namespace marovex {

namespace {
SplashScreen* g_current = nullptr;
}

QImage loadPicture(const QString& name) {
    QImageReader reader(QStringLiteral(":/pictures/") + name);
    return reader.read();
}

SplashScreen::SplashScreen(const QString& loadingText)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Screen"));
    setAttribute(Qt::WA_DeleteOnClose);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAutoFillBackground(true);

    const QImage picture = loadPicture(QStringLiteral("splash.jpg"));
    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setAlignment(Qt::AlignCenter);
    image->setPixmap(QPixmap::fromImage(picture));
    const QSize size = picture.isNull() ? QSize(310, 233) : picture.size();
    image->setGeometry(QRect(QPoint(0, 0), size));
    setFixedSize(size);
    if (!loadingText.isEmpty()) {
        auto* line = new QLabel(loadingText, this);
        line->setObjectName(QStringLiteral("Label1"));
        QPalette text = line->palette();
        text.setColor(QPalette::WindowText, QColor(0x8d, 0xa9, 0xc4));
        line->setPalette(text);
        QFont small = line->font();
        small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1));
        line->setFont(small);
        line->adjustSize();
        line->move(18, size.height() - line->height() - 8);
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect bounds(QPoint(0, 0), size);
        bounds.moveCenter(screen->geometry().center());
        move(bounds.topLeft());
    }
    g_current = this;
}

SplashScreen::~SplashScreen() {
    if (g_current == this) g_current = nullptr;
}

void SplashScreen::showNow() {
    show();
    // A window is painted only once the window system has exposed it, which takes a round trip after the
    // show; the main window's creation holds up the event loop next, so the picture is painted here or never.
    QElapsedTimer waited;
    waited.start();
    while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < 2000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    repaint();
    QGuiApplication::sync();
}

QRect SplashScreen::currentBounds() {
    return g_current ? g_current->geometry() : QRect();
}

} // namespace marovex
