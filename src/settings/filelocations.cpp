#include "filelocations.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder name of the user's configuration folder and of the installed
// data folder under share/.
constexpr std::string_view kUserFolderName = "MMEdit/";
constexpr std::string_view kDataFolderName = "mmedit/";

std::string withSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string bytesOf(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

bool existsAt(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "/a/b/" -> "/a/"; the root stays the root.
std::string parentFolder(const std::string& folder) {
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    const std::size_t slash = f.rfind('/');
    if (slash == std::string::npos) return "./";
    return f.substr(0, slash + 1);
}

// The last component of a folder: "/usr/bin/" -> "bin".
std::string folderName(const std::string& folder) {
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    const std::size_t slash = f.rfind('/');
    return slash == std::string::npos ? f : f.substr(slash + 1);
}

void addOnce(std::vector<std::string>& folders, std::string folder) {
    folder = withSeparator(std::move(folder));
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
        folders.push_back(std::move(folder));
}

} // namespace

FileLocations::Surroundings FileLocations::lookAround(const std::string& programFolder) {
    Surroundings s;
    s.programFolder = withSeparator(programFolder);
    // <prefix>/bin/ beside <prefix>/share/mmedit/ is an installed program,
    // also for root, who may write into any folder.
    const std::string shareFolder =
        parentFolder(s.programFolder) + "share/" + std::string(kDataFolderName);
    const bool installedLayout = folderName(s.programFolder) == "bin" && isFolder(shareFolder);
    const bool writable = ::access(s.programFolder.c_str(), W_OK) == 0;
    s.programFolderKeepsFiles = writable && !installedLayout;

    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    s.userFolder = config.isEmpty() ? std::string()
                                    : withSeparator(bytesOf(config)) + std::string(kUserFolderName);

    addOnce(s.dataFolders, shareFolder);
    addOnce(s.dataFolders, s.programFolder);
    for (const QString& d : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        addOnce(s.dataFolders, withSeparator(bytesOf(d)) + std::string(kDataFolderName));
    return s;
}

FileLocations::FileLocations(const std::string& programFolder)
    : FileLocations(lookAround(programFolder)) {}

FileLocations::FileLocations(Surroundings surroundings) : s_(std::move(surroundings)) {
    s_.programFolder = withSeparator(std::move(s_.programFolder));
    // Without a home there is nowhere else to write: the program's folder it
    // is, and a failure to write there is reported with its path.
    if (s_.userFolder.empty()) s_.programFolderKeepsFiles = true;
    s_.userFolder = withSeparator(std::move(s_.userFolder));
    for (std::string& d : s_.dataFolders)
        d = withSeparator(std::move(d));
}

const std::string& FileLocations::writableFolder() const {
    return s_.programFolderKeepsFiles ? s_.programFolder : s_.userFolder;
}

std::string FileLocations::writableFile(std::string_view name) const {
    const std::string path = writableFolder() + std::string(name);
    if (!s_.programFolderKeepsFiles) {
        const std::string folder = parentFolder(path);
        if (!isFolder(folder)) QDir().mkpath(QFile::decodeName(folder.c_str()));
    }
    return path;
}

std::string FileLocations::dataFile(std::string_view name) const {
    if (s_.programFolderKeepsFiles) return s_.programFolder + std::string(name);
    const std::string own = s_.userFolder + std::string(name);
    if (existsAt(own)) return own;
    for (const std::string& d : s_.dataFolders) {
        const std::string path = d + std::string(name);
        if (existsAt(path)) return path;
    }
    return (s_.dataFolders.empty() ? s_.programFolder : s_.dataFolders.front()) + std::string(name);
}
