#pragma once

#include <QFrame>

class QLabel;
class QToolButton;

namespace marovex {

class CatalogueGrid;

// The topic panel: a list of topics with ticks, floating over the top right corner of the article grid's
// area. It is dragged by its surface anywhere within that area, collapsed and expanded by its picture, and
// keeps clear of the grid's scroll bar. Ticking a topic and filtering by the ticked ones are asked of the
// window.
class TopicPanel final : public QFrame {
    Q_OBJECT
public:
    // `area` holds the panel; `cells` is the article grid's viewport, whose right edge bounds it.
    TopicPanel(QWidget* area, QWidget* cells);

    CatalogueGrid* grid() const { return m_grid; }
    void setFilterButtonText(const QString& text);
    // Shown where it was last, or hidden.
    void toggle();

signals:
    void filterRequested();
    // The current topic's tick is to change (a double click, its check box, Space).
    void tickRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void place();
    void collapseOrExpand();
    int rightLimit() const;

    QWidget* m_area;
    QWidget* m_cells;
    QLabel* m_handle = nullptr;
    QFrame* m_bevel = nullptr;
    QToolButton* m_filterButton = nullptr;
    CatalogueGrid* m_grid = nullptr;
    QPoint m_grip{-1, -1}; // where the panel was taken for dragging; (-1, -1) while not dragged
    int m_rightGap = 0;    // the distance kept to the grid's right edge
};

} // namespace marovex
