#include "storedlist.h"

#include "text/errors.h"
#include "text/fileio.h"
#include "text/linelist.h"

#include <QFile>
#include <utility>

StoredList::StoredList(std::vector<std::string> builtIn, std::string shippedPath,
                       std::string userPath)
    : entries_(std::move(builtIn)), shippedPath_(std::move(shippedPath)),
      userPath_(std::move(userPath)) {}

void StoredList::load() {
    if (fileio::exists(userPath_)) {
        try {
            entries_ = linelist::parse(fileio::readAll(userPath_, kMaxFileBytes));
            userCopyUnread_ = false;
            return;
        } catch (const MMEditError&) {
            userCopyUnread_ = true;
            // The shipped list is shown meanwhile; the user hears of the
            // copy that could not be read.
            try {
                entries_ = linelist::parse(fileio::readAll(shippedPath_, kMaxFileBytes));
            } catch (const MMEditError&) {
            }
            throw;
        }
    }
    entries_ = linelist::parse(fileio::readAll(shippedPath_, kMaxFileBytes));
}

void StoredList::append(const std::string& entry) {
    std::vector<std::string> changed = entries_;
    changed.push_back(entry);
    write(std::move(changed));
}

void StoredList::remove(std::size_t index) {
    if (index >= entries_.size()) return;
    std::vector<std::string> changed = entries_;
    changed.erase(changed.begin() + static_cast<std::ptrdiff_t>(index));
    write(std::move(changed));
}

void StoredList::write(std::vector<std::string> entries) {
    if (userCopyUnread_ && fileio::exists(userPath_))
        throw MMEditError(
            QStringLiteral("ファイル %1 は読み込めなかったので、中身を失わないよう書き換えません")
                .arg(QFile::decodeName(userPath_.c_str())));
    fileio::writeAll(userPath_, linelist::format(entries));
    userCopyUnread_ = false;
    entries_ = std::move(entries);
}
