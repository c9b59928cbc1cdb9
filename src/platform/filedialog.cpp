#include "filedialog.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTreeView>

namespace {

// The detail columns of QFileSystemModel.
enum Column { nameColumn, sizeColumn, typeColumn, dateColumn };

constexpr qint64 kKilo = 1024;

} // namespace

QString FileColumnTexts::sizeText(qint64 bytes) {
    if (bytes < kKilo) return QStringLiteral("%1 バイト").arg(bytes);
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / kKilo;
    int unit = 0;
    while (value >= kKilo && unit < 3) {
        value /= kKilo;
        ++unit;
    }
    // One decimal below 10 ("1.5 KB"), whole numbers above ("517 KB").
    const QString number = QString::number(value, 'f', value < 10 ? 1 : 0);
    return number + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString FileColumnTexts::typeText(const QString& fileName, bool folder) {
    if (folder) return QStringLiteral("フォルダ");
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.isEmpty()) return QStringLiteral("ファイル");
    return suffix.toUpper() + QStringLiteral(" ファイル");
}

QString FileColumnTexts::dateText(const QDateTime& modified) {
    return modified.isValid() ? modified.toString(QStringLiteral("yyyy/MM/dd HH:mm")) : QString();
}

QVariant FileColumnTexts::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || index.column() == nameColumn)
        return QIdentityProxyModel::data(index, role);
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files) return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    const QFileInfo info = files->fileInfo(source);
    const bool folder = files->isDir(source);
    switch (index.column()) {
    case sizeColumn:
        return folder ? QString() : sizeText(info.size());
    case typeColumn:
        return typeText(info.fileName(), folder);
    case dateColumn:
        return dateText(info.lastModified());
    default:
        return QIdentityProxyModel::data(index, role);
    }
}

void prepareFileDialog(QFileDialog& dialog) {
    // The columns are Qt's own dialog's: a native dialog has none and is
    // left as it is.
    auto* files = dialog.findChild<QFileSystemModel*>();
    auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!files || !details) return;
    dialog.setProxyModel(new FileColumnTexts(&dialog));
    QObject::connect(files, &QFileSystemModel::directoryLoaded, details, [details] {
        QHeaderView* header = details->header();
        header->resizeSections(QHeaderView::ResizeToContents);
        // Room between the columns, so that neighbouring texts do not touch.
        const int gap = details->fontMetrics().horizontalAdvance(QStringLiteral("  "));
        for (int column = 0; column < header->count(); ++column)
            header->resizeSection(column, header->sectionSize(column) + gap);
    });
}
