#pragma once

#include <QImage>
#include <QWidget>

namespace marovex {

// The picture of the About box and of the splash window, compiled into the program.
QImage loadPicture(const QString& name);

// The splash window: borderless, black, centred on the screen, sized to its picture.
class SplashScreen final : public QWidget {
    Q_OBJECT
public:
    // `loadingText` is the line written over the bottom of the picture.
    explicit SplashScreen(const QString& loadingText = {});
    ~SplashScreen() override;

    // Shows the window and paints it at once, before the event loop runs.
    void showNow();

    // The bounds of the splash window while one exists, else an empty rectangle: the defaults of the main
    // window's stored bounds.
    static QRect currentBounds();
};

} // namespace marovex
