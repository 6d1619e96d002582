#pragma once

#include "catalogue/recordtable.h"

#include <QAbstractTableModel>
#include <QHash>

namespace marovex {

// The article table as the grid sees it: one row per view row, one column per field, read straight from the
// table. Follows the table's display notifications.
class ArticleModel final : public QAbstractTableModel, private TableObserver {
    Q_OBJECT
public:
    explicit ArticleModel(RecordTable& table, QObject* parent = nullptr);
    ~ArticleModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The field shown in a column.
    QString fieldName(int column) const;
    // Column titles by field name; a field without one shows its name.
    void setColumnTitles(const QHash<QString, QString>& titles);

signals:
    void currentRowChanged(int row);

private:
    void tableReset() override;
    void rowChanged(int viewPos) override;
    void currentChanged(int viewPos) override;

    RecordTable& m_table;
    int m_rows = 0;
    QHash<QString, QString> m_titles;
};

} // namespace marovex
