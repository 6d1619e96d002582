#include "ui/articlegriddelegate.h"

#include <cstdlib>

#include "ui/articlemodel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>

#include <cmath>

namespace marovex {

namespace {

constexpr int kMarkSize = 16;

int roundHalfEven(int twice) {
    // twice / 2 rounded to nearest, halves to the even neighbour.
    return int(std::nearbyint(double(twice) / 2.0));
}

bool opensSomething(int column) {
    return column == ArticleModel::ColType || column == ArticleModel::ColNumber ||
           column == ArticleModel::ColStatia;
}

} // namespace

ArticleGridDelegate::ArticleGridDelegate(QAbstractItemView* view) : QStyledItemDelegate(view), m_view(view) {}

QPoint ArticleGridDelegate::markOrigin(int left, int top, int right, int bottom, int image) {
    return {roundHalfEven(left + right - image), roundHalfEven(top + bottom - image) - 1};
}

QSize ArticleGridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    if (m_hasLinkFont && opensSomething(index.column())) opt.font = m_linkFont;
    return QStyledItemDelegate::sizeHint(opt, index);
}

void ArticleGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const bool current = m_view && m_view->currentIndex() == index;
    const bool found = index.data(ArticleModel::FoundRole).toBool();
    if (opensSomething(index.column())) {
        if (m_hasLinkFont) opt.font = m_linkFont;
        opt.palette.setColor(QPalette::Text, m_linkColor);
    } else if (m_textColor.isValid()) {
        opt.palette.setColor(QPalette::Text, m_textColor);
    }
    if (found && !current) {
        opt.backgroundBrush = m_findColor;
        // The default find and link colours are both navy: text that would vanish on the find colour is
        // drawn in black or white, whichever stands out.
        const auto luma = [](const QColor& c) {
            return (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
        };
        const int background = luma(m_findColor);
        if (std::abs(luma(opt.palette.color(QPalette::Text)) - background) < 96)
            opt.palette.setColor(QPalette::Text, background < 128 ? Qt::white : Qt::black);
    }
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    if (index.column() != ArticleModel::ColIzb || !index.data(ArticleModel::FavouriteRole).toBool()) return;
    const QRect r = opt.rect;
    if (r.width() < kMarkSize) return; // a narrow column shows no mark
    const QPoint at = markOrigin(r.left(), r.top(), r.left() + r.width(), r.top() + r.height(), kMarkSize);
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(at, m_mark.pixmap(QSize(kMarkSize, kMarkSize), ratio));
}

} // namespace marovex
