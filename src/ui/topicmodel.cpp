#include "ui/topicmodel.h"

namespace marovex {

TopicModel::TopicModel(RecordTable& table, QObject* parent) : QAbstractTableModel(parent), m_table(table) {
    m_temField = m_table.fieldIndex("Tem");
    m_keyField = m_table.fieldIndex("Key");
    m_rows = m_table.isOpen() ? m_table.rowCount() : 0;
    m_table.addObserver(this);
}

TopicModel::~TopicModel() {
    m_table.removeObserver(this);
}

int TopicModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int TopicModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

Qt::ItemFlags TopicModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == ColKey)
        f |= Qt::ItemIsUserCheckable; // drawn as a check box; the model never changes the tick itself
    return f;
}

QVariant TopicModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_attached || index.row() >= m_rows || index.row() >= m_table.rowCount())
        return {};
    const RowRef row = m_table.rowAt(index.row());
    if (index.column() == ColTem && (role == Qt::DisplayRole || role == Qt::ToolTipRole) && m_temField >= 0)
        return QString::fromStdString(row.asText(m_temField));
    if (index.column() == ColKey && role == Qt::CheckStateRole && m_keyField >= 0)
        return row.asBool(m_keyField) ? Qt::Checked : Qt::Unchecked;
    return {};
}

void TopicModel::setAttached(bool attached) {
    if (attached == m_attached) return;
    beginResetModel();
    m_attached = attached;
    m_rows = attached && m_table.isOpen() ? m_table.rowCount() : 0;
    endResetModel();
    if (attached) emit currentRowChanged(m_table.position());
}

void TopicModel::tableReset() {
    if (!m_attached) return;
    beginResetModel();
    m_rows = m_table.isOpen() ? m_table.rowCount() : 0;
    endResetModel();
    emit currentRowChanged(m_table.isOpen() ? m_table.position() : -1);
}

void TopicModel::rowChanged(int viewPos) {
    if (!m_attached || viewPos < 0 || viewPos >= m_rows) return;
    emit dataChanged(index(viewPos, 0), index(viewPos, ColumnCount - 1));
}

void TopicModel::currentChanged(int viewPos) {
    if (m_attached) emit currentRowChanged(viewPos);
}

} // namespace marovex
