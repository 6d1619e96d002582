#pragma once

// Helpers shared by the window tests (QtTest programs).

#include "ui/customizedwebbrowser.h"
#include "ui/form1.h"
#include "ui/formproperties.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>

namespace marovex::test {

// Runs a test object in an application that can host the web engine: offscreen and without a GPU sandbox
// unless the environment says otherwise.
template <class Test>
int runWebEngineTest(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    TCustomizedWebBrowser::prepareApplication();
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

// Opens the settings dialog through the window's command, picks English and confirms; whether the dialog
// came up.
inline bool chooseEnglishInSettings(TForm1& form) {
    bool dialogSeen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TForm_Properties*>(QApplication::activeModalWidget());
        if (!dialog) return;
        dialogSeen = true;
        auto* languages = dialog->findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        languages->setCurrentIndex(languages->findText(QStringLiteral("English")));
        dialog->BitBtn_OKClick();
    });
    form.findChild<QAction*>(QStringLiteral("SetProperties"))->trigger();
    return dialogSeen;
}

} // namespace marovex::test
