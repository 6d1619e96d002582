#include "ui/articlemodel.h"

#include "catalogue/catalogue.h"

namespace marovex {

ArticleModel::ArticleModel(RecordTable& table, QObject* parent) : QAbstractTableModel(parent), m_table(table) {
    m_rows = m_table.rowCount();
    m_table.addObserver(this);
}

ArticleModel::~ArticleModel() { m_table.removeObserver(this); }

int ArticleModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int ArticleModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_table.fields().size());
}

QString ArticleModel::fieldName(int column) const {
    const auto& fields = m_table.fields();
    return column >= 0 && column < int(fields.size()) ? QString::fromStdString(fields[size_t(column)].name) : QString();
}

QVariant ArticleModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows || index.row() >= m_table.rowCount()) return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    const RowRef row = m_table.rowAt(index.row());
    const int field = index.column();
    const auto& def = m_table.fields()[size_t(field)];
    if (row.isNull(field)) return QString();
    if (def.name == "Type" && role == Qt::DisplayRole)
        return QString::fromStdString(catalogue::ClientDataSet1TypeGetText(row.asInt(field)));
    if (def.type == FieldType::WideText || def.type == FieldType::Text) return QString::fromStdString(row.asText(field));
    if (def.type == FieldType::Boolean) return row.asBool(field);
    return row.asInt(field);
}

QVariant ArticleModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return m_titles.value(fieldName(section), fieldName(section));
    return section + 1;
}

void ArticleModel::setColumnTitles(const QHash<QString, QString>& titles) {
    m_titles = titles;
    if (columnCount() > 0) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void ArticleModel::tableReset() {
    beginResetModel();
    m_rows = m_table.rowCount();
    endResetModel();
    emit currentRowChanged(m_table.position());
}

void ArticleModel::rowChanged(int viewPos) {
    if (viewPos < 0 || viewPos >= m_rows) return;
    emit dataChanged(index(viewPos, 0), index(viewPos, columnCount() - 1));
}

void ArticleModel::currentChanged(int viewPos) { emit currentRowChanged(viewPos); }

} // namespace marovex
