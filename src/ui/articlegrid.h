#pragma once

#include "ui/cataloguegrid.h"
#include "ui/gridlook.h"

#include <QHash>

#include <functional>
#include <string>

class QHeaderView;

namespace marovex {

class ArticleGridDelegate;
class ArticleModel;
class RecordTable;
struct WindowState;

// The grid of articles: shows the article table through its model, in the user's font and colours, and
// turns clicks, double clicks and keys into a request to open the current row as the settings want it.
class ArticleGrid final : public CatalogueGrid {
    Q_OBJECT
public:
    explicit ArticleGrid(QWidget* parent);

    // Whether a single click on a cell opens it (else a double click does); asked at every click.
    void setOpenOnSingleClick(std::function<bool()> single) { m_openOnSingleClick = std::move(single); }
    // Shows `table`; the grid never owns it.
    void attach(RecordTable& table);
    // The model while a table is attached, else null.
    ArticleModel* articleModel() const { return m_model; }
    void detach();

    // The title of a field's column, from the language file.
    void setColumnTitle(const QString& field, const QString& title);

    // The field whose title shows the sort marker ("Type", "Izb", "Tem", "Statia"; empty for none).
    void setSortColumn(const QString& field);
    const QString& sortColumn() const { return m_sortColumn; }
    // The field of the cell selected last, the title column before any.
    std::string selectedField() const;

    // The font and colours of `look`; its lines are set apart.
    void applyLook(const GridLook& look);
    void setLines(bool cellLines, bool indicator);
    GridLook look() const;
    void restoreColumns(const WindowState& state);
    void saveColumns(WindowState& state) const;

    void showRow(int row);
    // After a new order the rows that now stand above the current one matter (the favourites, the hits):
    // as many of them are shown as fit, from the first row when the current one is on the first page.
    void showCurrentRowInContext();

signals:
    void openRequested();
    // A right click on a page column (`cell` invalid over the title row).
    void rowMenuRequested(const QModelIndex& cell, const QPoint& globalPos);
    // The user made another row current.
    void rowChosen(int row);
    // A press or release on the grid: the keys are to come here.
    void focusWanted();

private:
    void fitNumberColumnToNumbers();
    void released(Qt::MouseButton button, const QPoint& globalPos);

    ArticleModel* m_model = nullptr;
    ArticleGridDelegate* m_delegate = nullptr;
    std::function<bool()> m_openOnSingleClick;
    GridLook m_look;
    QHash<QString, QString> m_titles; // by field name
    QString m_sortColumn;
    bool m_cellPress = false;  // a left button went down on the cells (not on a title)
    int m_selectedColumn = -1; // the last selected column (-1: none yet, the title column)
};

} // namespace marovex
