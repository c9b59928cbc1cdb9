#include "mainwindowtest.h"

#include "app/documentcommands.h"
#include "app/previousfilewindow.h"

#include "support/sjis.h"
#include "text/cp932.h"
#include "text/fileio.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include <sys/stat.h>

namespace {

struct DocumentTest : MainWindowTest {
    void start(const std::string& ini = {}) {
        dir.write("link.dat", "");
        dir.write("MMEdit.ini", ini.empty() ? defaultSettingsBytes() : ini);
        startWindow();
        dialogs.boxes.clear();
    }
};

} // namespace

TEST_F(DocumentTest, BackupNamesReplaceTheLastExtensionOnly) {
    EXPECT_EQ(DocumentCommands::backupName("/a/notes"), "/a/notes.bak");
    EXPECT_EQ(DocumentCommands::backupName("/a/a.b.txt"), "/a/a.b.bak");
    EXPECT_EQ(DocumentCommands::backupName("/a.d/notes"), "/a.d/notes.bak");
    EXPECT_EQ(DocumentCommands::backupName("/a/.profile"), "/a/.bak");
}

TEST_F(DocumentTest, EveryDocumentCommandIsEnabled) {
    start();
    for (const char* name :
         {"New2", "NormalSet1", "SpeedButton28", "SpeedButton29", "New3", "Open1", "SpeedButton30",
          "N15", "N17", "N01", "Save1", "SpeedButton31", "N12", "SaveAs1", "SaveAs2", "HTML1"})
        EXPECT_TRUE(main->item(QString::fromLatin1(name))->isEnabled()) << name;
}

TEST_F(DocumentTest, OpenedFileIsUnchangedNamedRecordedAndKeepsEveryByte) {
    start();
    // Invalid bytes, NUL, lone CR and LF, NEC and IBM duplicates.
    const std::string bytes = sj("第1号") + std::string("\x82\r\n\x80\xA0\xFD\xFF", 8) +
                              std::string(1, '\0') + "a\rb\nc" + "\x87\x54\xFA\x4A";
    dir.write("vol1.txt", bytes);
    open(dir.file("vol1.txt"));
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(text(), bytes);
    EXPECT_EQ(main->document().filePath(), dir.file("vol1.txt"));
    EXPECT_FALSE(main->isDocumentModified());
    EXPECT_FALSE(main->windowTitle().contains(QStringLiteral("(変更)")));
    EXPECT_EQ(settings.options.history[0], dir.file("vol1.txt"));
    EXPECT_FALSE(closeAsks());
    // Saved unchanged: byte for byte.
    trigger("Save1");
    EXPECT_EQ(dir.read("vol1.txt"), bytes);
}

// The file read while the windows were made opens as if read then; one that
// changed since, or another file, is read as the opening finds it, and a
// file that cannot be read still gets its message.
TEST_F(DocumentTest, AFileReadAheadOpensOnlyAsItIsNow) {
    start();
    const std::string bytes = sj("第2号") + std::string("\x82\r\n\xFD", 4);
    dir.write("vol2.txt", bytes);
    docs().setReadAhead(std::make_unique<Document::ReadAhead>(dir.file("vol2.txt")));
    EXPECT_GE(docs().readAheadBytes(), bytes.size());
    open(dir.file("vol2.txt"));
    EXPECT_EQ(docs().readAheadBytes(), 0u);
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(text(), bytes);
    EXPECT_EQ(main->document().characterCount(), 6u); // 第, 2, 号, 0x82, CR LF, 0xFD
    EXPECT_FALSE(main->isDocumentModified());

    docs().setReadAhead(std::make_unique<Document::ReadAhead>(dir.file("vol2.txt")));
    EXPECT_GE(docs().readAheadBytes(), bytes.size());
    dir.write("vol2.txt", "issue two");
    open(dir.file("vol2.txt"));
    EXPECT_EQ(text(), "issue two");
    EXPECT_EQ(main->document().characterCount(), 9u);

    docs().setReadAhead(std::make_unique<Document::ReadAhead>(dir.file("vol2.txt")));
    dir.write("vol3.txt", "issue three");
    open(dir.file("vol3.txt"));
    EXPECT_EQ(text(), "issue three");
    EXPECT_EQ(docs().readAheadBytes(), 0u); // dropped all the same

    docs().setReadAhead(std::make_unique<Document::ReadAhead>(dir.file("missing.txt")));
    open(dir.file("missing.txt"));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_TRUE(dialogs.boxes.back().text.contains(QStringLiteral("missing.txt")));
    EXPECT_EQ(text(), "issue three");
}

