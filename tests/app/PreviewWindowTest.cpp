// The preview window: an always-on-top tool window the size of the picture,
// centred once, titled with the picture time, drawing the latest picture, and
// reporting a close by the user; and the previewer driving it from a worker
// thread as the program installs it.
#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QtTest>
#include <atomic>
#include <thread>

#include "MainThread.h"
#include "MainThreadWaker.h"
#include "PreviewWindow.h"

namespace {

TBitmap Picture(int bitsPixel, int width, int height, int seed) {
    TBitmap bitmap;
    bitmap.SetBitsPixel(bitsPixel);
    bitmap.SetSize(width, height);
    for (size_t i = 0; i < bitmap.Bits.size(); ++i) bitmap.Bits[i] = static_cast<uint8_t>(seed + i * 13);
    return bitmap;
}

// The colour the bitmap holds at (x, y): B, G, R bytes, then one unused byte at 32 bits.
QRgb BitmapPixel(const TBitmap& bitmap, int x, int y) {
    const uint8_t* p = bitmap.ScanLine(y) + x * (bitmap.BitsPixel / 8);
    return qRgb(p[2], p[1], p[0]);
}

// The first pixel where the window's drawing differs from the bitmap, or an empty text.
QString FirstDifference(QWidget& window, const TBitmap& bitmap) {
    const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (shown.size() != QSize(bitmap.Width, bitmap.Height))
        return QString("size %1x%2").arg(shown.width()).arg(shown.height());
    for (int y = 0; y < bitmap.Height; ++y)
        for (int x = 0; x < bitmap.Width; ++x)
            if (shown.pixel(x, y) != BitmapPixel(bitmap, x, y))
                return QString("pixel %1,%2: %3 instead of %4")
                    .arg(x).arg(y).arg(shown.pixel(x, y), 8, 16).arg(BitmapPixel(bitmap, x, y), 8, 16);
    return {};
}

QPoint ScreenCentre() { return QGuiApplication::primaryScreen()->availableGeometry().center(); }

} // namespace

class PreviewWindowTest : public QObject {
    Q_OBJECT

private slots:
    void looksAndDraws_data() {
        QTest::addColumn<int>("bitsPixel");
        // 13 pixels of 24 bits leave padding at the end of every row.
        QTest::newRow("24 bits") << 24;
        QTest::newRow("32 bits") << 32;
    }

    void looksAndDraws() {
        QFETCH(int, bitsPixel);
        TFormPreview window;
        const TBitmap first = Picture(bitsPixel, 13, 7, 1);
        window.Show(first, "00:01:05.250");

        QVERIFY(window.isVisible());
        QCOMPARE(window.windowType(), Qt::Tool);
        QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!window.windowFlags().testFlag(Qt::WindowMinMaxButtonsHint));
        QCOMPARE(window.size(), QSize(13, 7));
        QCOMPARE(window.windowTitle(), QString("00:01:05.250"));
        QCOMPARE(window.frameGeometry().center(), ScreenCentre());
        QCOMPARE(FirstDifference(window, first), QString());

        // Later pictures replace the drawing and the title; the window stays
        // where the user put it, and follows the picture's size.
        window.move(window.pos() + QPoint(40, 30));
        const QPoint moved = window.pos();
        const TBitmap second = Picture(bitsPixel, 20, 9, 77);
        window.Show(second, "N/A");
        QCOMPARE(window.windowTitle(), QString("N/A"));
        QCOMPARE(window.size(), QSize(20, 9));
        QCOMPARE(window.pos(), moved);
        QCOMPARE(FirstDifference(window, second), QString());
        QVERIFY(!window.ClosedByUser());
    }

    void closingIsReportedAndKeepsTheWindow() {
        QPointer<TFormPreview> window = new TFormPreview;
        window->Show(Picture(24, 8, 8, 5), "00:00:00.040");
        QVERIFY(!window->ClosedByUser());
        QVERIFY(window->close());  // what the close button does
        QVERIFY(window->ClosedByUser());
        QVERIFY(!window->isVisible());
        // The previewer owns the window; closing must not delete it under it.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!window.isNull());
        delete window.data();
    }

    void previewerShowsWorkerPicturesInTheRealWindow() {
        SetPreviewWindowFactory(CreatePreviewWindow);
        TMainThreadWaker waker;
        auto previewer = std::make_unique<TPreviewer>();
        const TBitmap bitmap = Picture(24, 16, 12, 9);
        std::atomic<int> result{-1};
        std::thread worker([&] { result = previewer->ShowPicture(bitmap, 1, 65250000) ? 1 : 0; });
        QTRY_VERIFY(result != -1);
        worker.join();
        QCOMPARE(result.load(), 1);

        QPointer<TFormPreview> window;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* preview = qobject_cast<TFormPreview*>(w)) window = preview;
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QString("00:01:05.250"));
        QCOMPARE(FirstDifference(*window, bitmap), QString());

        window->close();
        result = -1;
        worker = std::thread([&] { result = previewer->ShowPicture(Picture(24, 16, 12, 90), 2, 0) ? 1 : 0; });
        QTRY_VERIFY(result != -1);
        worker.join();
        QCOMPARE(result.load(), 0);
        QCOMPARE(window->windowTitle(), QString("00:01:05.250"));
        QCOMPARE(FirstDifference(*window, bitmap), QString());

        previewer.reset();
        QVERIFY(window.isNull());
        SetPreviewWindowFactory({});
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InitMainThread();
    PreviewWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PreviewWindowTest.moc"
