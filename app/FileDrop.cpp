#include "FileDrop.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "UtilFuncs.h"

QStringList DroppedFileNames(const QMimeData& data) {
    QStringList names;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (path.isEmpty() || QFileInfo(path).isDir()) continue;
        if (!IsSupportedExtension(path.toLocal8Bit().toStdString())) continue;
        names << path;
    }
    return names;
}
