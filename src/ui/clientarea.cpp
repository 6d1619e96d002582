#include "ui/clientarea.h"

#include "ui/archivepane.h"
#include "ui/articlegrid.h"
#include "ui/topicpanel.h"

#include <QLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace marovex {

namespace {
constexpr int kMinimumHeight = 25; // of the grid area and of the pane
}

ClientArea::ClientArea(QWidget* parent) : QSplitter(Qt::Vertical, parent) {
    setObjectName(QStringLiteral("Splitter1"));
    setHandleWidth(3);
    setChildrenCollapsible(false);

    m_gridArea = new QWidget(this);
    m_gridArea->setObjectName(QStringLiteral("Panel1"));
    m_gridArea->setMinimumHeight(kMinimumHeight);
    auto* gridLayout = new QVBoxLayout(m_gridArea);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    m_grid = new ArticleGrid(m_gridArea);
    gridLayout->addWidget(m_grid);
    m_topics = new TopicPanel(m_gridArea, m_grid->viewport());

    // Made once; its layout places the view between its bars.
    m_pane = new ArchivePane(this);
    m_pane->setObjectName(QStringLiteral("Panel2"));
    m_pane->setAutoFillBackground(true);
    QPalette white = m_pane->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_pane->setPalette(white);
    m_pane->hide();
    setStretchFactor(0, 0);
    setStretchFactor(1, 1);
    connect(this, &QSplitter::splitterMoved, this, [this] { m_gridAreaHeight = m_gridArea->height(); });
}

void ClientArea::preparePane(int gridAreaHeight, bool shown) {
    m_gridAreaHeight = gridAreaHeight;
    m_pane->setVisible(shown);
    if (shown) layOutPane();
}

bool ClientArea::showPane(bool on) {
    if (on == !m_pane->isHidden()) return false;
    m_pane->setVisible(on); // hidden, the grid area fills the client area
    if (on) {
        if (m_gridAreaHeight < 10) m_gridAreaHeight = 55;
        layOutPane();
    }
    if (count() > 1) handle(1)->setEnabled(on);
    return on;
}

// The grid area takes its height and the pane the rest; when that leaves the pane almost nothing, the grid
// area gives up the pane's minimum and a further 125 pixels.
void ClientArea::layOutPane() {
    if (QWidget* top = window(); !top->isVisible()) {
        // The client area's size before the window is first shown.
        if (top->layout()) top->layout()->activate();
        if (parentWidget() && parentWidget()->layout()) parentWidget()->layout()->activate();
    }
    const int total = height() - handleWidth();
    int upper = m_gridAreaHeight;
    if (total - upper < 2) upper -= kMinimumHeight + 125;
    upper = std::max(upper, kMinimumHeight);
    setSizes({upper, std::max(total - upper, kMinimumHeight)});
}

// A window too small for the grid area's height, such as its design size before it is first shown or a small
// screen, squeezes it only for as long as the window is that small.
void ClientArea::resizeEvent(QResizeEvent* event) {
    QSplitter::resizeEvent(event);
    if (m_pane->isHidden()) return;
    const int total = height() - handleWidth();
    const int upper =
        std::clamp(m_gridAreaHeight, kMinimumHeight, std::max(kMinimumHeight, total - kMinimumHeight));
    setSizes({upper, std::max(total - upper, kMinimumHeight)});
}

} // namespace marovex
