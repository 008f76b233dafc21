#pragma once
// Files dropped on the window from the file manager.
#include <QStringList>

class QMimeData;

// The local files and folders of a drop that may be added, in the order
// dropped, their names byte for byte (FileNames.h): folders, which the add
// searches, and files whose extension IsSupportedExtension accepts. Other
// files, and addresses that are not local files, are left out without a
// message.
QStringList DroppedFileNames(const QMimeData& data);
