#include "ui/articlegrid.h"

#include "app/settings.h"
#include "app/windowstate.h"
#include "ui/articlegriddelegate.h"
#include "ui/articlemodel.h"
#include "ui/icons.h"
#include "ui/qtconvert.h"

#include <QHeaderView>
#include <QStyle>

#include <algorithm>

namespace marovex {

namespace {

// Built-in width and smallest width of each column.
struct ColumnLayout {
    int width, minimum;
};
constexpr ColumnLayout kColumns[ArticleModel::ColumnCount] = {{39, 5}, {116, 15}, {31, 15}, {97, 15}, {460, 15}};

} // namespace

ArticleGrid::ArticleGrid(QWidget* parent) : CatalogueGrid(parent) {
    setObjectName(QStringLiteral("DBGridEh_MVX2"));
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setMinimumWidth(12);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_look.linkColor = textToColor(settings::keys::color_link.def);
    m_look.findColor = textToColor(settings::keys::color_find.def);
    m_delegate = new ArticleGridDelegate(this);
    m_delegate->setFavouriteMark(icons::favouriteMark());
    m_delegate->setFindColor(qtconvert::toQColor(m_look.findColor));
    m_delegate->setLinkFont(font(), qtconvert::toQColor(m_look.linkColor));
    setItemDelegate(m_delegate);

    connect(this, &CatalogueGrid::buttonPressed, this, [this](Qt::MouseButton button) {
        if (!hasFocus()) emit focusWanted();
        m_cellPress = button == Qt::LeftButton;
    });
    connect(this, &CatalogueGrid::buttonReleased, this, &ArticleGrid::released);
    connect(this, &CatalogueGrid::keyPressed, this, &ArticleGrid::openRequested);
    connect(this, &QAbstractItemView::clicked, this, [this] {
        if (!m_openOnSingleClick() || !m_cellPress || !m_model || m_model->rowCount() == 0) return;
        emit openRequested();
        m_cellPress = false;
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this] {
        if (m_openOnSingleClick() || !m_cellPress || !m_model || m_model->rowCount() == 0) return;
        emit openRequested();
    });
    // A title click sorts; the header has flipped its marker, which follows the sort column only.
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this] {
        m_cellPress = false;
        setSortColumn(m_sortColumn);
    });
}

void ArticleGrid::attach(RecordTable& table) {
    m_model = new ArticleModel(table, this);
    m_model->setColumnTitles(m_titles);
    m_model->setFavouritesTitleIcon(icons::toolIcon(icons::Icon::FavouriteOutline));
    m_model->setIndicator(verticalHeader()->isVisible());
    setModel(m_model);
    for (int c = 0; c < ArticleModel::ColumnCount; ++c) {
        setColumnMinimumWidth(c, kColumns[c].minimum);
        setColumnWidthHint(c, kColumns[c].width);
    }
    fitNumberColumnToNumbers();
    setFitColumns(true);
    connect(m_model, &ArticleModel::currentRowChanged, this, &ArticleGrid::showRow);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid()) m_selectedColumn = current.column();
    });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (current.isValid() && m_model->isAttached()) emit rowChosen(current.row());
    });
}

void ArticleGrid::setColumnTitle(const QString& field, const QString& title) {
    m_titles[field] = title;
    if (m_model) m_model->setColumnTitles(m_titles);
}

void ArticleGrid::detach() {
    if (!m_model) return;
    setModel(nullptr);
    delete m_model;
    m_model = nullptr;
}

void ArticleGrid::released(Qt::MouseButton button, const QPoint& globalPos) {
    emit focusWanted();
    if (button != Qt::RightButton) return;
    // The row menu acts on the current row: the cell clicked becomes current before it opens. Over the title
    // row no cell is clicked and the current one decides.
    const QModelIndex clicked = indexAt(viewport()->mapFromGlobal(globalPos));
    const int column = (clicked.isValid() ? clicked : currentIndex()).column();
    if (column == ArticleModel::ColType || column == ArticleModel::ColNumber || column == ArticleModel::ColStatia)
        emit rowMenuRequested(clicked, globalPos);
}

