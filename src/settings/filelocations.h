// Where the program keeps its files: the settings file, the lists the user
// changes, the recovery file and the logs (written), and the data files it
// ships (link.dat, waku.edt, face.edt, help/; read only).
//
// A program whose own folder is writable and is not an installed layout (a
// build folder, a portable copy) keeps everything in that folder. An
// installed program (its folder read-only, or a bin/ folder beside
// share/mmedit/, which also holds when root runs it) writes into the user's
// configuration folder (~/.config/MMEdit/) and reads its data from a copy
// there when the user put one, else from the installed data folders:
// <prefix>/share/mmedit/ beside the program, the program's own folder, then
// mmedit/ in the system's data folders ($XDG_DATA_HOME, $XDG_DATA_DIRS).
#pragma once

#include <string>
#include <string_view>
#include <vector>

class FileLocations {
  public:
    // What the system says about the place the program runs from. All
    // folders end with '/'.
    struct Surroundings {
        std::string programFolder;
        // The program's folder may be written and is not an installed layout.
        bool programFolderKeepsFiles = true;
        // The user's configuration folder for this program (…/MMEdit/).
        std::string userFolder;
        // Installed data folders in the order they are searched.
        std::vector<std::string> dataFolders;
    };

    // Asks the file system and QStandardPaths about a program in
    // programFolder (a separator is added when missing).
    static Surroundings lookAround(const std::string& programFolder);

    FileLocations() = default;
    // The locations of a program in programFolder (tests pass a temporary
    // folder, which is writable: everything stays in it).
    explicit FileLocations(const std::string& programFolder);
    explicit FileLocations(Surroundings surroundings);

    // Ends with '/'.
    const std::string& programFolder() const { return s_.programFolder; }
    // True when files are written beside the program, false when they go to
    // the user's configuration folder.
    bool inProgramFolder() const { return s_.programFolderKeepsFiles; }
    // The folder written files go to; ends with '/'.
    const std::string& writableFolder() const;

    // The path of a file the program writes (and reads back). Outside the
    // program's folder the folders leading to it are made when missing, so
    // writing can start at once; a folder that cannot be made shows up as
    // the failure to create the file.
    std::string writableFile(std::string_view name) const;
    // The path of a data file the program reads (name may lead through
    // folders: "help/index.html"). The first folder that holds it wins; when
    // none does, the path where the installation should have put it, so the
    // failure to open it names that place.
    std::string dataFile(std::string_view name) const;

  private:
    Surroundings s_;
};
