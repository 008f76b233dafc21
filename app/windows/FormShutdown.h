#pragma once
// The countdown before the computer is shut down at the end of a batch. It
// closes with the accept result when the count runs out, and with the reject
// result when the user cancels; only the first asks for the shut-down.
#include <QDialog>
#include <cstdint>

class QLabel;
class QPushButton;
class QTimer;

class TFormShutdown : public QDialog {
    Q_OBJECT

public:
    explicit TFormShutdown(QWidget* parent = nullptr);

    // Moves the dialog to the middle of `owner`'s frame.
    void CenterOn(const QWidget* owner);

    // One second of the countdown.
    void TimerShutdownTimer();
    int Counter() const { return counter_; }

    QLabel* LabelWarning = nullptr;
    QLabel* LabelMessage = nullptr;
    QLabel* LabelTimeOut = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QTimer* TimerShutdown = nullptr;

    void done(int result) override;

private:
    void ShowTimeLeft();

    int32_t counter_ = 30;
};
