#include "LinkLabel.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <mutex>

namespace {

// What a screen reader is told: a link with the label's text, which it can press.
class TAccessibleLink : public QAccessibleWidget {
public:
    explicit TAccessibleLink(TLinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return static_cast<const QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction()) emit static_cast<TLinkLabel*>(widget())->Clicked();
    }
};

QAccessibleInterface* LinkInterface(const QString& className, QObject* object) {
    if (className == QLatin1String("TLinkLabel") && object && object->isWidgetType())
        return new TAccessibleLink(static_cast<TLinkLabel*>(object));
    return nullptr;
}

} // namespace

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(LinkInterface); });
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(Qt::darkBlue));  // navy
    setPalette(p);
    setCursor(Qt::PointingHandCursor);
    // After the interaction flags, which set a label's focus policy: without
    // text interaction a label takes no focus, but a link takes it from Tab.
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::StrongFocus);
    // Room for the focus frame around the text.
    setContentsMargins(2, 1, 2, 1);
}

void TLinkLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

// A click is a release over the link after a press on it, as on a button.
void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit Clicked();
}

void TLinkLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (event->modifiers() & ~Qt::KeypadModifier) break;
        event->accept();
        emit Clicked();
        return;
    default:
        break;
    }
    QLabel::keyPressEvent(event);
}

void TLinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = contentsRect().adjusted(-2, -1, 2, 1).intersected(rect());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}
