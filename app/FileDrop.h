#pragma once
// Files dropped on the window from the file manager.
#include <QStringList>

class QMimeData;

// The local files of a drop that may be added, in the order dropped, their
// names byte for byte (FileNames.h): folders and names whose extension
// IsSupportedExtension refuses are left out without a message, as are
// addresses that are not local files.
QStringList DroppedFileNames(const QMimeData& data);
