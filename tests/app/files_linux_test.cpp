// Files as they come on a Linux desktop: other encodings than code page 932.
#include "mainwindowtest.h"

#include "app/documentcommands.h"

#include <QApplication>
#include <QMimeData>
#include <QUrl>

#include <filesystem>
#include <gtest/gtest.h>

namespace {

// お知らせ / 〜− in each encoding, and in code page 932 with CR LF.
const std::string kUtf8 = "お知らせ\n〜−\n";
const std::string kEucJp = "\xa4\xaa\xc3\xce\xa4\xe9\xa4\xbb\n\xa1\xc1\xa1\xdd\n";
const std::string kIso2022Jp = "\x1b$B$*CN$i$;\x1b(B\n\x1b$B!A!]\x1b(B\n";
const std::string kCp932 = "\x82\xa8\x92m\x82\xe7\x82\xb9\r\n\x81`\x81|\r\n";

QString offerText(const char* encoding) {
    return QStringLiteral("このファイルは %1 のようです。Shift_JIS (CP932) に変換して開きますか？")
        .arg(QString::fromUtf8(encoding));
}

struct FilesTest : MainWindowTest {
    void SetUp() override {
        dir.write("link.dat", "");
        startWindow();
        dialogs.boxes.clear();
    }
    QString replaceText(const std::string& path, const char* encoding) {
        return QStringLiteral("ファイル %1 を Shift_JIS (CP932) で保存します。元の文字コード (%2) "
                              "には戻せません。よろしいですか？")
            .arg(QString::fromStdString(path), QString::fromUtf8(encoding));
    }
};

} // namespace

// Yes converts: the text is code page 932 with CR LF under the file's name,
// changed; the first save asks once before the old encoding goes.
TEST_F(FilesTest, AUtf8FileIsConvertedAndTheFirstSaveAsksOnce) {
    const std::string path = dir.file("vol1.txt");
    dir.write("vol1.txt", kUtf8);
    dialogs.answers = {Dialogs::Yes};
    open(path);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, offerText("UTF-8"));
    EXPECT_EQ(text(), kCp932);
    EXPECT_EQ(main->document().filePath(), path);
    EXPECT_TRUE(main->isDocumentModified());
    EXPECT_EQ(dir.read("vol1.txt"), kUtf8); // nothing written yet
    EXPECT_EQ(settings.options.history[0], path);

    // No keeps the file as it is, and the next save asks again.
    dialogs.answers = {Dialogs::No};
    trigger("Save1");
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text, replaceText(path, "UTF-8"));
    EXPECT_EQ(dir.read("vol1.txt"), kUtf8);
    EXPECT_TRUE(main->isDocumentModified());

    dialogs.answers = {Dialogs::Yes};
    trigger("Save1");
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[2].text, replaceText(path, "UTF-8"));
    EXPECT_EQ(dir.read("vol1.txt"), kCp932);
    EXPECT_FALSE(main->isDocumentModified());

    // Asked once: later saves write without a word.
    type(QStringLiteral("!"));
    trigger("Save1");
    EXPECT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dir.read("vol1.txt"), "!" + kCp932);
}

// Saving on the way out asks too: No keeps the window and the file.
TEST_F(FilesTest, SavingAConvertedFileWhenClosingAsksFirst) {
    const std::string path = dir.file("vol1.txt");
    dir.write("vol1.txt", kUtf8);
    dialogs.answers = {Dialogs::Yes};
    open(path);
    dialogs.boxes.clear();
    dialogs.answers = {Dialogs::Yes, Dialogs::No}; // save? yes; replace the encoding? no
    dialogs.fileNames = {path};
    QCloseEvent no;
    QApplication::sendEvent(main.get(), &no);
    EXPECT_FALSE(no.isAccepted());
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text, replaceText(path, "UTF-8"));
    EXPECT_EQ(dir.read("vol1.txt"), kUtf8);
    dialogs.answers = {Dialogs::Yes, Dialogs::Yes};
    dialogs.fileNames = {path};
    QCloseEvent yes;
    QApplication::sendEvent(main.get(), &yes);
    EXPECT_TRUE(yes.isAccepted());
    EXPECT_EQ(dir.read("vol1.txt"), kCp932);
}

