#include "ui/appearance.h"
#include "ui/customizedwebbrowser.h"
#include "ui/form1.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QSplashScreen>

int main(int argc, char** argv) {
    marovex::TCustomizedWebBrowser::prepareApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marovex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Marovex v2.0"));
    marovex::ApplyAppearance(app);

    // A plain splash while the catalogue is taken in.
    QPixmap picture(360, 120);
    picture.fill(QColor(0x20, 0x3a, 0x5c));
    {
        QPainter p(&picture);
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setPointSize(20);
        f.setBold(true);
        p.setFont(f);
        p.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("Marovex v2.0"));
    }
    auto* splash = new QSplashScreen(picture);
    splash->show();
    splash->repaint();
    QApplication::processEvents();

    marovex::TForm1 form(QApplication::applicationDirPath().toStdString());
    splash->finish(&form);
    delete splash;
    form.show();
    const int status = QApplication::exec();
    // A run that refused to start (missing or damaged catalogue, a folder another program writes) has
    // shown its message already; scripts still see it failed.
    return form.tag() == -1 ? 1 : status;
}
