#include "ui/articlemodel.h"

#include "app/settings.h"
#include "catalogue/catalogue.h"

namespace marovex {

namespace {
constexpr int kNoField = -1;
}

ArticleModel::ArticleModel(RecordTable& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table) {
    resolveFields();
    m_rows = m_table.isOpen() ? m_table.rowCount() : 0;
    m_current = m_table.isOpen() ? m_table.position() : -1;
    m_table.addObserver(this);
}

ArticleModel::~ArticleModel() {
    m_table.removeObserver(this);
}

void ArticleModel::resolveFields() {
    for (int c = 0; c < ColumnCount; ++c)
        m_fields[size_t(c)] = m_table.fieldIndex(settings::keys::kGridFields[size_t(c)]);
    m_findField = m_table.fieldIndex("Find");
}

QString ArticleModel::fieldName(int column) {
    if (column < 0 || column >= ColumnCount) return {};
    const std::string_view name = settings::keys::kGridFields[size_t(column)];
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

int ArticleModel::columnOf(QStringView field) {
    for (int c = 0; c < ColumnCount; ++c)
        if (field.compare(fieldName(c), Qt::CaseInsensitive) == 0) return c;
    return -1;
}

int ArticleModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int ArticleModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

Qt::ItemFlags ArticleModel::flags(const QModelIndex& index) const {
    // Read-only: cells are selectable, never editable.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant ArticleModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_attached || index.row() >= m_rows || index.column() >= ColumnCount) return {};
    const int column = index.column();
    switch (role) {
    case Qt::TextAlignmentRole:
        if (column == ColNumber) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case FieldNameRole:
        return fieldName(column);
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case FoundRole:
    case FavouriteRole:
        break;
    default:
        return {};
    }
    // The view may shrink before the reset reaches us; never read past it.
    if (index.row() >= m_table.rowCount()) return {};
    const RowRef row = m_table.rowAt(index.row());
    if (role == FoundRole) return m_findField != kNoField && row.asInt(m_findField) < 0;
    const int izb = m_fields[ColIzb];
    if (role == FavouriteRole)
        return izb != kNoField && !row.isNull(izb) && row.asInt(izb) == catalogue::kFavourite;

    const int field = m_fields[size_t(column)];
    if (field == kNoField) return {};
    switch (column) {
    case ColIzb:
        return {}; // the favourite mark is a picture, the number is never shown
    case ColType: {
        if (row.isNull(field)) return QString();
        const std::string text = catalogue::editionDisplayText(row.asInt(field));
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    default: {
        if (role == Qt::ToolTipRole && column != ColStatia) return {};
        const std::string_view text = row.storedText(field); // Unicode fields hold UTF-8
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    }
}

QVariant ArticleModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        // The row indicator: a mark on the current row, no numbers.
        if (role == Qt::DisplayRole)
            return m_indicator && m_attached && section == m_current ? QStringLiteral("\u25B8") : QString();
        if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
        return {};
    }
    if (section < 0 || section >= ColumnCount) return {};
    if (role == FieldNameRole) return fieldName(section);
    if (section == ColIzb) {
        if (role == Qt::DecorationRole) return m_favouritesIcon;
        return {};
    }
    if (role == Qt::DisplayRole) return m_titles.value(fieldName(section), fieldName(section));
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void ArticleModel::setColumnTitles(const QHash<QString, QString>& titles) {
    m_titles = titles;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

void ArticleModel::setFavouritesTitleIcon(const QIcon& icon) {
    m_favouritesIcon = icon;
    emit headerDataChanged(Qt::Horizontal, ColIzb, ColIzb);
}

void ArticleModel::setIndicator(bool shown) {
    m_indicator = shown;
    if (m_current >= 0 && m_current < m_rows) emit headerDataChanged(Qt::Vertical, m_current, m_current);
}

void ArticleModel::setAttached(bool attached) {
    if (attached == m_attached) return;
    beginResetModel();
    m_attached = attached;
    m_rows = attached && m_table.isOpen() ? m_table.rowCount() : 0;
    m_current = attached && m_table.isOpen() ? m_table.position() : -1;
    endResetModel();
    if (attached) emit currentRowChanged(m_current);
}

void ArticleModel::tableReset() {
    if (!m_attached) return;
    beginResetModel();
    resolveFields();
    m_rows = m_table.isOpen() ? m_table.rowCount() : 0;
    m_current = m_table.isOpen() ? m_table.position() : -1;
    endResetModel();
    emit currentRowChanged(m_current);
}

void ArticleModel::rowChanged(int viewPos) {
    if (!m_attached || viewPos < 0 || viewPos >= m_rows) return;
    emit dataChanged(index(viewPos, 0), index(viewPos, ColumnCount - 1));
}

void ArticleModel::currentChanged(int viewPos) {
    if (!m_attached) return;
    const int old = m_current;
    m_current = viewPos;
    if (old >= 0 && old < m_rows) emit headerDataChanged(Qt::Vertical, old, old);
    if (viewPos >= 0 && viewPos < m_rows) emit headerDataChanged(Qt::Vertical, viewPos, viewPos);
    emit currentRowChanged(viewPos);
}

} // namespace marovex
