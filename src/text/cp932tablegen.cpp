// Writes the code page 932 conversion tables (cp932tables.h) as a C++ source
// file, from Qt's "Shift_JIS" converter. Run at build time:
//
//   cp932tablegen OUTPUT.cpp
//
// The rules:
// - A double-byte code (a lead byte followed by a trail byte) is defined when
//   the converter decodes it to one character that is not its substitute.
// - Encoding: ASCII and the half-width katakana are their own single bytes.
//   A character that double-byte codes decode to is written as the converter
//   itself writes it (its choice among the NEC and IBM duplicates) when that
//   code decodes back to it, otherwise as the first code that decodes to it;
//   a character the converter does not write as two bytes stays out.
// - The Unicode equivalents (cp932::kUnicodeEquivalents) encode to their
//   codes unless the character has a code of its own.
#include "cp932.h"
#include "cp932tables.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using cp932::tables::kCodeCount;
using cp932::tables::kFirstCode;
using cp932::tables::kUnicodeCount;

bool isSubstitute(QStringView s) {
    return s.size() != 1 || s[0].unicode() == 0x1A || s[0].unicode() == 0xFFFD;
}

struct Tables {
    std::vector<char16_t> toUnicode = std::vector<char16_t>(kCodeCount, 0);
    std::vector<std::uint16_t> fromUnicode = std::vector<std::uint16_t>(kUnicodeCount, 0);
};

bool build(Tables& t) {
    QStringDecoder dec("Shift_JIS", QStringConverter::Flag::Stateless);
    QStringEncoder enc("Shift_JIS", QStringConverter::Flag::Stateless);
    if (!dec.isValid() || !enc.isValid()) {
        std::fprintf(stderr, "cp932tablegen: Qt has no \"Shift_JIS\" converter\n");
        return false;
    }
    for (unsigned c = 0; c < 0x80; ++c)
        t.fromUnicode[c] = static_cast<std::uint16_t>(c);
    for (unsigned c = 0xA1; c <= 0xDF; ++c)
        t.fromUnicode[0xFF61 + (c - 0xA1)] = static_cast<std::uint16_t>(c);

    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!cp932::isLeadByte(static_cast<unsigned char>(lead))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (!cp932::isTrailByte(static_cast<unsigned char>(trail))) continue;
            const char b[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            dec.resetState();
            const QString s = dec.decode(QByteArrayView(b, 2));
            if (isSubstitute(s)) continue;
            t.toUnicode[(lead << 8 | trail) - kFirstCode] = s[0].unicode();
        }
    }
    // The reverse direction: the converter's own choice among duplicates
    // (NEC and IBM extensions), kept only when it decodes back.
    for (unsigned code = kFirstCode; code <= 0xFCFF; ++code) {
        const char16_t u = t.toUnicode[code - kFirstCode];
        if (u == 0 || t.fromUnicode[u] != 0) continue;
        enc.resetState();
        const QByteArray b = enc.encode(QStringView(&u, 1));
        if (b.size() != 2) continue;
        const unsigned c = static_cast<unsigned char>(b[0]) << 8 | static_cast<unsigned char>(b[1]);
        if (c >= kFirstCode && t.toUnicode[c - kFirstCode] == u)
            t.fromUnicode[u] = static_cast<std::uint16_t>(c);
        else
            t.fromUnicode[u] = static_cast<std::uint16_t>(code);
    }
    // Other Unicode forms of characters that code page 932 has (as other
    // converters and web pages write them) encode to the same code; decoding
    // keeps the Microsoft forms.
    for (const cp932::UnicodeEquivalent& e : cp932::kUnicodeEquivalents)
        if (t.fromUnicode[e.unicode] == 0) t.fromUnicode[e.unicode] = e.code;
    return true;
}

template <class T>
void writeArray(std::string& out, const char* declaration, const std::vector<T>& values) {
    constexpr std::size_t kPerLine = 12;
    out += declaration;
    out += " = {\n";
    char number[16];
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i % kPerLine == 0) out += "   ";
        std::snprintf(number, sizeof number, " 0x%04X,", static_cast<unsigned>(values[i]));
        out += number;
        if (i % kPerLine == kPerLine - 1 || i + 1 == values.size()) out += '\n';
    }
    out += "};\n";
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: cp932tablegen OUTPUT.cpp\n");
        return 2;
    }
    Tables t;
    if (!build(t)) return 1;

    std::string out;
    out += "// Made by cp932tablegen from Qt's \"Shift_JIS\" converter when the program\n"
           "// was built. Do not edit.\n"
           "#include \"text/cp932tables.h\"\n\n"
           "namespace cp932::tables {\n\n";
    writeArray(out, "const char16_t kToUnicode[kCodeCount]", t.toUnicode);
    out += '\n';
    writeArray(out, "const std::uint16_t kFromUnicode[kUnicodeCount]", t.fromUnicode);
    out += "\n} // namespace cp932::tables\n";

    const std::string path = argv[1];
    const std::string partial = path + ".part";
    // Written beside the target and renamed over it, so that an interrupted
    // build never leaves half a table behind.
    bool written = false;
    if (std::FILE* f = std::fopen(partial.c_str(), "wb")) {
        written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
        written = std::fclose(f) == 0 && written;
    }
    if (!written || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "cp932tablegen: cannot write %s\n", path.c_str());
        std::remove(partial.c_str());
        return 1;
    }
    return 0;
}
