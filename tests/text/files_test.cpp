#include "support/tempdir.h"
#include "text/errors.h"
#include "text/fileio.h"
#include "text/linelist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_view_literals;
using V = std::vector<std::string>;

TEST(LineList, ReadsEveryLineEndAndStopsAtZero) {
    EXPECT_EQ(linelist::parse(""sv), V{});
    EXPECT_EQ(linelist::parse("a\r\nb\rc\nd"sv), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(linelist::parse("a\r\n"sv), V{"a"});
    EXPECT_EQ(linelist::parse("a\r\n\r\n"sv), (V{"a", ""}));
    EXPECT_EQ(linelist::parse("\n\r"sv), (V{"", ""})); // LF, then lone CR
    EXPECT_EQ(linelist::parse("\r\r\n"sv), (V{"", ""}));
    EXPECT_EQ(linelist::parse(std::string_view("a\nb\0c\nd", 7)), (V{"a", "b"}));
    EXPECT_EQ(linelist::parse("\x81\r\n\x82\xA0"sv), (V{"\x81", "\x82\xA0"}));
}

TEST(LineList, WritesCrLfAfterEveryEntry) {
    EXPECT_EQ(linelist::format({}), "");
    EXPECT_EQ(linelist::format({"a", "", "\x82\xA0"}), "a\r\n\r\n\x82\xA0\r\n");
}

TEST(Files, ReadAndWriteKeepEveryByte) {
    TempDir dir;
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    fileio::writeAll(dir.file("all.bin"), all);
    EXPECT_EQ(fileio::readAll(dir.file("all.bin")), all);
    fileio::writeAll(dir.file("all.bin"), "");
    EXPECT_EQ(fileio::readAll(dir.file("all.bin")), "");
    // No temporary file is left beside it.
    fileio::writeAll(dir.file("x"), "y");
    int n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++n;
    EXPECT_EQ(n, 2);
}

TEST(Files, MissingFileGivesTheOpenText) {
    TempDir dir;
    try {
        fileio::readAll(dir.file("none.txt"));
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(),
                  QString::fromStdString("ファイル " + dir.file("none.txt") + " は開けません"));
    }
    EXPECT_THROW(fileio::readAll(dir.path()), MMEditError); // a folder
}

TEST(Files, FailedWritesLeaveTheOldFileIntact) {
    TempDir dir;
    dir.write("doc.txt", "old contents");
    ::mkdir(dir.file("folder").c_str(), 0777);
    // A folder in place of the file.
    try {
        fileio::writeAll(dir.file("folder"), "x");
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), createErrorText(dir.file("folder")));
    }
    // A path under a regular file.
    EXPECT_THROW(fileio::writeAll(dir.file("doc.txt/sub"), "x"), MMEditError);
    // A write that fails midway.
    const std::string big(3 << 20, 'z');
    fileio::testing::setWriteHook([](std::size_t done) { return done < (1 << 20); });
    try {
        fileio::writeAll(dir.file("doc.txt"), big);
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("ストリームへの書き込みエラー"));
    }
    fileio::testing::setWriteHook({});
    EXPECT_EQ(dir.read("doc.txt"), "old contents");
    int n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++n;
    EXPECT_EQ(n, 2); // doc.txt and folder: no temporary file left
}

TEST(Files, WritingKeepsPermissionsAndSymbolicLinks) {
    TempDir dir;
    dir.write("real.txt", "a");
    ::chmod(dir.file("real.txt").c_str(), 0640);
    ::symlink(dir.file("real.txt").c_str(), dir.file("link.txt").c_str());
    fileio::writeAll(dir.file("link.txt"), "b");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(dir.read("real.txt"), "b");
    ASSERT_EQ(::stat(dir.file("real.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(Files, MoveNeverReplaces) {
    TempDir dir;
    dir.write("a", "A");
    dir.write("b", "B");
    EXPECT_FALSE(fileio::moveNoReplace(dir.file("a"), dir.file("b")));
    EXPECT_EQ(dir.read("a"), "A");
    EXPECT_EQ(dir.read("b"), "B");
    EXPECT_TRUE(fileio::moveNoReplace(dir.file("a"), dir.file("c")));
    EXPECT_FALSE(fileio::exists(dir.file("a")));
    EXPECT_EQ(dir.read("c"), "A");
}
