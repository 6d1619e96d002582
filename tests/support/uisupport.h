#pragma once

// Helpers shared by the window tests (QtTest programs).

#include "ui/archiveview.h"
#include "ui/mainwindow.h"
#include "ui/settingsdialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>

namespace marovex::test {

// Runs a test object in an application that can host the web engine: offscreen and without a GPU sandbox
// unless the environment says otherwise.
template <class Test> int runWebEngineTest(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    ArchiveView::prepareApplication();
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

// A message presenter that shows nothing, for windows whose messages a test does not look at.
inline MainWindow::MessagePresenter quietPresenter() {
    return [](QWidget*, MainWindow::MessageKind, const QString&) {};
}

// Shows the window and makes it the active one, as the user's first click on it would.
inline bool showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Keys as the keyboard sends them: to the window, which Qt hands to its focused widget (event filters and
// focus proxies included). Never to an inner widget directly.
inline void typeKey(QWidget& window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(window.windowHandle(), key, modifiers);
}

// Text typed key by key, to the window as `typeKey` sends keys.
inline void typeText(QWidget& window, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, window.windowHandle(), Qt::Key(c.toUpper().unicode()), QString(c),
                            Qt::NoModifier);
}

// A mouse click at `pos` of `widget`, delivered to its window at the matching place, so Qt finds the widget
// under the pointer as it does for a real click.
inline void clickAt(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), button, Qt::NoModifier, widget->mapTo(window, pos));
}
inline void doubleClickAt(QWidget* widget, QPoint pos) {
    QWidget* window = widget->window();
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, widget->mapTo(window, pos));
}

// Opens the settings dialog through the window's command, picks the language of that name and confirms;
// whether the dialog came up.
inline bool chooseLanguageInSettings(MainWindow& form, const QString& language) {
    bool dialogSeen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        dialogSeen = true;
        auto* languages = dialog->findChild<QComboBox*>(QStringLiteral("FlatComboBox1"));
        languages->setCurrentIndex(languages->findText(language));
        dialog->confirm();
    });
    form.findChild<QAction*>(QStringLiteral("SetProperties"))->trigger();
    return dialogSeen;
}
inline bool chooseEnglishInSettings(MainWindow& form) {
    return chooseLanguageInSettings(form, QStringLiteral("English"));
}

} // namespace marovex::test
