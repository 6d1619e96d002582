#include "ui/appearance.h"
#include "ui/customizedwebbrowser.h"
#include "ui/form1.h"
#include "ui/screen.h"

#include <QApplication>

int main(int argc, char** argv) {
    marovex::TCustomizedWebBrowser::prepareApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marovex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Marovex v2.0"));
    marovex::ApplyAppearance(app);

    // The splash stays on the screen while the main window takes in the catalogue and the settings.
    auto* splash = new marovex::TScreen;
    splash->showNow();

    marovex::TForm1 form(QApplication::applicationDirPath().toStdString());
    delete splash;
    form.show();
    const int status = QApplication::exec();
    // A run that refused to start (missing or damaged catalogue, a folder another program writes) has
    // shown its message already; scripts still see it failed.
    return form.tag() == -1 ? 1 : status;
}
