#include "ui/desktopopen.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <string>

namespace marovex {

void openWithDesktop(const QString& file, QObject* context,
                     std::function<void(const Message& reason)> failed) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Qt starts xdg-open and never hears from it, so a desktop with no program for the file ("no method
    // available") would open nothing and say nothing. xdg-open is run here and its end looked at instead;
    // it may run as long as the program it started, so it is not waited for.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) {
        auto* run = new QProcess; // no parent: one still running when the window goes is left to run
        run->setProgram(opener);
        run->setArguments({file});
        run->setStandardInputFile(QProcess::nullDevice());
        run->setStandardOutputFile(QProcess::nullDevice());
        run->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(run, &QProcess::finished, run, &QObject::deleteLater);
        QObject::connect(run, &QProcess::errorOccurred, run, [run](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) run->deleteLater();
        });
        QObject::connect(
            run, &QProcess::finished, context, [failed, opener](int status, QProcess::ExitStatus end) {
                if (end == QProcess::NormalExit && status == 0) return;
                // Status 3: xdg-open found no program for the file.
                failed(end == QProcess::NormalExit && status == 3
                           ? Message(msg::NoProgramForFile, {})
                           : Message(msg::OpenerEnded,
                                     {textValue(opener.toStdString()), textValue(std::to_string(status))}));
            });
        QObject::connect(
            run, &QProcess::errorOccurred, context, [failed, opener, run](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    failed(Message(msg::CannotStartProgram, {textValue(opener.toStdString()),
                                                             textValue(run->errorString().toStdString())}));
            });
        run->start();
        return;
    }
#endif
    // Elsewhere, and without xdg-open, Qt's own search for a program answers whether it started one.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file))) failed(Message(msg::NoProgramForFile, {}));
}

} // namespace marovex
