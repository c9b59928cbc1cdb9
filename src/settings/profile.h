// The settings file's INI layer, with the rules of the platform's profile
// functions: case-insensitive section and key names, blanks around names and
// values not part of them, text values read into 255 bytes, integers from the
// leading sign and digits, values replaced where they stand, missing keys added
// at the end of their section, missing sections at the end of the file, and
// every other line (comments, unknown keys, free text) kept byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ProfileFile {
  public:
    // Longest text value read (the platform reads into 256 bytes).
    static constexpr std::size_t kMaxValue = 255;

    ProfileFile() = default;
    explicit ProfileFile(std::string_view bytes) { parse(bytes); }

    // Reads the file at path; a missing or unreadable file reads as empty.
    static ProfileFile load(const std::string& path);

    void parse(std::string_view bytes);
    std::string bytes() const;

    bool hasKey(std::string_view section, std::string_view key) const;
    // The value of the key, or fallback when the file does not have the key.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    std::int32_t readInt(std::string_view section, std::string_view key,
                         std::int32_t fallback) const;

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInt(std::string_view section, std::string_view key, std::int32_t value);

    // Leading sign and digits of a value; no digits give 0; out-of-range values
    // are held at the nearest 32-bit limit.
    static std::int32_t parseInt(std::string_view value);

  private:
    struct Line {
        std::string text;
        std::string eol; // "\r\n", "\r", "\n" or "" for a last line without one
    };
    std::vector<Line> lines_;

    // Index of the first header line of the section, or -1.
    long findSection(std::string_view section) const;
    // One past the section's last line (the next header or the end).
    std::size_t sectionEnd(std::size_t header) const;
    long findKey(long header, std::string_view key) const;
};
