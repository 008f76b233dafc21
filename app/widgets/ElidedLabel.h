#pragma once
// A one-line label for a text that may be longer than the room it has, such
// as a path: it is drawn shortened with an ellipsis (in the middle by
// default, where a path has the folders that matter least), and the tooltip
// then shows it whole. text() and what assistive technology reads stay whole.
#include <QLabel>

class TElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit TElidedLabel(const QString& text = QString(), QWidget* parent = nullptr,
                          Qt::TextElideMode mode = Qt::ElideMiddle);

    // Whether the text is shown shortened at the label's present width.
    bool Elided() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString ShownText() const;

    Qt::TextElideMode mode_;
};
