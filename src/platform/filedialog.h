// Qt's own file dialog with its detail columns in Japanese: the size in
// バイト, KB or MB, the type as the folder or the extension's file ("TXT
// ファイル"), the date as 2026/12/09 12:00, whatever the system's locale; and
// each column as wide as its texts.
#pragma once

#include <QIdentityProxyModel>

class QFileDialog;

class FileColumnTexts : public QIdentityProxyModel {
  public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The texts, for one file.
    static QString sizeText(qint64 bytes);
    static QString typeText(const QString& fileName, bool folder);
    static QString dateText(const QDateTime& modified);
};

// Puts the texts above into the dialog and sizes its columns to them
// whenever a folder has been read.
void prepareFileDialog(QFileDialog& dialog);
