// Where the program keeps its files: the settings file, the lists the user
// changes, the recovery file and the logs (written), and the data files it
// ships (link.dat, waku.edt, face.edt, help/; read only).
#pragma once

#include <string>
#include <string_view>

class FileLocations {
  public:
    FileLocations() = default;
    // programFolder: the folder of the program file (tests pass a temporary
    // folder); a separator is added when missing.
    explicit FileLocations(std::string programFolder);

    // Ends with '/'.
    const std::string& programFolder() const { return programFolder_; }
    // The path of a file the program writes (and reads back).
    std::string writableFile(std::string_view name) const;
    // The path of a data file the program reads.
    std::string dataFile(std::string_view name) const;

  private:
    std::string programFolder_;
};
