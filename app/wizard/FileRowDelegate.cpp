#include "FileRowDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <array>
#include <iterator>

#include "FileListModel.h"
#include "FileNames.h"
#include "MinimizeName.h"

namespace {

// Top of each text line within the row, and the column it shows.
struct TTextLine {
    int Top;
    int Column;
};
constexpr TTextLine TextLines[] = {
    {0, NxTextColumnFileMinName},
    {33, NxTextColumnDuration},
    {49, NxTextColumnBitrate},
    {65, NxTextColumnDimension},
};
constexpr int LineCount = static_cast<int>(std::size(TextLines));

QFont LineFont(const QFont& font, const TTextLine& line) {
    QFont f = font;
    f.setBold(line.Column == NxTextColumnFileMinName);
    return f;
}

// The lines' tops: at their usual places, pushed down where a larger font
// needs the room, and the bottom of the last line.
std::array<int, LineCount + 1> LineTops(const QFont& font) {
    std::array<int, LineCount + 1> tops{};
    int next = 0;
    for (int i = 0; i < LineCount; ++i) {
        tops[i] = std::max(TextLines[i].Top, next);
        next = tops[i] + QFontMetrics(LineFont(font, TextLines[i])).height();
    }
    tops[LineCount] = next;
    return tops;
}

// The picture scaled into the area, keeping its proportions and centred.
QRect PictureRect(const QPixmap& picture, const QRect& area) {
    QSize size = picture.deviceIndependentSize().toSize();
    if (size.width() > area.width() || size.height() > area.height()) size.scale(area.size(), Qt::KeepAspectRatio);
    QRect r(QPoint(0, 0), size);
    r.moveCenter(area.center());
    return r;
}

} // namespace

void TFileRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    // The style draws the selection and focus; the content is drawn here.
    opt.text.clear();
    opt.icon = QIcon();
    opt.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    painter->save();
    const QRect row = option.rect;
    const QRect pictureArea(row.left() + 1, row.top() + 1, PictureWidth, PictureHeight);
    const QPixmap picture = index.sibling(index.row(), NxGraphicColumnMainImage).data(Qt::DecorationRole).value<QPixmap>();
    if (!picture.isNull()) {
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        const QRect target = PictureRect(picture, pictureArea);
        painter->drawPixmap(target, picture);
        // A hairline keeps white picture edges apart from the list's background.
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawRect(target.adjusted(0, 0, -1, -1));
    }

    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    // Lines are at least TextWidth wide and take what the row has beyond it.
    const int textWidth = std::max(TextWidth, row.right() - (row.left() + TextLeft) - 4);
    const auto tops = LineTops(option.font);
    for (int i = 0; i < LineCount; ++i) {
        const TTextLine& line = TextLines[i];
        const QFont font = LineFont(option.font, line);
        painter->setFont(font);
        const QFontMetrics metrics(font);
        const QRect rect(row.left() + TextLeft, row.top() + tops[i], textWidth, metrics.height());
        // The path is shortened to the width the row has now, folders first;
        // a track shows its caption instead.
        QString text;
        const QVariant caption = index.data(TFileListModel::TrackCaptionRole);
        if (line.Column != NxTextColumnFileMinName)
            text = metrics.elidedText(index.sibling(index.row(), line.Column).data().toString(), Qt::ElideRight,
                                      textWidth);
        else if (caption.isValid())
            text = metrics.elidedText(caption.toString(), Qt::ElideRight, textWidth);
        else
            text = MinimizeName(DisplayName(index.sibling(index.row(), NxTextColumnFileFullName).data().toString()),
                                metrics, textWidth);
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    painter->restore();
}

QSize TFileRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {TextLeft + TextWidth, std::max(RowHeight, LineTops(option.font)[LineCount] + 1)};
}