// A converted file is watched for changes as any other.
TEST_F(FilesTest, AConvertedFileIsWatched) {
    const std::string path = dir.file("vol1.txt");
    dir.write("vol1.txt", kUtf8);
    dialogs.answers = {Dialogs::Yes};
    open(path);
    dir.write("vol1.txt", kUtf8 + "more\n");
    dialogs.answers = {Dialogs::No};
    docs().checkFileOnDisk();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text,
              QStringLiteral("ファイル %1 がほかのプログラムで変更されました。読み直しますか？")
                  .arg(QString::fromStdString(path)));
}

// No opens the bytes as they are, unchanged; so does a file whose text has
// a character code page 932 cannot hold, after the list of them.
TEST_F(FilesTest, NoOrACharacterWithoutACodeOpensTheBytesAsTheyAre) {
    dir.write("vol1.txt", kUtf8);
    dialogs.answers = {Dialogs::No};
    open(dir.file("vol1.txt"));
    EXPECT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(text(), kUtf8);
    EXPECT_FALSE(main->isDocumentModified());
    trigger("Save1");
    EXPECT_EQ(dialogs.boxes.size(), 1u); // nothing converted: nothing to ask
    EXPECT_EQ(dir.read("vol1.txt"), kUtf8);

    const std::string emoji = "お知らせ\nCafé 😀\n";
    dir.write("vol2.txt", emoji);
    dialogs.boxes.clear();
    dialogs.answers = {Dialogs::Yes};
    open(dir.file("vol2.txt"));
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text,
              QStringLiteral("Shift_JIS (CP932) にない文字が 2 文字あるため変換できません。"
                             "変換せずに開きます。\n\n"
                             "2 行 4 桁: é (U+00E9)\n2 行 6 桁: 😀 (U+1F600)\n"));
    EXPECT_EQ(text(), emoji);
    EXPECT_EQ(main->document().filePath(), dir.file("vol2.txt"));
    EXPECT_FALSE(main->isDocumentModified());
}

// Every way in goes through the same question: a hand-over or the command
// line, and a recent file.
TEST_F(FilesTest, EveryWayOfOpeningOffersTheConversion) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* encoding;
    };
    const std::vector<Case> cases = {
        {"euc.txt", kEucJp, "EUC-JP"},
        {"jis.txt", kIso2022Jp, "ISO-2022-JP"},
        {"bom.txt", "\xEF\xBB\xBF" + kUtf8, "UTF-8 (BOM 付き)"},
        {"utf16.txt", std::string("\xFF\xFE\x4A\x30\x0A\x00", 6), "UTF-16"}, // お LF
    };
    for (const Case& c : cases) {
        dir.write(c.name, c.bytes);
        dialogs.boxes.clear();
        // No save of a converted text before (the first file finds none).
        if (main->isDocumentModified())
            dialogs.answers = {Dialogs::No, Dialogs::Yes};
        else
            dialogs.answers = {Dialogs::Yes};
        docs().openPath(dir.file(c.name));
        ASSERT_FALSE(dialogs.boxes.empty()) << c.name;
        EXPECT_EQ(dialogs.boxes.back().text, offerText(c.encoding)) << c.name;
        EXPECT_TRUE(main->isDocumentModified()) << c.name;
    }
    EXPECT_EQ(text(), "\x82\xa8\r\n");

    // Newest first: utf16.txt, bom.txt, jis.txt.
    dialogs.boxes.clear();
    dialogs.answers = {Dialogs::No, Dialogs::Yes};
    docs().openRecent(2);
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text, offerText("ISO-2022-JP"));
    EXPECT_EQ(text(), kCp932);
    EXPECT_EQ(main->document().filePath(), dir.file("jis.txt"));
}

