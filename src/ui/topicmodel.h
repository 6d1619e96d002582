#pragma once

#include "catalogue/recordtable.h"

#include <QAbstractTableModel>

namespace marovex {

// The topic grid's view of the topic table: the topic name and its filter tick, read from the table when
// asked. Read-only: the tick changes only through the topic commands (a click on its check box runs one,
// see CatalogueGrid::checkBoxClicked). Detached, it shows no rows.
class TopicModel final : public QAbstractTableModel, private TableObserver {
    Q_OBJECT
public:
    enum Column { ColTem, ColKey, ColumnCount };

    explicit TopicModel(RecordTable& table, QObject* parent = nullptr);
    ~TopicModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setAttached(bool attached);
    bool isAttached() const { return m_attached; }

signals:
    void currentRowChanged(int row);

private:
    void tableReset() override;
    void rowChanged(int viewPos) override;
    void currentChanged(int viewPos) override;

    RecordTable& m_table;
    int m_rows = 0;
    bool m_attached = true;
    int m_temField = -1;
    int m_keyField = -1;
};

} // namespace marovex
