#include "settings/filelocations.h"
#include "settings/profile.h"
#include "settings/settings.h"
#include "support/child.h"
#include "support/guards.h"
#include "support/tempdir.h"
#include "text/errors.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void makeFolders(const std::string& path) {
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path))) << path;
}

// Sets an environment variable for the rest of the scope.
class EnvGuard {
  public:
    EnvGuard(const char* name, const std::string& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~EnvGuard() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// An installed program: its folder may not be written, the user's folder and
// two installed data folders are temporary folders of the test.
struct Installed {
    TempDir dir;
    FileLocations::Surroundings s;
    Installed() {
        s.programFolder = dir.file("usr/bin/");
        s.programFolderKeepsFiles = false;
        s.userFolder = dir.file("home/.config/MMEdit/");
        s.dataFolders = {dir.file("usr/share/mmedit/"), dir.file("home/.local/share/mmedit/")};
        makeFolders(s.programFolder);
        for (const std::string& d : s.dataFolders)
            makeFolders(d);
    }
};

} // namespace

TEST(FileLocations, AWritableProgramFolderKeepsEveryFileAsBefore) {
    TempDir dir;
    TempDir config;
    EnvGuard home("XDG_CONFIG_HOME", config.path());
    dir.write("link.dat", "a\r\nb\r\n");
    const FileLocations f(dir.path());
    EXPECT_TRUE(f.inProgramFolder());
    EXPECT_EQ(f.programFolder(), dir.path());
    EXPECT_EQ(f.writableFile("MMEdit.ini"), dir.file("MMEdit.ini"));
    EXPECT_EQ(f.writableFile("waku.dat"), dir.file("waku.dat"));
    EXPECT_EQ(f.dataFile("link.dat"), dir.file("link.dat"));
    // A missing data file is looked for nowhere else, and no user folder
    // appears.
    EXPECT_EQ(f.dataFile("help/index.html"), dir.file("help/index.html"));
    EXPECT_FALSE(QDir(QString::fromStdString(config.file("MMEdit"))).exists());

    // Settings made for the program's folder use the same places.
    SettingsState settings;
    settings.setProgramFolder(dir.path().substr(0, dir.path().size() - 1));
    EXPECT_EQ(settings.programFolder, dir.path());
    EXPECT_EQ(settings.settingsPath, dir.file("MMEdit.ini"));
}

TEST(FileLocations, AnInstalledProgramWritesIntoTheUsersFolderAndReadsItsCopiesFirst) {
    Installed in;
    const FileLocations f(in.s);
    EXPECT_FALSE(f.inProgramFolder());
    EXPECT_EQ(f.writableFolder(), in.s.userFolder);

    // The user's folder does not exist yet: asking for a file to write makes
    // it, also a folder inside it.
    EXPECT_EQ(f.writableFile("MMEdit.ini"), in.s.userFolder + "MMEdit.ini");
    struct stat st;
    EXPECT_EQ(::stat(in.s.userFolder.c_str(), &st), 0);
    EXPECT_EQ(f.writableFile("logs/start.log"), in.s.userFolder + "logs/start.log");
    EXPECT_EQ(::stat((in.s.userFolder + "logs").c_str(), &st), 0);
    EXPECT_NE(::stat(in.dir.file("usr/bin/MMEdit.ini").c_str(), &st), 0);

    // Data: the first installed folder that holds the file, the user's own
    // copy before any of them.
    in.dir.write("usr/share/mmedit/link.dat", "installed");
    in.dir.write("home/.local/share/mmedit/link.dat", "second");
    in.dir.write("home/.local/share/mmedit/face.edt", "second only");
    EXPECT_EQ(f.dataFile("link.dat"), in.dir.file("usr/share/mmedit/link.dat"));
    EXPECT_EQ(f.dataFile("face.edt"), in.dir.file("home/.local/share/mmedit/face.edt"));
    in.dir.write("home/.config/MMEdit/link.dat", "mine");
    EXPECT_EQ(f.dataFile("link.dat"), in.dir.file("home/.config/MMEdit/link.dat"));
    makeFolders(in.dir.file("usr/share/mmedit/help"));
    in.dir.write("usr/share/mmedit/help/index.html", "<html></html>");
    EXPECT_EQ(f.dataFile("help/index.html"), in.dir.file("usr/share/mmedit/help/index.html"));

    // Missing everywhere: the installed place, so the open error names it.
    EXPECT_EQ(f.dataFile("waku.edt"), in.dir.file("usr/share/mmedit/waku.edt"));
}

TEST(FileLocations, WithoutAUserFolderTheProgramFolderIsUsed) {
    Installed in;
    in.s.userFolder.clear();
    const FileLocations f(in.s);
    EXPECT_TRUE(f.inProgramFolder());
    EXPECT_EQ(f.writableFile("MMEdit.ini"), in.s.programFolder + "MMEdit.ini");
}

TEST(FileLocations, AUserFolderThatCannotBeMadeLeavesTheWriteToFail) {
    Installed in;
    // A file stands where the user's folder should be.
    makeFolders(in.dir.file("home/.config"));
    in.dir.write("home/.config/MMEdit", "not a folder");
    const FileLocations f(in.s);
    const std::string path = f.writableFile("MMEdit.ini");
    EXPECT_EQ(path, in.s.userFolder + "MMEdit.ini");
    EXPECT_THROW(writeDefaultSettings(path), MMEditError);
    EXPECT_EQ(in.dir.read("home/.config/MMEdit"), "not a folder");
}

TEST(FileLocations, LooksAroundTheProgramsFolder) {
    TempDir dir;
    EnvGuard config("XDG_CONFIG_HOME", dir.file("config"));
    EnvGuard dataHome("XDG_DATA_HOME", dir.file("data-home"));
    EnvGuard dataDirs("XDG_DATA_DIRS", dir.file("local-share") + ":" + dir.file("share"));

    // A build folder: writable, nothing installed beside it.
    makeFolders(dir.file("build/bin"));
    FileLocations::Surroundings s = FileLocations::lookAround(dir.file("build/bin"));
    EXPECT_EQ(s.programFolder, dir.file("build/bin/"));
    EXPECT_TRUE(s.programFolderKeepsFiles);

    // A share/mmedit/ beside a folder not named bin is no installation.
    makeFolders(dir.file("portable/share/mmedit"));
    s = FileLocations::lookAround(dir.file("portable/"));
    EXPECT_TRUE(s.programFolderKeepsFiles);

    // An unpacked package: bin/ beside share/mmedit/ is installed, even
    // when the folder may be written (root may write anywhere).
    makeFolders(dir.file("root/usr/bin"));
    makeFolders(dir.file("root/usr/share/mmedit"));
    s = FileLocations::lookAround(dir.file("root/usr/bin/"));
    EXPECT_FALSE(s.programFolderKeepsFiles);
    EXPECT_EQ(s.userFolder, dir.file("config/MMEdit/"));
    const std::vector<std::string> expected = {
        dir.file("root/usr/share/mmedit/"), dir.file("root/usr/bin/"),
        dir.file("data-home/mmedit/"), dir.file("local-share/mmedit/"), dir.file("share/mmedit/")};
    EXPECT_EQ(s.dataFolders, expected);

    // Settings of that program: the default file goes to the user's folder.
    SettingsState settings;
    settings.setProgramFolder(dir.file("root/usr/bin/"));
    EXPECT_EQ(settings.settingsPath, dir.file("config/MMEdit/MMEdit.ini"));
    writeDefaultSettings(settings.settingsPath);
    EXPECT_EQ(ProfileFile::load(settings.settingsPath).readInt("String", "MaxLength", 0),
              kDefaultLineWidth);
    struct stat st;
    EXPECT_NE(::stat(dir.file("root/usr/bin/MMEdit.ini").c_str(), &st), 0);
}

TEST(FileLocations, AReadOnlyProgramFolderIsNotWrittenInto) {
    TempDir dir;
    EnvGuard config("XDG_CONFIG_HOME", dir.file("config"));
    makeFolders(dir.file("opt/mmedit"));
    dir.write("opt/mmedit/link.dat", "beside the program");
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(dir.file("opt").c_str(), 0755);
    ::chmod(dir.file("opt/mmedit").c_str(), 0555);
    HookGuard restore([&] { ::chmod(dir.file("opt/mmedit").c_str(), 0755); });
    // Root may write into any folder: the look is taken as another user.
    const std::string seen = runInChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return std::string("no other user");
        const FileLocations f(dir.file("opt/mmedit/"));
        return std::string(f.inProgramFolder() ? "program folder\n" : "user folder\n") +
               f.writableFile("MMEdit.ini") + "\n" + f.dataFile("link.dat");
    });
    if (seen == "no other user") GTEST_SKIP() << "cannot act as another user";
    // A read-only portable copy still finds the data beside the program.
    EXPECT_EQ(seen, "user folder\n" + dir.file("config/MMEdit/MMEdit.ini") + "\n" +
                        dir.file("opt/mmedit/link.dat"));
}
