#pragma once
// Message boxes of the application: a question or notice with a caption of
// the caller's choice, and the standard display of an error.
#include <QMessageBox>
#include <QStringList>
#include <exception>

class QWidget;

// The kind of message, which picks the icon.
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Shows `message` modally with the icon of `type`, the caption and the buttons,
// and returns the button pressed (Escape gives Cancel or No when present, as
// the toolkit decides). `buttonTexts` rename the buttons in the order of their
// flag values (Ok, Yes, No, Cancel, ...); a missing or empty text keeps the
// button's own.
QMessageBox::StandardButton MessageDlgCaption(const QString& message, const QString& caption, TMsgDlgType type,
                                              QMessageBox::StandardButtons buttons,
                                              const QStringList& buttonTexts = {}, QWidget* parent = nullptr);

// The application's standard error display: a critical box with the
// application title as caption and the exception's text.
void ShowErrorMessage(QWidget* parent, const std::exception& e);
