#include "ui/cataloguegrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>

#include <cmath>
#include <functional>
#include <utility>

namespace marovex {

namespace {

// The title row is part of the grid for the mouse handlers: its presses and releases are reported like
// those over the cells, a release after the title has reacted to it (its click clears the cell-press flag).
class GridTitles final : public QHeaderView {
public:
    GridTitles(CatalogueGrid* grid, std::function<void(QMouseEvent*)> pressed,
               std::function<void(QMouseEvent*)> released)
        : QHeaderView(Qt::Horizontal, grid), m_pressed(std::move(pressed)), m_released(std::move(released)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        m_pressed(event);
        QHeaderView::mousePressEvent(event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        m_pressed(event);
        QHeaderView::mouseDoubleClickEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        QHeaderView::mouseReleaseEvent(event);
        m_released(event);
    }

    // A title too narrow for both its picture and the sort marker shows the marker alone: the marker would
    // be drawn over the picture, and which column the rows are sorted by matters more than its picture.
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override {
        QHeaderView::initStyleOptionForIndex(option, logicalIndex);
        if (option->sortIndicator == QStyleOptionHeader::None || option->icon.isNull()) return;
        const int picture = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
        const int marker = style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, this);
        const int margins = 4 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
        if (sectionSize(logicalIndex) < picture + marker + margins) option->icon = QIcon();
    }

private:
    std::function<void(QMouseEvent*)> m_pressed, m_released;
};

} // namespace

CatalogueGrid::CatalogueGrid(QWidget* parent) : QTableView(parent) {
    setHorizontalHeader(new GridTitles(
        this, [this](QMouseEvent* e) { emit buttonPressed(e->button()); },
        [this](QMouseEvent* e) { emit buttonReleased(e->button(), e->globalPosition().toPoint()); }));
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setFrameShape(QFrame::NoFrame);
    setTabKeyNavigation(false); // Tab moves between the window's controls; arrows move between cells
    setCornerButtonEnabled(false);
    verticalScrollBar()->setTracking(true);

    QHeaderView* titles = horizontalHeader();
    titles->setSectionsMovable(true);
    titles->setSectionsClickable(true);
    titles->setHighlightSections(false);
    titles->setMinimumSectionSize(1); // each column keeps its own smallest width
    connect(titles, &QHeaderView::sectionResized, this, &CatalogueGrid::columnResizedByUser);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
        if (m_fit) fitColumnsNow(); // the scroll bar coming or going changes the width to fill
    });

    // The selected cell stays highlighted while another control has the focus.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
}

void CatalogueGrid::setFitColumns(bool on) {
    m_fit = on;
    if (on) fitColumnsNow();
}

void CatalogueGrid::setColumnWidthHint(int logical, int width) {
    if (logical < 0) return;
    while (m_hints.size() <= logical)
        m_hints.append(horizontalHeader()->defaultSectionSize());
    m_hints[logical] = std::max(width, 0);
    if (m_fit) {
        fitColumnsNow();
    } else {
        m_fitting = true;
        horizontalHeader()->resizeSection(
            logical, std::max(width, logical < m_minimums.size() ? m_minimums[logical] : 0));
        m_fitting = false;
    }
}

int CatalogueGrid::columnWidthHint(int logical) const {
    return logical >= 0 && logical < m_hints.size() ? m_hints[logical]
                                                    : horizontalHeader()->sectionSize(logical);
}

void CatalogueGrid::setColumnMinimumWidth(int logical, int width) {
    if (logical < 0) return;
    while (m_minimums.size() <= logical)
        m_minimums.append(0);
    m_minimums[logical] = width;
}

