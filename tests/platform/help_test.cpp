#include "platform/help.h"
#include "support/scripted.h"
#include "support/tempdir.h"
#include "text/errors.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(Help, OpensThePageAtTheKeywordsAnchor) {
    TempDir dir;
    RecordingShell shell;
    EXPECT_THROW(showHelp(shell, dir.file("help/index.html")), MMEditError); // no help page yet
    ::mkdir(dir.file("help").c_str(), 0777);
    dir.write("help/index.html", "<html></html>");
    showHelp(shell, dir.file("help/index.html"));
    showHelp(shell, dir.file("help/index.html"), QStringLiteral("顔文字パレット"));
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[0], QString::fromStdString("file://" + dir.path() + "help/index.html"));
    EXPECT_EQ(shell.opened[1],
              QString::fromStdString("file://" + dir.path() + "help/index.html#face-palette"));
}
