#pragma once

#include "ui/helpwindow.h"
#include "viewer/opening.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace marovex {

class ArchivePane;
class HelpWindow;
class MainSession;
class Messenger;

// Opens what the window is asked to open: the current row in the viewer the settings choose (or another one
// once), the help pages, and files or web addresses handed to the desktop. It is what the openings ask of
// the window.
class Opener final : public QObject, private viewer::ViewerHooks {
    Q_OBJECT
public:
    // Hands a file to the desktop's default handler, calling `failed` (maybe later) with the reason when the
    // desktop cannot; tests replace it.
    using ShellOpener =
        std::function<void(const QString& file, std::function<void(const Message& reason)> failed)>;
    enum class Viewer { Chosen, Msie, Opera, DefaultBrowser };

    Opener(MainSession& session, const Messenger& messages, ArchivePane& pane, QWidget* window);

    void setShellOpener(ShellOpener opener) { m_shellOpener = std::move(opener); }
    // The help window, while it is open.
    HelpWindow* helpWindow() const { return m_helpWindow; }

    // The current row of the article table, by the field of the grid's selected column.
    void openRow(const std::string& selectedField, Viewer viewer);
    void openHelp();
    void openWhatsNew();
    // A web address goes to the desktop's browser, an archive file to the desktop's program for it.
    void openOnDesktop(const QString& target);

private:
    viewer::OpenSettings settings() const;
    void openFile(const QString& file, viewer::ShellFallback fallback);
    void showHelpPage(const QString& file);

    bool embeddedBrowserPresent() override;
    void navigate(const std::filesystem::path& file) override;
    void shellOpen(const std::filesystem::path& file, viewer::ShellFallback fallback) override;
    void showMessage(viewer::MessageIcon icon, const std::string& text) override;
    void setCaption(const std::string& text) override;
    void toggleFavourite() override;

    MainSession& m_session;
    const Messenger& m_messages;
    ArchivePane& m_pane;
    QWidget* m_window;
    ShellOpener m_shellOpener;
    QPointer<HelpWindow> m_helpWindow;
};

} // namespace marovex
