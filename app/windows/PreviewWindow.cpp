#include "PreviewWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "BitmapImage.h"

TFormPreview::TFormPreview()
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    // The previewer owns the window; a close by the user only hides it.
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Every pixel is painted from the picture; no background to clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TFormPreview::Show(const TBitmap& bitmap, const std::string& caption) {
    picture_ = WrapBitmap(bitmap).copy();
    const QSize size = picture_.isNull() ? QSize(bitmap.Width, bitmap.Height).expandedTo(QSize(1, 1)) : picture_.size();
    if (this->size() != size) setFixedSize(size);
    setWindowTitle(QString::fromLocal8Bit(caption.c_str()));
    if (!isVisible()) show();
    if (!placed_) {
        // Centres the whole window, border included, which is known once it shows.
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
        placed_ = true;
    }
    update();
}

void TFormPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!picture_.isNull()) painter.drawImage(QPoint(0, 0), picture_);
}

void TFormPreview::closeEvent(QCloseEvent* event) {
    closedByUser_ = true;
    event->accept();
}

void TFormPreview::mousePressEvent(QMouseEvent* event) {
    // The window has hardly any caption to grab; the whole picture serves as one.
    if (event->button() == Qt::LeftButton && windowHandle() && windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

std::unique_ptr<TPreviewWindow> CreatePreviewWindow() { return std::make_unique<TFormPreview>(); }
