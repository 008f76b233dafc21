#pragma once
// A link drawn as a link (navy, underlined, a pointing hand) that behaves as
// a button: a click, or Enter or Space while it has the keyboard focus, opens
// it, and assistive technology sees a link it can press.
#include <QLabel>

class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit TLinkLabel(const QString& text = QString(), QWidget* parent = nullptr);

signals:
    void Clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool pressed_ = false;
};
