#include "ui/topicpanel.h"

#include "ui/cataloguegrid.h"
#include "ui/icons.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace marovex {

namespace {
constexpr int kWidth = 229;
constexpr int kHeight = 157;
constexpr int kCollapsedHeight = 25;
} // namespace

TopicPanel::TopicPanel(QWidget* area, QWidget* cells) : QFrame(area), m_area(area), m_cells(cells) {
    setObjectName(QStringLiteral("Panel3"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    resize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(1);
    auto* header = new QHBoxLayout;
    m_handle = new QLabel(this);
    m_handle->setObjectName(QStringLiteral("Image1"));
    m_handle->setPixmap(icons::toolIcon(icons::Icon::LetterFGreen).pixmap(QSize(20, 20), devicePixelRatioF()));
    m_handle->setFixedSize(20, 20);
    m_handle->setCursor(Qt::PointingHandCursor);
    m_handle->installEventFilter(this);
    header->addWidget(m_handle);
    header->addStretch();
    m_filterButton = new QToolButton(this);
    m_filterButton->setObjectName(QStringLiteral("SpeedButton1"));
    m_filterButton->setAutoRaise(true);
    m_filterButton->setMinimumSize(47, 16);
    connect(m_filterButton, &QToolButton::clicked, this, &TopicPanel::filterRequested);
    header->addWidget(m_filterButton);
    layout->addLayout(header);
    m_bevel = new QFrame(this);
    m_bevel->setObjectName(QStringLiteral("Bevel1"));
    m_bevel->setFrameShape(QFrame::HLine);
    m_bevel->setFrameShadow(QFrame::Sunken);
    layout->addWidget(m_bevel);
    m_grid = new CatalogueGrid(this);
    m_grid->setObjectName(QStringLiteral("DBGridEh_MVX1"));
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->horizontalHeader()->hide();
    m_grid->verticalHeader()->hide();
    m_grid->setShowGrid(false);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 2);
    layout->addWidget(m_grid, 1);
    connect(m_grid, &QAbstractItemView::doubleClicked, this, &TopicPanel::tickRequested);
    // The grid has made the row of the check box current.
    connect(m_grid, &CatalogueGrid::checkBoxClicked, this, &TopicPanel::tickRequested);
    connect(m_grid, &CatalogueGrid::keyPressed, this, [this](int key) {
        if (key == Qt::Key_Space) emit tickRequested();
    });
    m_area->installEventFilter(this);
    m_cells->installEventFilter(this);
    hide();
}

void TopicPanel::setFilterButtonText(const QString& text) {
    m_filterButton->setText(text);
}

void TopicPanel::toggle() {
    setVisible(isHidden());
    if (!isHidden()) place();
}

// The panel's right edge may go as far as the grid's cells: the vertical scroll bar beside them stays free.
int TopicPanel::rightLimit() const {
    return m_cells->mapTo(m_area, QPoint(m_cells->width(), 0)).x();
}

// Anchored to the area's top edge and the cells' right edge.
void TopicPanel::place() {
    const int x = std::max(0, rightLimit() - m_rightGap - width());
    const int y = std::clamp(this->y(), 0, std::max(0, m_area->height() - height()));
    move(x, y);
    raise();
}

void TopicPanel::collapseOrExpand() {
    const bool collapse = height() >= kCollapsedHeight + 1;
    m_grid->setVisible(!collapse);
    m_bevel->setVisible(!collapse);
    resize(width(), collapse ? kCollapsedHeight : kHeight);
    // Expanded where it was dragged while collapsed, the panel moves up as far as it needs to stay inside.
    move(x(), std::clamp(y(), 0, std::max(0, m_area->height() - height())));
}

bool TopicPanel::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_area || watched == m_cells) && event->type() == QEvent::Resize && isVisible()) place();
    if (watched == m_handle && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        collapseOrExpand();
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

// Pressing on the panel's own surface drags it; the press grabs the mouse until its release.
void TopicPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QFrame::mousePressEvent(event);
    m_grip = event->position().toPoint();
}

void TopicPanel::mouseMoveEvent(QMouseEvent* event) {
    if (m_grip.x() < 0) return QFrame::mouseMoveEvent(event);
    QPoint to = mapToParent(event->position().toPoint()) - m_grip;
    to.setX(std::clamp(to.x(), 0, std::max(0, rightLimit() - width())));
    to.setY(std::clamp(to.y(), 0, std::max(0, m_area->height() - height())));
    move(to);
    m_rightGap = rightLimit() - geometry().right() - 1;
}

void TopicPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (m_grip.x() < 0) return QFrame::mouseReleaseEvent(event);
    m_grip = QPoint(-1, -1);
}

} // namespace marovex
