#pragma once
// Shortens a file path to a pixel width for display: inner folder names give
// way to an ellipsis first, then the leading folder, and only a file name that
// cannot fit on its own is cut at its end.
#include <QFontMetrics>
#include <QString>

QString MinimizeName(const QString& path, const QFontMetrics& metrics, int maxWidth);
