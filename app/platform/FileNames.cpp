#include "FileNames.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QUrl>
#include <dirent.h>
#include <memory>

#include "FileNameEncoding.h"

namespace {

constexpr char16_t Replacement = 0xFFFD;

// The entry of `folder` (bytes) that Qt shows as `shown`; empty when none or
// more than one does.
std::string MatchingEntry(const std::string& folder, const QString& shown) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
    if (!dir) return {};
    std::string found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (QFile::decodeName(entry->d_name) != shown) continue;
        found = entry->d_name;
        ++matches;
    }
    return matches == 1 ? found : std::string();
}

} // namespace

std::wstring WideName(const QString& name) {
    std::wstring out;
    out.reserve(static_cast<size_t>(name.size()));
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i].unicode();
        // A pair stands for one character; a lone surrogate stays what it is.
        if (QChar::isHighSurrogate(unit) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            out += static_cast<wchar_t>(QChar::surrogateToUcs4(unit, name[i + 1].unicode()));
            ++i;
        } else {
            out += static_cast<wchar_t>(unit);
        }
    }
    return out;
}

QString NameFromWide(const std::wstring& name) {
    QString out;
    out.reserve(static_cast<qsizetype>(name.size()));
    for (wchar_t w : name) {
        const auto c = static_cast<char32_t>(w);
        if (QChar::requiresSurrogates(c)) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(static_cast<char16_t>(c > 0xFFFF ? Replacement : c));
        }
    }
    return out;
}

QString NameFromBytes(const std::string& bytes) { return NameFromWide(Utf8ToWide(bytes)); }

std::string NameBytes(const QString& name) { return WideToUtf8(WideName(name)); }

QString DisplayName(const QString& name) { return QString::fromStdString(ShownName(NameBytes(name))); }

QString DisplayText(const std::string& bytes) { return QString::fromStdString(ShownName(bytes)); }

QString LocalFileOfUrl(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    // A host other than this one makes a network path, which Qt knows how to write.
    if (!url.host().isEmpty()) return url.toLocalFile();
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return NameFromBytes(path.toStdString());
}

QUrl UrlOfLocalFile(const std::string& bytes) {
    if (!HasEscapedBytes(Utf8ToWide(bytes)) || bytes.empty() || bytes[0] != '/')
        return QUrl::fromLocalFile(QString::fromStdString(bytes));
    return QUrl::fromEncoded("file://" + QByteArray::fromStdString(bytes).toPercentEncoding("/"));
}

QString RecoverDialogName(const QString& name) {
    if (!name.contains(QChar(Replacement))) return name;
    const QStringList parts = name.split(QLatin1Char('/'));
    std::string path;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0) path += '/';
        if (!parts[i].contains(QChar(Replacement))) {
            path += NameBytes(parts[i]);
            continue;
        }
        const std::string entry = MatchingEntry(path, parts[i]);
        if (entry.empty()) return name;
        path += entry;
    }
    return NameFromBytes(path);
}
