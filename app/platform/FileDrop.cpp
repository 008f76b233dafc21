#include "FileDrop.h"

#include <QMimeData>
#include <QUrl>
#include <sys/stat.h>

#include "FileNames.h"
#include "SourceFiles.h"
#include "UtilFuncs.h"

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

QStringList DroppedFileNames(const QMimeData& data) {
    QStringList names;
    for (const QUrl& url : data.urls()) {
        const QString path = LocalFileOfUrl(url);
        const std::string bytes = NameBytes(path);
        if (path.isEmpty()) continue;
        if (IsDirectory(bytes) || IsSupportedExtension(bytes)) names << path;
    }
    return names;
}
