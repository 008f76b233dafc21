#include "MessageDlg.h"

#include <QAbstractButton>
#include <QApplication>

#include "UtilFuncsGui.h"

namespace {

QMessageBox::Icon IconOf(TMsgDlgType type) {
    switch (type) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    default: return QMessageBox::NoIcon;
    }
}

// The standard buttons in `buttons`, in the order of their flag values.
QList<QMessageBox::StandardButton> InFlagOrder(QMessageBox::StandardButtons buttons) {
    QList<QMessageBox::StandardButton> result;
    for (uint flag = QMessageBox::FirstButton; flag <= QMessageBox::LastButton; flag <<= 1)
        if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(flag)))
            result << static_cast<QMessageBox::StandardButton>(flag);
    return result;
}

} // namespace

QMessageBox::StandardButton MessageDlgCaption(const QString& message, const QString& caption, TMsgDlgType type,
                                              QMessageBox::StandardButtons buttons, const QStringList& buttonTexts,
                                              QWidget* parent) {
    QMessageBox box(IconOf(type), caption, message, buttons, parent);
    const QList<QMessageBox::StandardButton> order = InFlagOrder(buttons);
    for (qsizetype i = 0; i < order.size() && i < buttonTexts.size(); ++i)
        if (!buttonTexts[i].isEmpty()) box.button(order[i])->setText(buttonTexts[i]);
    // The desktop has one sound for every kind of message.
    QApplication::beep();
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void ShowErrorMessage(QWidget* parent, const std::exception& e) {
    QMessageBox::critical(parent, QString::fromLocal8Bit(ApplicationTitle().c_str()), QString::fromLocal8Bit(e.what()));
}
