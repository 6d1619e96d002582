#include "ui/helpwindow.h"

#include "ui/archiveview.h"
#include "ui/messagebox.h"
#include "ui/placement.h"

#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

namespace marovex {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form_Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kApplicationTitle); // until the page gives its own
    m_view = new ArchiveView(this);
    m_view->setObjectName(QStringLiteral("webHelp"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    connect(m_view, &ArchiveView::titleChanged, this, [this](const QString& title) {
        if (!title.isEmpty()) setWindowTitle(title);
    });
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, &QWidget::close);
}

void HelpWindow::showPage(const std::filesystem::path& file) {
    m_view->setArchiveRoot(file.parent_path());
    m_view->navigate(file);
    if (!m_placed) {
        m_placed = true;
        // A page's width of text, on any screen and at any scale.
        const QSize room = screen()->availableGeometry().size() * 9 / 10;
        resize(QSize(820, 680).boundedTo(room));
        centreOnScreen(*this);
    }
    show();
    raise();
    activateWindow();
    m_view->setFocus();
}

} // namespace marovex
