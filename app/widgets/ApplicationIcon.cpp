#include "ApplicationIcon.h"

#include <QDir>

// The resource is compiled into a static library: nothing would pull its
// registration into the program without this call.
static void RegisterIconResource() { Q_INIT_RESOURCE(tembrio_icon); }

namespace {

const char* const IconName = "tembrio";

// Every size rendered at build time, one folder per size (":/icons/48/tembrio.png").
QIcon BundledIcon() {
    RegisterIconResource();
    QIcon icon;
    const QDir sizes(QStringLiteral(":/icons"));
    for (const QString& size : sizes.entryList(QDir::Dirs))
        icon.addFile(sizes.filePath(size + "/" + IconName + ".png"));
    return icon;
}

} // namespace

QIcon ApplicationIcon() { return QIcon::fromTheme(QString::fromLatin1(IconName), BundledIcon()); }
