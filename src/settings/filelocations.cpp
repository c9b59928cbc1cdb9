#include "filelocations.h"

#include <utility>

FileLocations::FileLocations(std::string programFolder) : programFolder_(std::move(programFolder)) {
    if (programFolder_.empty() || programFolder_.back() != '/') programFolder_ += '/';
}

std::string FileLocations::writableFile(std::string_view name) const {
    return programFolder_ + std::string(name);
}

std::string FileLocations::dataFile(std::string_view name) const {
    return programFolder_ + std::string(name);
}
