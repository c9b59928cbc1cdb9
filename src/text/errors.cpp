#include "errors.h"

#include "cp932.h"

#include <QFile>

MMEditError::MMEditError(const QString& message)
    : std::runtime_error(message.toStdString()), message_(message) {}

QString openErrorText(const std::string& path) {
    return QStringLiteral("ファイル %1 は開けません").arg(QFile::decodeName(path.c_str()));
}

QString createErrorText(const std::string& path) {
    return QStringLiteral("ファイル %1 を作成できません").arg(QFile::decodeName(path.c_str()));
}

QString tooLargeErrorText(const std::string& path) {
    return QStringLiteral("ファイル %1 は大きすぎて開けません")
        .arg(QFile::decodeName(path.c_str()));
}

QString writeErrorText() {
    return QStringLiteral("ストリームへの書き込みエラー");
}

QString errorBoxText(const QString& message) {
    if (message.isEmpty()) return message;
    // Only the last character matters; an unrepresentable one compares by the
    // first byte of its UTF-8 form, which is never below ".".
    QStringView last = QStringView(message).right(message.back().isLowSurrogate() ? 2 : 1);
    const cp932::EncodeResult e = cp932::encode(last);
    const unsigned char first =
        e.bytes.empty() ? 0xFF : static_cast<unsigned char>(e.bytes.front());
    return first > '.' ? message + QLatin1Char('.') : message;
}