void ArticleGrid::setSortColumn(const QString& field) {
    m_sortColumn = field;
    // Qt draws the upward triangle for the descending indicator.
    horizontalHeader()->setSortIndicator(ArticleModel::columnOf(field), Qt::DescendingOrder);
}

std::string ArticleGrid::selectedField() const {
    // An empty view has no current cell, but the grid keeps its selected column.
    const QModelIndex current = currentIndex();
    const int column = current.isValid()       ? current.column()
                       : m_selectedColumn >= 0 ? m_selectedColumn
                                               : int(ArticleModel::ColStatia);
    return ArticleModel::fieldName(column).toStdString();
}

void ArticleGrid::setLines(bool cellLines, bool indicator) {
    setShowGrid(cellLines);
    verticalHeader()->setVisible(indicator);
    if (m_model) m_model->setIndicator(indicator);
}

void ArticleGrid::applyLook(const GridLook& look) {
    using qtconvert::toQColor;
    m_look = look;
    m_delegate->setFindColor(toQColor(look.findColor));
    // The application's style sheet decides the colours of every widget it polishes, so the grid's own
    // colours go into a style sheet of its own: a palette alone would be ignored.
    setStyleSheet(QStringLiteral("QTableView { background-color: %1; }").arg(toQColor(look.tableColor).name()));
    m_delegate->setTextColor(toQColor(look.font.color));
    QFont f = font();
    f.setFamily(QString::fromStdString(look.font.name));
    if (look.font.size() > 0) f.setPointSize(look.font.size());
    f.setBold(look.font.style & fontstyle::bold);
    f.setItalic(look.font.style & fontstyle::italic);
    f.setUnderline(look.font.style & fontstyle::underline);
    f.setStrikeOut(look.font.style & fontstyle::strikeout);
    f.setFixedPitch(look.font.pitch == 2);
    setFont(f);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(f).height() + 4);
    m_delegate->setLinkFont(f, toQColor(look.linkColor));
    fitNumberColumnToNumbers();
    viewport()->update();
}

GridLook ArticleGrid::look() const {
    GridLook look = m_look;
    look.cellLines = showGrid();
    look.indicator = verticalHeader()->isVisible();
    return look;
}

// Issue numbers have up to three digits: however narrow the window, the Number column keeps room for them
// rather than showing "0…".
void ArticleGrid::fitNumberColumnToNumbers() {
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    const int digits = fontMetrics().horizontalAdvance(QStringLiteral("000")) + margins + 1;
    setColumnMinimumWidth(ArticleModel::ColNumber, std::max(kColumns[ArticleModel::ColNumber].minimum, digits));
    if (fitColumns()) fitColumnsNow();
}

void ArticleGrid::restoreColumns(const WindowState& state) {
    for (std::size_t c = 0; c < kGridColumns; ++c)
        // Widths act as proportions: the grid fits its columns to its width.
        setColumnWidthHint(int(c), std::max(0, state.columnWidths[c]));
    QHeaderView* titles = horizontalHeader();
    if (titles->count() != int(kGridColumns)) return;
    const std::array<int, kGridColumns> order = columnOrderFromPositions(state.columnPositions);
    for (int v = 0; v < int(kGridColumns); ++v)
        titles->moveSection(titles->visualIndex(order[std::size_t(v)]), v);
    setFitColumns(true);
}

void ArticleGrid::saveColumns(WindowState& state) const {
    const QHeaderView* titles = horizontalHeader();
    for (std::size_t c = 0; c < kGridColumns && titles->count() == int(kGridColumns); ++c) {
        state.columnPositions[c] = titles->visualIndex(int(c));
        state.columnWidths[c] = titles->sectionSize(int(c));
    }
}

void ArticleGrid::showRow(int row) {
    if (!m_model || row < 0 || row >= m_model->rowCount()) return;
    const QModelIndex current = currentIndex();
    const QModelIndex index = m_model->index(row, current.isValid() ? current.column() : ArticleModel::ColStatia);
    if (current.row() != row) setCurrentIndex(index);
    scrollTo(index);
}

void ArticleGrid::showCurrentRowInContext() {
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return;
    const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
    if (current.row() < viewport()->height() / rowHeight)
        scrollToTop();
    else
        scrollTo(current, QAbstractItemView::PositionAtCenter);
}

} // namespace marovex
