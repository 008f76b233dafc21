#pragma once
// The splash window shown while the program starts: the picture fades in on
// a frameless, translucent window above everything, stays for a second and
// closes on its own or at a key press. It can be dragged anywhere.
#include <QImage>
#include <QWidget>
#include <vector>

class QTimer;

// The picture beside the executable or in the installed data folder (ProgramDataFile).
constexpr const char* SplashFileName = "splash.png";

// Loads a PNG that holds 8-bit red, green, blue and alpha (32 bits per pixel),
// as Format_ARGB32. Raises Exception "Wrong bitmap format - must be 32
// bits/pixel" for any other PNG, and Exception with the reason when the file
// cannot be read or is no PNG.
QImage LoadSplashPicture(const QString& fileName);

// Every colour channel c of a pixel with alpha a becomes c * a div 255, the
// form the window blends. Takes Format_ARGB32, gives
// Format_ARGB32_Premultiplied.
QImage PremultiplyPicture(const QImage& picture);

// The window's constant alpha at each step of the fade: from 0, each step adds
// (255 - alpha) div 32 + 1 until 255 is reached.
std::vector<int> SplashFadeSteps();

class TFormSplash : public QWidget {
    Q_OBJECT

public:
    // Closing the window frees it.
    explicit TFormSplash(QWidget* parent = nullptr);

    // Loads the picture, shows it centred on the screen and fades it in, one
    // step per tick of the millisecond clock, then starts TimerSplash. Raises
    // what LoadSplashPicture raises; the window is not shown then.
    void FadeIn(const QString& fileName);

    void TimerSplashTimer();
    int ConstantAlpha() const { return constantAlpha_; }
    const QImage& Picture() const { return picture_; }

    QTimer* TimerSplash = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormKeyPress(QKeyEvent* event);
    void FormMouseDown();
    void FormClose();

    QImage picture_;  // premultiplied
    int constantAlpha_ = 0;
};