// Another program changes the open file, replaces it by a rename or removes
// it: the next activation says so, once per change.
TEST_F(FilesTest, ChangesOnDiskAreToldAndReadAgainOnTheCaretsLine) {
    const std::string path = dir.file("vol1.txt");
    const QString changed =
        QStringLiteral("ファイル %1 がほかのプログラムで変更されました。読み直しますか？")
            .arg(QString::fromStdString(path));
    dir.write("vol1.txt", "a\r\nb\r\nc\r\n");
    open(path);
    editor().setSelection(6, 6); // on the third line, "c"
    docs().checkFileOnDisk();
    EXPECT_TRUE(dialogs.boxes.empty()) << "nothing changed";

    // Changed in place: Yes reads it again, the caret stays on its line.
    dir.write("vol1.txt", "A1\r\nB1\r\nC1\r\nD1\r\n");
    dialogs.answers = {Dialogs::Yes};
    docs().checkFileOnDisk();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, changed);
    EXPECT_EQ(text(), "A1\r\nB1\r\nC1\r\nD1\r\n");
    EXPECT_EQ(editor().caretPosition(), 8u); // the start of "C1"
    EXPECT_FALSE(main->isDocumentModified());
    docs().checkFileOnDisk();
    EXPECT_EQ(dialogs.boxes.size(), 1u) << "told once";

    // Replaced by a rename, same size: No keeps the text; asked once.
    dir.write("new.tmp", "A2\r\nB2\r\nC2\r\nD2\r\n");
    std::filesystem::rename(dir.file("new.tmp"), path);
    dialogs.answers = {Dialogs::No};
    docs().checkFileOnDisk();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[1].text, changed);
    EXPECT_EQ(text(), "A1\r\nB1\r\nC1\r\nD1\r\n");
    docs().checkFileOnDisk();
    EXPECT_EQ(dialogs.boxes.size(), 2u);

    // With unsaved changes Yes asks again before they go; No keeps them.
    type(QStringLiteral("!"));
    dir.write("vol1.txt", "changed again\r\n");
    dialogs.answers = {Dialogs::Yes, Dialogs::No};
    docs().checkFileOnDisk();
    ASSERT_EQ(dialogs.boxes.size(), 4u);
    EXPECT_EQ(dialogs.boxes[3].text, QStringLiteral("編集中の文章は失われます。読み直しますか？"));
    EXPECT_NE(text().find('!'), std::string::npos);
    EXPECT_TRUE(main->isDocumentModified());

    // Saved: our own write is no change of another program.
    trigger("Save1");
    docs().checkFileOnDisk();
    EXPECT_EQ(dialogs.boxes.size(), 4u);

    // Removed: said so, and the document is modified (only it holds the text).
    std::filesystem::remove(path);
    docs().checkFileOnDisk();
    ASSERT_EQ(dialogs.boxes.size(), 5u);
    EXPECT_EQ(dialogs.boxes[4].text,
              QStringLiteral("ファイル %1 がほかのプログラムによって削除されました。")
                  .arg(QString::fromStdString(path)));
    EXPECT_TRUE(main->isDocumentModified());
    docs().checkFileOnDisk();
    EXPECT_EQ(dialogs.boxes.size(), 5u);
}

// A file dropped on the window opens it, after the save question; text goes
// in where it is dropped, with CR LF line ends.
TEST_F(FilesTest, ADroppedFileOpensAndDroppedTextGoesWhereItIsDropped) {
    // As the window's dropEvent hands it on (a drop event sent without a
    // drag in progress does not reach the window).
    auto drop = [&](QMimeData& data, QPoint at) {
        EXPECT_TRUE(main->takeDrop(&data, at));
        QApplication::processEvents();
    };
    main->show();
    dir.write("vol1.txt", "ab\r\ncd\r\n");
    dir.write("vol2.txt", "second\r\n");
    open(dir.file("vol1.txt"));

    // Text at the start of the second line.
    const QPoint secondLine =
        editor().viewport()->mapTo(main.get(), editor().positionOfChar(4) + QPoint(1, 1));
    QMimeData dropped;
    dropped.setText(QStringLiteral("お\nX"));
    drop(dropped, secondLine);
    EXPECT_EQ(text(), "ab\r\n\x82\xa8\r\nXcd\r\n");
    EXPECT_TRUE(main->isDocumentModified());

    // A file: the changed text is offered for saving first (No), then it opens.
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.file("vol2.txt")))});
    dialogs.answers = {Dialogs::No};
    drop(file, secondLine);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, QStringLiteral("編集中の文章があります。保存しますか？"));
    EXPECT_EQ(text(), "second\r\n");
    EXPECT_EQ(main->document().filePath(), dir.file("vol2.txt"));
    EXPECT_EQ(dir.read("vol1.txt"), "ab\r\ncd\r\n");
}
