// The palettes and the header and footer window through the main window.
#include "mainwindowtest.h"

#include "app/palettecommands.h"

#include "palettes/facepalette.h"
#include "palettes/framepalette.h"
#include "palettes/headerfooterwindow.h"
#include "support/sjis.h"
#include "text/cp932.h"
#include "text/errors.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

struct PaletteCommandsTest : MainWindowTest {
    PaletteCommandsTest() {
        locks.num = true;
        dir.write("link.dat", "");
        dir.write("waku.edt", sj("-\r\n○●\r\n♪\r\n"));
        dir.write("face.edt", sj("(^_^)\r\n(´・ω・`)\r\n"));
    }
    // Starts the program as its entry does: the main window, then the others.
    void start() {
        startWindow();
        main->palettes().readLists();
    }
    PaletteCommands& palettes() { return main->palettes(); }
};

} // namespace

TEST_F(PaletteCommandsTest, EveryItemShowsItsWindowAndTheShortcutsAreTheWindowMenus) {
    start();
    EXPECT_TRUE(dialogs.boxes.empty());
    struct Case {
        const char* item;
        const char* window;
    };
    const Case cases[] = {{"Palette1", "TPalette"},
                          {"face1", "Tface"},
                          {"N27", "TForm11"},
                          {"SpeedButton50", "TPalette"},
                          {"SpeedButton51", "Tface"},
                          {"N3", "TPalette"},
                          {"N7", "Tface"}};
    for (const Case& c : cases) {
        palettes().framePalette().hide();
        palettes().facePalette().hide();
        palettes().headerFooterWindow().hide();
        QAction* a = item(c.item);
        ASSERT_TRUE(a) << c.item;
        EXPECT_TRUE(a->isEnabled()) << c.item;
        a->trigger();
        QStringList shown;
        for (QWidget* w :
             std::initializer_list<QWidget*>{&palettes().framePalette(), &palettes().facePalette(),
                                             &palettes().headerFooterWindow()})
            if (w->isVisible()) shown << w->objectName();
        EXPECT_EQ(shown, QStringList{QString::fromLatin1(c.window)}) << c.item;
    }
    EXPECT_EQ(item("Palette1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
    EXPECT_EQ(item("face1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_K));
    EXPECT_EQ(item("N27")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
    palettes().showWindow(7); // no window of that number
    // The palettes belong to the main window (they stay above it); the
    // header and footer window is an ordinary window of its own.
    EXPECT_EQ(palettes().framePalette().parentWidget(), main.get());
    EXPECT_EQ(palettes().facePalette().parentWidget(), main.get());
    EXPECT_EQ(palettes().framePalette().windowType(), Qt::Tool);
    EXPECT_EQ(palettes().facePalette().windowType(), Qt::Tool);
    EXPECT_EQ(palettes().headerFooterWindow().parentWidget(), nullptr);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(PaletteCommandsTest, MissingListsAreToldOnceAtStartUpAndTheBuiltInListsServe) {
    std::filesystem::remove(dir.file("waku.edt"));
    std::filesystem::remove(dir.file("face.edt"));
    start();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[0].text, openErrorText(dir.file("waku.edt")) + ".");
    EXPECT_EQ(dialogs.boxes[1].text, openErrorText(dir.file("face.edt")) + ".");
    EXPECT_FALSE(palettes().windowsCreated()); // made when first shown
    palettes().readLists();
    item("Palette1")->trigger();
    item("face1")->trigger();
    EXPECT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(palettes().framePalette().list().size(), 9u);
    EXPECT_EQ(palettes().facePalette().list().size(), 2u);
}

// The windows are made when first shown, with the lists as start-up read
// them: a list file changed in between is not read again.
TEST_F(PaletteCommandsTest, TheWindowsComeLaterWithTheListsReadAtStart) {
    start();
    EXPECT_TRUE(palettes().listsRead());
    EXPECT_FALSE(palettes().windowsCreated());
    dir.write("waku.edt", sj("-\r\n"));
    dir.write("face.edt", sj("(;_;)\r\n"));
    item("Palette1")->trigger();
    EXPECT_TRUE(palettes().windowsCreated());
    EXPECT_TRUE(palettes().framePalette().isVisible());
    EXPECT_FALSE(palettes().facePalette().isVisible());
    const std::vector<std::string> frames = {"-", sj("○●"), sj("♪")};
    const std::vector<std::string> faces = {"(^_^)", sj("(´・ω・`)")};
    EXPECT_EQ(palettes().framePalette().list().entries(), frames);
    EXPECT_EQ(palettes().facePalette().list().entries(), faces);
    EXPECT_EQ(palettes().framePalette().listBox()->count(), 3);
    EXPECT_EQ(palettes().facePalette().listBox()->item(1)->text(), u("(´・ω・`)"));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(PaletteCommandsTest, ACommandBeforeTheWindowsExistMakesThem) {
    main = std::make_unique<MainWindow>(settings, dialogs, shell, locks, dir.path());
    main->startUp();
    EXPECT_FALSE(palettes().windowsCreated());
    item("face1")->trigger();
    EXPECT_TRUE(palettes().facePalette().isVisible());
    EXPECT_EQ(palettes().facePalette().list().size(), 2u); // read from face.edt
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(PaletteCommandsTest, AFrameLineIsOneChangeOfTheDocumentAtTheDocumentsLineWidth) {
    start();
    EditingArea* editor = main->editor();
    editor->setText("ab");
    editor->setSelection(1, 1);
    settings.document.lineWidth = 70; // the document's own width
    FramePalette& frame = palettes().framePalette();
    frame.selectRow(1);
    frame.chooseButton()->click();
    const std::string line = [] {
        std::string l;
        for (int k = 0; k < 17; ++k)
            l += sj("○●");
        return l + "\r\n";
    }();
    EXPECT_EQ(main->document().text(), "a" + line + "b");
    EXPECT_TRUE(main->isDocumentModified());
    editor->undo();
    EXPECT_EQ(main->document().text(), "ab");
    FacePalette& face = palettes().facePalette();
    face.selectRow(1);
    face.choose();
    EXPECT_EQ(main->document().text(), "a" + sj("(´・ω・`)") + "b");
}

TEST_F(PaletteCommandsTest, AnAdditionSurvivesARestart) {
    start();
    FacePalette& face = palettes().facePalette();
    face.showAddDialog();
    face.addDialog()->field()->setText(u("(^^)v"));
    face.addDialog()->okButton()->click();
    EXPECT_FALSE(face.addDialog()->isVisible());
    start();
    EXPECT_EQ(palettes().facePalette().list().entries(),
              (std::vector<std::string>{"(^_^)", sj("(´・ω・`)"), "(^^)v"}));
    EXPECT_EQ(dir.read("face.edt"), sj("(^_^)\r\n(´・ω・`)\r\n"));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(PaletteCommandsTest, HeaderAndFooterGoIntoTheDocumentAsOneStepEach) {
    start();
    HeaderFooterWindow& window = palettes().headerFooterWindow();
    window.box(HeaderFooterWindow::Part::header)->setText(sj("【週刊もるもる】"));
    window.box(HeaderFooterWindow::Part::footer)->setText(sj("発行：もるもる"));
    main->editor()->setText(sj("本文"));
    window.pasteButton(HeaderFooterWindow::Part::header)->click();
    window.pasteButton(HeaderFooterWindow::Part::footer)->click();
    EXPECT_EQ(main->document().text(),
              sj("【週刊もるもる】") + "\r\n" + sj("本文") + "\r\n" + sj("発行：もるもる"));
    main->editor()->undo();
    main->editor()->undo();
    EXPECT_EQ(main->document().text(), sj("本文"));
}