void CatalogueGrid::fitColumnsNow() {
    QHeaderView* titles = horizontalHeader();
    const int columns = titles->count();
    if (columns == 0) return;
    while (m_hints.size() < columns)
        m_hints.append(titles->sectionSize(int(m_hints.size())));
    const int available = viewport()->width();
    long long total = 0;
    int lastVisual = -1;
    for (int v = 0; v < columns; ++v) {
        const int logical = titles->logicalIndex(v);
        if (titles->isSectionHidden(logical)) continue;
        total += m_hints[logical];
        lastVisual = v;
    }
    if (available <= 0 || lastVisual < 0) return;
    // Widths that are all zero (a settings file that says so) share the width equally.
    const bool equalShares = total <= 0;
    if (equalShares) total = lastVisual + 1;
    m_fitting = true;
    int used = 0;
    for (int v = 0; v <= lastVisual; ++v) {
        const int logical = titles->logicalIndex(v);
        if (titles->isSectionHidden(logical)) continue;
        const int minimum = logical < m_minimums.size() ? m_minimums[logical] : 0;
        const long long hint = equalShares ? 1 : m_hints[logical];
        int width =
            v == lastVisual ? available - used : int(std::lround(double(hint) * available / double(total)));
        width = std::max(width, minimum);
        titles->resizeSection(logical, width);
        used += width;
    }
    m_fitting = false;
}

void CatalogueGrid::columnResizedByUser(int logical, int oldWidth, int newWidth) {
    if (m_fitting) return;
    QHeaderView* titles = horizontalHeader();
    const int minimum = logical < m_minimums.size() ? m_minimums[logical] : 0;
    if (newWidth < minimum) {
        m_fitting = true;
        titles->resizeSection(logical, minimum);
        m_fitting = false;
        newWidth = minimum;
    }
    const int columns = titles->count();
    while (m_hints.size() < columns)
        m_hints.append(titles->sectionSize(int(m_hints.size())));
    if (!m_fit) {
        m_hints[logical] = newWidth;
        return;
    }
    // The column to the right gives or takes what the dragged one gained, so the total stays the grid's
    // width and the drag feels like moving the border between the two.
    for (int v = 0; v < columns; ++v)
        m_hints[titles->logicalIndex(v)] = titles->sectionSize(titles->logicalIndex(v));
    m_hints[logical] = newWidth;
    for (int v = titles->visualIndex(logical) + 1; v < columns; ++v) {
        const int next = titles->logicalIndex(v);
        if (titles->isSectionHidden(next)) continue;
        const int nextMinimum = next < m_minimums.size() ? m_minimums[next] : 0;
        m_hints[next] = std::max(nextMinimum, m_hints[next] - (newWidth - oldWidth));
        break;
    }
    fitColumnsNow();
}

void CatalogueGrid::enterEvent(QEnterEvent* event) {
    QTableView::enterEvent(event);
    emit pointerEntered(this);
}

void CatalogueGrid::leaveEvent(QEvent* event) {
    QTableView::leaveEvent(event);
    emit pointerLeft(this);
}

bool CatalogueGrid::onCheckBox(const QPoint& pos) const {
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || !(index.flags() & Qt::ItemIsUserCheckable) ||
        !index.data(Qt::CheckStateRole).isValid())
        return false;
    // Laid out as the delegate lays out a cell that shows a check box alone.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this).contains(pos);
}

void CatalogueGrid::mousePressEvent(QMouseEvent* event) {
    emit buttonPressed(event->button());
    // Only the left button moves the current cell here; the window moves it for the row menu.
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        m_checkBoxPressed = onCheckBox(pos) ? QPersistentModelIndex(indexAt(pos)) : QPersistentModelIndex();
        QTableView::mousePressEvent(event);
    } else {
        event->accept();
    }
}

void CatalogueGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    emit buttonPressed(event->button());
    // The first click of a double click on a check box has changed it already: the second is no double
    // click on the row, or the box would change back.
    if (event->button() != Qt::LeftButton || onCheckBox(event->position().toPoint())) {
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void CatalogueGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPersistentModelIndex pressed = std::exchange(m_checkBoxPressed, QPersistentModelIndex());
        QTableView::mouseReleaseEvent(event);
        const QPoint pos = event->position().toPoint();
        // The view leaves a press on a check box to the delegate and moves nothing: the row becomes current
        // here, so that what the click changes is the current row.
        if (pressed.isValid() && pressed == indexAt(pos) && onCheckBox(pos)) {
            setCurrentIndex(pressed);
            emit checkBoxClicked(pressed);
        }
    } else {
        event->accept();
    }
    emit buttonReleased(event->button(), event->globalPosition().toPoint());
}

void CatalogueGrid::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        event->accept();
        emit keyPressed(key);
        return;
    }
    QTableView::keyPressEvent(event);
}

void CatalogueGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    if (m_fit) fitColumnsNow();
}

} // namespace marovex
