#pragma once
// The desktop's preview window: a small always-on-top tool window that shows
// the latest preview picture of a running task, its time as the title. The
// user moves it by dragging anywhere inside and closes it to stop previewing.
#include <QImage>
#include <QWidget>
#include <memory>

#include "Previewer.h"

class TFormPreview : public QWidget, public TPreviewWindow {
    Q_OBJECT

public:
    TFormPreview();

    // The first picture sizes the client area to it, centres the window on
    // the screen and shows it; a picture of another size resizes it in place.
    void Show(const TBitmap& bitmap, const std::string& caption) override;
    bool ClosedByUser() const override { return closedByUser_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage picture_;  // our own copy: the previewer reuses its bitmap
    bool placed_ = false;
    bool closedByUser_ = false;
};

// The factory the desktop program installs with SetPreviewWindowFactory.
std::unique_ptr<TPreviewWindow> CreatePreviewWindow();
