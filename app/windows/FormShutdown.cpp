#include "FormShutdown.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "Format.h"
#include "UtilFuncsGui.h"

namespace {

constexpr int StartCount = 30;

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }

} // namespace

TFormShutdown::TFormShutdown(QWidget* parent) : QDialog(parent), counter_(StartCount) {
    setObjectName("FormShutdown");
    setWindowTitle(QStringLiteral("Shutdown"));

    LabelWarning = new QLabel(QStringLiteral("Warning!"), this);
    LabelWarning->setObjectName("LabelWarning");
    QFont big = LabelWarning->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 2);
    LabelWarning->setFont(big);

    // The text breaks its lines with CR LF; a label wants plain line feeds.
    QString message =
        Text(Format("If you don't press cancel now, \r\n%s will\r\nshutdown the computer.", ApplicationTitle()));
    LabelMessage = new QLabel(message.replace(QStringLiteral("\r\n"), QStringLiteral("\n")), this);
    LabelMessage->setObjectName("LabelMessage");

    LabelTimeOut = new QLabel(this);
    LabelTimeOut->setObjectName("LabelTimeOut");

    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName("ButtonCancel");
    ButtonCancel->setDefault(true);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(10);
    layout->addWidget(LabelWarning);
    layout->addWidget(LabelMessage);
    layout->addWidget(LabelTimeOut);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ShowTimeLeft();
    TimerShutdown = new QTimer(this);
    TimerShutdown->setObjectName("TimerShutdown");
    TimerShutdown->setInterval(1000);
    connect(TimerShutdown, &QTimer::timeout, this, [this] { TimerShutdownTimer(); });
    TimerShutdown->start();
    adjustSize();
    ButtonCancel->setFocus();
}

void TFormShutdown::CenterOn(const QWidget* owner) { CenterOnOwner(this, owner); }

void TFormShutdown::TimerShutdownTimer() {
    // The count runs only while the dialog is open: once it has closed, by
    // either result, no late tick may close it a second time.
    if (!TimerShutdown->isActive()) return;
    --counter_;
    if (counter_ < 0) accept();
    else ShowTimeLeft();
}

// However the dialog closes, the countdown ends with it.
void TFormShutdown::done(int result) {
    TimerShutdown->stop();
    QDialog::done(result);
}

void TFormShutdown::ShowTimeLeft() { LabelTimeOut->setText(Text(Format("Time left: %d", counter_))); }
