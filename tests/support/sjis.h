// Test text as the editor holds it: code page 932 bytes.
#pragma once

#include "text/cp932.h"

#include <QString>

#include <initializer_list>
#include <string>

// The code page 932 bytes of UTF-8 text whose every character has a code.
inline std::string sj(const char* utf8) {
    return cp932::encodeKnown(QString::fromUtf8(utf8));
}

// Bytes given by their values.
inline std::string bytes(std::initializer_list<unsigned> values) {
    std::string s;
    for (unsigned b : values)
        s.push_back(static_cast<char>(b));
    return s;
}