TEST_F(DocumentTest, AFileThatCannotBeReadLeavesTheDocumentAndItsNameAsTheyWere) {
    start();
    dir.write("vol1.txt", "issue one");
    open(dir.file("vol1.txt"));
    type(QStringLiteral("!"));
    std::filesystem::create_directory(dir.file("folder"));
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    for (const char* bad : {"missing.txt", "folder", "pipe"}) {
        dialogs.answers.push_back(Dialogs::No); // do not save first
        open(dir.file(bad));
        ASSERT_FALSE(dialogs.boxes.empty()) << bad;
        EXPECT_TRUE(dialogs.boxes.back().text.contains(QString::fromStdString(bad)));
        EXPECT_EQ(main->document().filePath(), dir.file("vol1.txt")) << bad;
        EXPECT_EQ(text(), "!issue one") << bad;
        EXPECT_EQ(settings.options.history[0], dir.file("vol1.txt")) << bad;
    }
    // Save still writes the file that was open, not the one that failed.
    trigger("Save1");
    EXPECT_EQ(dir.read("vol1.txt"), "!issue one");
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.txt")));
}

TEST_F(DocumentTest, ModifiedTextIsOfferedForSavingBeforeNewOpenAndRecent) {
    start();
    dir.write("other.txt", "other");
    type(QStringLiteral("draft"));
    // Cancel: nothing happens.
    dialogs.answers.push_back(Dialogs::Cancel);
    trigger("New2");
    EXPECT_EQ(dialogs.boxes.back().text, QStringLiteral("編集中の文章があります。保存しますか？"));
    EXPECT_EQ(text(), "draft");
    // Yes on an unnamed text with the save dialog cancelled: the command stops.
    dialogs.answers.push_back(Dialogs::Yes);
    trigger("Open1"); // the save dialog gets no name
    EXPECT_EQ(text(), "draft");
    EXPECT_TRUE(dialogs.fileNames.empty());
    EXPECT_EQ(dir.read("other.txt"), "other");
    // Yes with a name: saved, then opened.
    dialogs.answers.push_back(Dialogs::Yes);
    dialogs.fileNames.push_back(dir.file("draft.txt"));
    open(dir.file("other.txt"));
    EXPECT_EQ(dir.read("draft.txt"), "draft");
    EXPECT_EQ(text(), "other");
    // No: the edit is dropped.
    type(QStringLiteral("x"));
    dialogs.answers.push_back(Dialogs::No);
    main->item(QStringLiteral("N17"))->trigger(); // slot 1: other.txt
    EXPECT_EQ(text(), "other");
    EXPECT_FALSE(main->isDocumentModified());
    // Unchanged text goes without a question.
    const std::size_t boxes = dialogs.boxes.size();
    trigger("New2");
    EXPECT_EQ(dialogs.boxes.size(), boxes);
    EXPECT_EQ(text(), "");
    EXPECT_EQ(main->document().filePath(), "");
}

TEST_F(DocumentTest, SaveKeepsTheFirstBackupAndAFailedWriteLosesNothing) {
    start();
    settings.options.makeBackup = 1;
    dir.write("vol1.txt", "week 1");
    open(dir.file("vol1.txt"));
    type(QStringLiteral("a"));
    trigger("Save1");
    EXPECT_EQ(dir.read("vol1.bak"), "week 1");
    EXPECT_EQ(dir.read("vol1.txt"), "aweek 1");
    type(QStringLiteral("b"));
    trigger("Save1");
    EXPECT_EQ(dir.read("vol1.bak"), "week 1"); // never replaced
    EXPECT_EQ(dir.read("vol1.txt"), "abweek 1");

    // A write that fails: reported, the file and the text as they were, the
    // document still changed.
    type(QStringLiteral("c"));
    fileio::testing::setWriteHook([](std::size_t) { return false; });
    trigger("Save1");
    fileio::testing::setWriteHook({});
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dir.read("vol1.txt"), "abweek 1");
    EXPECT_EQ(text(), "abcweek 1");
    EXPECT_TRUE(main->isDocumentModified());

    // A backup name held by a folder: no backup, the save goes on.
    dir.write("notes", "n");
    std::filesystem::create_directory(dir.file("notes.bak"));
    dialogs.answers.push_back(Dialogs::No);
    open(dir.file("notes"));
    type(QStringLiteral("m"));
    dialogs.boxes.clear();
    trigger("Save1");
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(dir.read("notes"), "mn");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("notes.bak")));
}

TEST_F(DocumentTest, BackupOfALinkedDocumentKeepsTheOldBytes) {
    start();
    settings.options.makeBackup = 1;
    dir.write("real.txt", "old");
    std::filesystem::create_symlink(dir.file("real.txt"), dir.file("link.txt"));
    open(dir.file("link.txt"));
    type(QStringLiteral("new "));
    trigger("Save1");
    EXPECT_EQ(dir.read("link.bak"), "old");
    EXPECT_EQ(dir.read("real.txt"), "new old");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.txt")));
}

