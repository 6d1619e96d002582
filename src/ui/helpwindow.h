#pragma once

#include <QWidget>

#include <filesystem>

namespace marovex {

class ArchiveView;

// A window of its own for a help page the desktop cannot open: the pane's engine, reading nothing outside
// the page's folder. Escape closes it; it goes when it is closed.
class HelpWindow final : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent);

    // Shows the page and brings the window to the front.
    void showPage(const std::filesystem::path& file);
    ArchiveView* view() const { return m_view; }

private:
    ArchiveView* m_view = nullptr;
    bool m_placed = false;
};

} // namespace marovex
