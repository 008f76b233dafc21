#include "FileDialog.h"

#include <algorithm>
#include <sys/stat.h>

#include "FileNames.h"

namespace {

// The kind of entry the dialog's mode asks for: a folder, or anything else.
bool IsChoosable(const QString& name, bool folders) {
    struct stat st;
    return ::stat(NameBytes(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode) == folders;
}

} // namespace

TFileDialog::TFileDialog(QWidget* parent) : QFileDialog(parent) {}

void TFileDialog::accept() {
    const QStringList selected = selectedFiles();
    QStringList recovered;
    for (const QString& name : selected) recovered << RecoverDialogName(name);
    const bool folders = fileMode() == QFileDialog::Directory;
    const bool found = !recovered.isEmpty() && std::all_of(recovered.begin(), recovered.end(), [folders](const QString& n) {
        return IsChoosable(n, folders);
    });
    // Qt's own checks would refuse a recovered name, which it cannot open.
    if (recovered != selected && found) {
        chosen_ = recovered;
        QDialog::accept();
        return;
    }
    chosen_ = selected;
    QFileDialog::accept();
}