TEST_F(DocumentTest, SaveOfAnUnnamedTextAndSaveAs) {
    start();
    type(QStringLiteral("x"));
    trigger("Save1"); // dialog cancelled
    EXPECT_TRUE(main->isDocumentModified());
    dialogs.fileNames.push_back(dir.file("one.txt"));
    trigger("Save1");
    EXPECT_EQ(dir.read("one.txt"), "x");
    EXPECT_FALSE(main->isDocumentModified());
    EXPECT_EQ(settings.options.history[0], ""); // an unnamed save records nothing

    // Save As: no backup, recorded, the text counts as saved.
    settings.options.makeBackup = 1;
    type(QStringLiteral("y"));
    dialogs.fileNames.push_back(dir.file("two.txt"));
    trigger("SaveAs1");
    EXPECT_EQ(dir.read("two.txt"), "xy");
    EXPECT_FALSE(std::filesystem::exists(dir.file("one.bak")));
    EXPECT_EQ(main->document().filePath(), dir.file("two.txt"));
    EXPECT_EQ(settings.options.history[0], dir.file("two.txt"));
    EXPECT_FALSE(main->isDocumentModified());
    EXPECT_FALSE(closeAsks());
}

TEST_F(DocumentTest, HtmlExportIsAnExportOfTheLaidOutLines) {
    start();
    main->editor()->editArea().setLineLength(10);
    dir.write("vol1.txt", "a<b & c> d e f g\r\n" + sj("終わり"));
    open(dir.file("vol1.txt"));
    type(QStringLiteral("z"));
    dialogs.fileNames.push_back(dir.file("vol1.html"));
    trigger("HTML1");
    const std::string page = dir.read("vol1.html");
    EXPECT_NE(page.find("charset=Shift_JIS"), std::string::npos);
    EXPECT_NE(page.find("<body><pre>\r\nza&lt;b &amp; c&gt; \r\nd e f g\r\n" + sj("終わり") +
                        "\r\n</Pre></body>\r\n</html>\r\n"),
              std::string::npos)
        << page;
    // The document keeps its file, its state and the recent files.
    EXPECT_EQ(main->document().filePath(), dir.file("vol1.txt"));
    EXPECT_TRUE(main->isDocumentModified());
    EXPECT_EQ(settings.options.history[0], dir.file("vol1.txt"));
    trigger("Save1");
    EXPECT_EQ(dir.read("vol1.txt"), "za<b & c> d e f g\r\n" + sj("終わり"));
    EXPECT_EQ(dir.read("vol1.html"), page);
}

TEST_F(DocumentTest, RecentFileOpensWithoutReorderingAndSaveWritesIt) {
    start();
    dir.write("a.txt", "A");
    dir.write("b.txt", "B");
    open(dir.file("a.txt"));
    open(dir.file("b.txt"));
    trigger("N21"); // slot 2: a.txt
    EXPECT_EQ(text(), "A");
    EXPECT_EQ(settings.options.history[0], dir.file("b.txt"));
    EXPECT_FALSE(main->isDocumentModified());
    type(QStringLiteral("+"));
    trigger("Save1");
    EXPECT_EQ(dir.read("a.txt"), "+A");
    EXPECT_EQ(dir.read("b.txt"), "B");
    // An empty slot does nothing.
    trigger("N91");
    EXPECT_EQ(text(), "+A");
}

TEST_F(DocumentTest, LoadingLiftsTheLimitAndNewBringsTheStandingValuesBack) {
    start();
    settings.document.maxChars = 20;
    main->applyEditorSettings();
    dir.write("big.txt", std::string(100, 'x'));
    open(dir.file("big.txt"));
    EXPECT_EQ(text().size(), 100u);
    type(QStringLiteral("y"));
    EXPECT_EQ(text().size(), 101u);
    dialogs.answers.push_back(Dialogs::No);
    trigger("New2");
    EXPECT_EQ(main->editor()->maxLength(), settings.global.maxChars);
}

TEST_F(DocumentTest, PreviousFileWaitsForTheWindowsActivation) {
    start();
    settings.options.openPreviousInWindow = 1;
    dir.write("a.txt", "A");
    dir.write("b.txt", "B");
    open(dir.file("a.txt"));
    EXPECT_FALSE(docs().previousFileWindow().isVisible()); // nothing before it
    open(dir.file("b.txt"));
    EXPECT_EQ(docs().previousFile(), dir.file("a.txt"));
    EXPECT_TRUE(docs().previousFilePending());
    EXPECT_TRUE(docs().previousFileWindow().isVisible());
    Q_EMIT docs().previousFileWindow().activated();
    EXPECT_FALSE(docs().previousFilePending());
    trigger("New2");
    EXPECT_TRUE(docs().previousFilePending());
    EXPECT_EQ(docs().previousFile(), dir.file("b.txt"));
}
