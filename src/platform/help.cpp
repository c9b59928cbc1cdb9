#include "help.h"

#include "dialogs.h"

#include "text/errors.h"
#include "text/fileio.h"

#include <QFile>
#include <QUrl>

QString helpAnchor(const QString& keyword) {
    if (keyword.isEmpty()) return {};
    if (keyword == QStringLiteral("基本設定と全体基本設定")) return QStringLiteral("settings");
    if (keyword == QStringLiteral("顔文字パレット")) return QStringLiteral("face-palette");
    if (keyword == QStringLiteral("パターンパレット")) return QStringLiteral("frame-palette");
    return keyword;
}

void showHelp(Shell& shell, const std::string& page, const QString& keyword) {
    if (!fileio::isRegularFile(page)) throw MMEditError(openErrorText(page));
    QUrl url = QUrl::fromLocalFile(QFile::decodeName(page.c_str()));
    const QString anchor = helpAnchor(keyword);
    if (!anchor.isEmpty()) url.setFragment(anchor);
    shell.open(url.toString(QUrl::FullyEncoded));
}
