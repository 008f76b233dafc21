#pragma once
// Qt's own file dialog, taught to hand over names that are not UTF-8. It
// lists such a name with U+FFFD for the bytes it cannot decode and then
// refuses it as missing; this one finds the entry on disk the name stands for
// (RecoverDialogName) and accepts that.
#include <QFileDialog>
#include <QStringList>

class TFileDialog : public QFileDialog {
    Q_OBJECT

public:
    explicit TFileDialog(QWidget* parent);

    // The names chosen when the dialog was last accepted, byte for byte
    // (FileNames.h); selectedFiles() may hold U+FFFD instead.
    QStringList ChosenFiles() const { return chosen_; }

    void accept() override;

private:
    QStringList chosen_;
};
