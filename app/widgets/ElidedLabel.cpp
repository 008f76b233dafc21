#include "ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

TElidedLabel::TElidedLabel(const QString& text, QWidget* parent, Qt::TextElideMode mode)
    : QLabel(text, parent), mode_(mode) {
    setTextFormat(Qt::PlainText);
    // However long the text, it never widens the window.
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QString TElidedLabel::ShownText() const {
    return fontMetrics().elidedText(text(), mode_, contentsRect().width());
}

bool TElidedLabel::Elided() const { return ShownText() != text(); }

bool TElidedLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (Elided()) QToolTip::showText(help->globalPos(), text(), this);
        else QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

void TElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), ShownText(), foregroundRole());
}
