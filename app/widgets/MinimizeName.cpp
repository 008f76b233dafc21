#include "MinimizeName.h"

#include <QStringList>

namespace {

const QString Ellipsis = QStringLiteral("...");

bool Fits(const QString& text, const QFontMetrics& metrics, int maxWidth) {
    return metrics.horizontalAdvance(text) <= maxWidth;
}

} // namespace

QString MinimizeName(const QString& path, const QFontMetrics& metrics, int maxWidth) {
    if (Fits(path, metrics, maxWidth)) return path;
    const QStringList parts = path.split(QLatin1Char('/'));
    const QString fileName = parts.last();
    // The head names where the path lives: "/home" of "/home/u/a.wav", "music"
    // of "music/x/a.wav". The folders between head and file name go first.
    const int headCount = parts.size() > 1 && parts.first().isEmpty() ? 2 : 1;
    if (parts.size() > headCount + 1) {
        const QString head = parts.mid(0, headCount).join(QLatin1Char('/'));
        const QStringList inner = parts.mid(headCount, parts.size() - headCount - 1);
        for (int dropped = 1; dropped <= inner.size(); ++dropped) {
            QStringList shortened{head, Ellipsis};
            shortened += inner.mid(dropped);
            shortened << fileName;
            const QString candidate = shortened.join(QLatin1Char('/'));
            if (Fits(candidate, metrics, maxWidth)) return candidate;
        }
    }
    const QString bare = parts.size() > 1 ? Ellipsis + QLatin1Char('/') + fileName : fileName;
    if (Fits(bare, metrics, maxWidth)) return bare;
    return metrics.elidedText(bare, Qt::ElideRight, maxWidth);
}
