#include "platform/filedialog.h"
#include "support/screenshots.h"
#include "support/tempdir.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTreeView>
#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(FileColumnTexts, SizesTypesAndDatesInJapanese) {
    const std::pair<qint64, const char*> sizes[] = {
        {0, "0 バイト"},  {517, "517 バイト"},  {1023, "1023 バイト"},   {1024, "1.0 KB"},
        {1536, "1.5 KB"}, {60 * 1024, "60 KB"}, {1024 * 1024, "1.0 MB"}, {5LL << 30, "5.0 GB"},
    };
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(FileColumnTexts::sizeText(bytes), QString::fromUtf8(text)) << bytes;
    const struct {
        const char* name;
        bool folder;
        const char* text;
    } types[] = {{"vol1.txt", false, "TXT ファイル"},
                 {"page.Html", false, "HTML ファイル"},
                 {"README", false, "ファイル"},
                 {"号.d", true, "フォルダ"}};
    for (const auto& t : types)
        EXPECT_EQ(FileColumnTexts::typeText(QString::fromUtf8(t.name), t.folder),
                  QString::fromUtf8(t.text))
            << t.name;
    EXPECT_EQ(FileColumnTexts::dateText(QDateTime(QDate(2026, 12, 9), QTime(8, 5))),
              QStringLiteral("2026/12/09 08:05"));
}

TEST(FileColumnTexts, TheDialogShowsThemInColumnsWideEnough) {
    TempDir dir;
    dir.write("vol1.txt", std::string(517, 'x'));
    ::mkdir(dir.file("back numbers").c_str(), 0777);
    QFileDialog d(nullptr, QStringLiteral("開く"), QString::fromStdString(dir.path()),
                  QStringLiteral("*.txt"));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setViewMode(QFileDialog::Detail);
    auto* files = d.findChild<QFileSystemModel*>();
    ASSERT_NE(files, nullptr);
    QSignalSpy loaded(files, &QFileSystemModel::directoryLoaded);
    prepareFileDialog(d);
    d.resize(700, 400);
    d.show();
    ASSERT_TRUE(loaded.count() > 0 || loaded.wait(5000));
    QCoreApplication::processEvents();
    auto* tree = d.findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(tree, nullptr);
    const QModelIndex root = tree->rootIndex();
    ASSERT_EQ(tree->model()->rowCount(root), 2);
    QStringList shown;
    for (int row = 0; row < 2; ++row)
        for (int column = 1; column < 3; ++column)
            shown << tree->model()->index(row, column, root).data().toString();
    shown.sort();
    EXPECT_EQ(shown, (QStringList{QString(), QStringLiteral("517 バイト"),
                                  QStringLiteral("TXT ファイル"), QStringLiteral("フォルダ")}));
    // Every text fits its column.
    const QFontMetrics metrics(tree->font());
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 4; ++column) {
            const QString text = tree->model()->index(row, column, root).data().toString();
            EXPECT_GT(tree->header()->sectionSize(column), metrics.horizontalAdvance(text))
                << text.toStdString();
        }
    keepScreenshot(d.grab().toImage(), "file-dialog.png");
}
