#pragma once

#include <QTableView>

namespace marovex {

// The data grid of both grids of the main window: a table view that also reports the mouse pointer
// entering and leaving it, and whose mouse and key events are handed out to the window's handlers in the
// order the window expects them.
class CatalogueGrid : public QTableView {
    Q_OBJECT
public:
    explicit CatalogueGrid(QWidget* parent = nullptr);

    // Column widths act as proportions of the grid's width.
    void setFitColumns(bool on);
    bool fitColumns() const { return m_fit; }
    // The width a column asks for before fitting, and its smallest width.
    void setColumnWidthHint(int logical, int width);
    int columnWidthHint(int logical) const;
    void setColumnMinimumWidth(int logical, int width);
    // Lays the columns out over the grid's width by their hints.
    void fitColumnsNow();

signals:
    void pointerEntered(QObject* sender);
    void pointerLeft(QObject* sender);
    // Raw button events over the cells or the title row, before the view reacts to them.
    void buttonPressed(Qt::MouseButton button);
    void buttonReleased(Qt::MouseButton button, const QPoint& globalPos);
    // Enter, Return or Space typed in the grid.
    void keyPressed(int key);
    // The left button pressed and released on the check box a cell draws.
    void checkBoxClicked(const QModelIndex& index);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void columnResizedByUser(int logical, int oldWidth, int newWidth);
    // Whether the point of the cells lies on the check box its cell draws.
    bool onCheckBox(const QPoint& pos) const;

    bool m_fit = false;
    bool m_fitting = false;
    QList<int> m_hints;    // by logical column
    QList<int> m_minimums; // by logical column
    QPersistentModelIndex m_checkBoxPressed; // the cell whose check box the left button went down on
};

} // namespace marovex
