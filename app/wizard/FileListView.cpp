#include "FileListView.h"

#include <QPainter>

void TFileListView::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    if (model() && model()->rowCount() > 0) return;
    QPainter painter(viewport());
    const QRect area = viewport()->rect();
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(area.adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                     QStringLiteral("Click \"Add...\" or \"Add Folder...\", or drop files here."));
    if (!hasFocus()) return;
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(area).adjusted(2, 2, -2, -2));
}

// The focus frame of the empty list is drawn over its whole area.
void TFileListView::focusInEvent(QFocusEvent* event) {
    QListView::focusInEvent(event);
    viewport()->update();
}

void TFileListView::focusOutEvent(QFocusEvent* event) {
    QListView::focusOutEvent(event);
    viewport()->update();
}
