#pragma once
// Page 1's list view. While it is empty it says how files get there, and it
// shows the keyboard focus itself, since there is no row to show it on.
#include <QListView>

class TFileListView : public QListView {
    Q_OBJECT

public:
    using QListView::QListView;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
