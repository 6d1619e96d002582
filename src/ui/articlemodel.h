#pragma once

#include "catalogue/recordtable.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

#include <array>

namespace marovex {

// The article grid's view of the article table: one row per row of the table's current view, the five
// grid columns, values read from the table when asked (the model keeps no copy). Follows the table's
// display notifications. While detached it shows no rows and never reads the table, so a worker may
// write the table meanwhile.
class ArticleModel final : public QAbstractTableModel, private TableObserver {
    Q_OBJECT
public:
    enum Column { ColIzb, ColType, ColNumber, ColTem, ColStatia, ColumnCount };
    enum Role {
        FoundRole = Qt::UserRole + 1, // bool: the row carries the search mark
        FavouriteRole,                // bool: the row is a favourite
        FieldNameRole,                // QString: the column's field (also in headerData)
    };

    explicit ArticleModel(RecordTable& table, QObject* parent = nullptr);
    ~ArticleModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The field shown in a column; empty for no column.
    static QString fieldName(int column);
    // Column of a field (letter case ignored), -1 for a field the grid does not show.
    static int columnOf(QStringView field);

    // Titles of the text columns by field name. The favourites column has an icon and never a text.
    void setColumnTitles(const QHash<QString, QString>& titles);
    void setFavouritesTitleIcon(const QIcon& icon);
    // Whether the row indicator marks the current row in the row titles.
    void setIndicator(bool shown);

    // Detached: no rows; attaching takes the table's view in again.
    void setAttached(bool attached);
    bool isAttached() const { return m_attached; }

signals:
    void currentRowChanged(int row);

private:
    void tableReset() override;
    void rowChanged(int viewPos) override;
    void currentChanged(int viewPos) override;
    void resolveFields();

    RecordTable& m_table;
    int m_rows = 0;
    int m_current = -1;
    bool m_attached = true;
    bool m_indicator = true;
    std::array<int, ColumnCount> m_fields{};
    int m_findField = -1;
    QHash<QString, QString> m_titles;
    QIcon m_favouritesIcon;
};

} // namespace marovex
