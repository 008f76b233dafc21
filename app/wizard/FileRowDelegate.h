#pragma once
// Draws one row of page 1's file list as a slide: the picture in a 128 × 88
// area at the left and four text lines beside it, the file name in bold.
#include <QStyledItemDelegate>

class TFileRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int RowHeight = 90;
    static constexpr int PictureWidth = 128;
    static constexpr int PictureHeight = 88;
    static constexpr int TextLeft = PictureWidth + 8;
    static constexpr int TextWidth = 280;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
