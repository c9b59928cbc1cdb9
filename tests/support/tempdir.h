#pragma once

#include <string>
#include <string_view>

// A temporary folder for one test, removed afterwards. path() ends with '/'.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + std::string(name); }
    void write(std::string_view name, std::string_view bytes) const;
    std::string read(std::string_view name) const;

  private:
    std::string path_;
};
