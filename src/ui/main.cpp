#include "app/language.h"
#include "ui/appearance.h"
#include "ui/archiveview.h"
#include "ui/mainwindow.h"
#include "ui/splashscreen.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char** argv) {
    marovex::ArchiveView::prepareApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marovex"));
    marovex::applyAppearance(app);

    // The splash stays on the screen while the main window takes in the catalogue and the settings.
    const std::filesystem::path appDir = QApplication::applicationDirPath().toStdString();
    // What Qt's own dialogs remember (the file dialog its last folder) goes beside our settings, never into
    // the home folder.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QApplication::applicationDirPath());
    const marovex::MessageTexts texts = marovex::readMessageTexts(appDir);
    auto* splash =
        new marovex::SplashScreen(QString::fromStdString(texts.format(marovex::msg::LoadingCatalogue)));
    splash->showNow();

    marovex::MainWindow form(appDir);
    delete splash;
    form.show();
    const int status = QApplication::exec();
    // A run that refused to start (missing or damaged catalogue, a folder another program writes) has
    // shown its message already; scripts still see it failed.
    return form.startupFailed() ? 1 : status;
}
