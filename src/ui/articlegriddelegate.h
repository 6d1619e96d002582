#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPoint>
#include <QStyledItemDelegate>

class QAbstractItemView;

namespace marovex {

// Cell drawing of the article grid: search hits on the find colour (except the current cell), the columns
// that open something in the link font and colour, and the favourite mark centred in its column.
class ArticleGridDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ArticleGridDelegate(QAbstractItemView* view);

    void setFindColor(const QColor& color) { m_findColor = color; }
    QColor findColor() const { return m_findColor; }
    // Font and colour of the columns Type, Number and Statia.
    void setLinkFont(const QFont& font, const QColor& color) {
        m_linkFont = font;
        m_linkColor = color;
        m_hasLinkFont = true;
    }
    QColor linkColor() const { return m_linkColor; }
    // Text colour of the other columns (the grid font's colour).
    void setTextColor(const QColor& color) { m_textColor = color; }
    void setFavouriteMark(const QIcon& icon) { m_mark = icon; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where a square image of `image` pixels goes in a cell spanning [left, right) x [top, bottom): centred,
    // halves rounded to the even neighbour, one pixel above the middle.
    static QPoint markOrigin(int left, int top, int right, int bottom, int image);

private:
    QAbstractItemView* m_view;
    QColor m_findColor;
    QColor m_linkColor;
    QColor m_textColor;
    QFont m_linkFont;
    bool m_hasLinkFont = false;
    QIcon m_mark;
};

} // namespace marovex
