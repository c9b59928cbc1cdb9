// Pictures for a person to look at: saved when MMEDIT_SCREENSHOTS names a
// folder, nothing otherwise.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

inline void keepScreenshot(const QImage& img, const char* name) {
    const QByteArray folder = qgetenv("MMEDIT_SCREENSHOTS");
    if (!folder.isEmpty()) img.save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + name);
}
