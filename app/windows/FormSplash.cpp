#include "FormSplash.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <array>
#include <chrono>
#include <cstdint>
#include <thread>

#include "Exception.h"
#include "Format.h"

namespace {

constexpr int SplashTime = 1000;  // milliseconds after the fade

std::string Text(const QString& s) { return s.toLocal8Bit().toStdString(); }

// Bit depth and colour type sit at fixed places of the header chunk, which
// every PNG starts with: 8 bytes of signature, then length, "IHDR", width
// and height.
bool IsRgbaPng8(const QByteArray& data) {
    if (data.size() < 26 || !data.startsWith("\x89PNG\r\n\x1a\n") || data.mid(12, 4) != "IHDR") return false;
    const int bitDepth = static_cast<uint8_t>(data[24]);
    const int colourType = static_cast<uint8_t>(data[25]);
    return bitDepth == 8 && colourType == 6;
}

// The millisecond clock the fade steps by.
int64_t TickCount() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

QImage LoadSplashPicture(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(Format("Cannot open file \"%s\". %s", Text(fileName), Text(file.errorString())));
    const QByteArray data = file.readAll();
    QImage picture = QImage::fromData(data, "PNG");
    if (picture.isNull()) throw Exception(Format("Cannot load picture \"%s\"", Text(fileName)));
    if (!IsRgbaPng8(data)) throw Exception("Wrong bitmap format - must be 32 bits/pixel");
    return picture.convertToFormat(QImage::Format_ARGB32);
}

QImage PremultiplyPicture(const QImage& picture) {
    // The products are looked up, not computed, once per channel of every pixel.
    static const auto products = [] {
        std::array<std::array<uint8_t, 256>, 256> table{};
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c) table[a][c] = static_cast<uint8_t>(c * a / 255);
        return table;
    }();
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    QImage result(source.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const QRgb p = in[x];
            const auto& row = products[qAlpha(p)];
            out[x] = qRgba(row[qRed(p)], row[qGreen(p)], row[qBlue(p)], qAlpha(p));
        }
    }
    return result;
}

std::vector<int> SplashFadeSteps() {
    std::vector<int> steps;
    for (int alpha = 0; alpha < 255;) {
        alpha += (255 - alpha) / 32 + 1;
        steps.push_back(alpha);
    }
    return steps;
}

TFormSplash::TFormSplash(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("FormSplash");
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);
    TimerSplash = new QTimer(this);
    TimerSplash->setObjectName("TimerSplash");
    TimerSplash->setInterval(SplashTime);
    connect(TimerSplash, &QTimer::timeout, this, [this] { TimerSplashTimer(); });
}

void TFormSplash::FadeIn(const QString& fileName) {
    picture_ = PremultiplyPicture(LoadSplashPicture(fileName));
    constantAlpha_ = 0;
    setFixedSize(picture_.size());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.left() + (s.width() - width()) / 2, s.top() + (s.height() - height()) / 2);
    }
    show();
    activateWindow();

    int64_t last = TickCount();
    for (int alpha : SplashFadeSteps()) {
        while (TickCount() == last) std::this_thread::sleep_for(std::chrono::microseconds(100));
        last = TickCount();
        constantAlpha_ = alpha;
        update();
        // Painting needs the window system; keys and clicks wait for the
        // message loop, as they would without it.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    TimerSplash->start();
}

void TFormSplash::TimerSplashTimer() { close(); }

void TFormSplash::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setOpacity(constantAlpha_ / 255.0);
    p.drawImage(0, 0, picture_);
}

void TFormSplash::keyPressEvent(QKeyEvent* event) { FormKeyPress(event); }

// Keys that type a character close it (Escape and Enter among them); a lone
// Shift or an arrow does not.
void TFormSplash::FormKeyPress(QKeyEvent* event) {
    if (event->text().isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    close();
}

void TFormSplash::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) FormMouseDown();
}

// The whole window is its title bar.
void TFormSplash::FormMouseDown() {
    if (QWindow* window = windowHandle()) window->startSystemMove();
}

void TFormSplash::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TFormSplash::FormClose() { TimerSplash->stop(); }
