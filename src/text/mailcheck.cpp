#include "mailcheck.h"

#include "addresses.h"
#include "cp932.h"
#include "cp932tables.h"
#include "gapbuffer.h"
#include "linestarts.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>
#include <unordered_map>

namespace mailcheck {

namespace {

// --- the replacement table ---------------------------------------------------------
//
// Every suggested form of a character a mail does not carry safely, by the
// character as Unicode: the machine-dependent characters (one entry serves
// the NEC code and the IBM code of the same character), and the half-width
// katakana, a letter with its voiced mark as one. Machine-dependent
// characters that are the same character as one of JIS X 0208 (≒, ∵, ￢
// ...) need no entry: they take that one.
struct TableEntry {
    std::u16string_view from;
    std::u16string_view to;
};

constexpr TableEntry kTable[] = {
    // NEC special characters: circled numbers, Roman numerals.
    {u"①", u"(1)"},
    {u"②", u"(2)"},
    {u"③", u"(3)"},
    {u"④", u"(4)"},
    {u"⑤", u"(5)"},
    {u"⑥", u"(6)"},
    {u"⑦", u"(7)"},
    {u"⑧", u"(8)"},
    {u"⑨", u"(9)"},
    {u"⑩", u"(10)"},
    {u"⑪", u"(11)"},
    {u"⑫", u"(12)"},
    {u"⑬", u"(13)"},
    {u"⑭", u"(14)"},
    {u"⑮", u"(15)"},
    {u"⑯", u"(16)"},
    {u"⑰", u"(17)"},
    {u"⑱", u"(18)"},
    {u"⑲", u"(19)"},
    {u"⑳", u"(20)"},
    {u"Ⅰ", u"I"},
    {u"Ⅱ", u"II"},
    {u"Ⅲ", u"III"},
    {u"Ⅳ", u"IV"},
    {u"Ⅴ", u"V"},
    {u"Ⅵ", u"VI"},
    {u"Ⅶ", u"VII"},
    {u"Ⅷ", u"VIII"},
    {u"Ⅸ", u"IX"},
    {u"Ⅹ", u"X"},
    // Units in one square.
    {u"㍉", u"ミリ"},
    {u"㌔", u"キロ"},
    {u"㌢", u"センチ"},
    {u"㍍", u"メートル"},
    {u"㌘", u"グラム"},
    {u"㌧", u"トン"},
    {u"㌃", u"アール"},
    {u"㌶", u"ヘクタール"},
    {u"㍑", u"リットル"},
    {u"㍗", u"ワット"},
    {u"㌍", u"カロリー"},
    {u"㌦", u"ドル"},
    {u"㌣", u"セント"},
    {u"㌫", u"パーセント"},
    {u"㍊", u"ミリバール"},
    {u"㌻", u"ページ"},
    {u"㎜", u"mm"},
    {u"㎝", u"cm"},
    {u"㎞", u"km"},
    {u"㎎", u"mg"},
    {u"㎏", u"kg"},
    {u"㏄", u"cc"},
    {u"㎡", u"m2"},
    // Eras, marks and abbreviations.
    {u"㍻", u"平成"},
    {u"㍾", u"明治"},
    {u"㍽", u"大正"},
    {u"㍼", u"昭和"},
    {u"〝", u"“"},
    {u"〟", u"”"},
    {u"№", u"No."},
    {u"㏍", u"K.K."},
    {u"℡", u"TEL"},
    {u"㊤", u"(上)"},
    {u"㊥", u"(中)"},
    {u"㊦", u"(下)"},
    {u"㊧", u"(左)"},
    {u"㊨", u"(右)"},
    {u"㈱", u"(株)"},
    {u"㈲", u"(有)"},
    {u"㈹", u"(代)"},
    {u"∑", u"Σ"},
    // IBM extensions: small Roman numerals and full-width marks.
    {u"ⅰ", u"i"},
    {u"ⅱ", u"ii"},
    {u"ⅲ", u"iii"},
    {u"ⅳ", u"iv"},
    {u"ⅴ", u"v"},
    {u"ⅵ", u"vi"},
    {u"ⅶ", u"vii"},
    {u"ⅷ", u"viii"},
    {u"ⅸ", u"ix"},
    {u"ⅹ", u"x"},
    {u"￤", u"｜"},
    {u"＇", u"'"},
    {u"＂", u"\""},
    // Kanji of the extensions whose standard form is in JIS X 0208 (the
    // compatibility ideographs and the variants common in names).
    {u"\uFA10", u"\u585A"},
    {u"\uFA12", u"\u6674"},
    {u"\uF929", u"\u6717"},
    {u"\uFA16", u"\u732A"},
    {u"\uFA17", u"\u76CA"},
    {u"\uFA18", u"\u793C"},
    {u"\uFA19", u"\u795E"},
    {u"\uFA1A", u"\u7965"},
    {u"\uFA1B", u"\u798F"},
    {u"\uFA1C", u"\u9756"},
    {u"\uFA1D", u"\u7CBE"},
    {u"\uFA1E", u"\u7FBD"},
    {u"\uFA22", u"\u8AF8"},
    {u"\uFA25", u"\u9038"},
    {u"\uFA26", u"\u90FD"},
    {u"\uF9DC", u"\u9686"},
    {u"\uFA2A", u"\u98EF"},
    {u"\uFA2B", u"\u98FC"},
    {u"\uFA2C", u"\u9928"},
    {u"\uFA2D", u"\u9DB4"},
    {u"\uFA11", u"\u5D0E"},
    {u"\u9AD9", u"\u9AD8"},
    {u"\u5FB7", u"\u5FB3"},
    {u"\u6801", u"\u67F3"},
    {u"\u7028", u"\u702C"},
    // Half-width katakana.
    {u"｡", u"。"},
    {u"｢", u"「"},
    {u"｣", u"」"},
    {u"､", u"、"},
    {u"･", u"・"},
    {u"ｦ", u"ヲ"},
    {u"ｧ", u"ァ"},
    {u"ｨ", u"ィ"},
    {u"ｩ", u"ゥ"},
    {u"ｪ", u"ェ"},
    {u"ｫ", u"ォ"},
    {u"ｬ", u"ャ"},
    {u"ｭ", u"ュ"},
    {u"ｮ", u"ョ"},
    {u"ｯ", u"ッ"},
    {u"ｰ", u"ー"},
    {u"ｱ", u"ア"},
    {u"ｲ", u"イ"},
    {u"ｳ", u"ウ"},
    {u"ｴ", u"エ"},
    {u"ｵ", u"オ"},
    {u"ｶ", u"カ"},
    {u"ｷ", u"キ"},
    {u"ｸ", u"ク"},
    {u"ｹ", u"ケ"},
    {u"ｺ", u"コ"},
    {u"ｻ", u"サ"},
    {u"ｼ", u"シ"},
    {u"ｽ", u"ス"},
    {u"ｾ", u"セ"},
    {u"ｿ", u"ソ"},
    {u"ﾀ", u"タ"},
    {u"ﾁ", u"チ"},
    {u"ﾂ", u"ツ"},
    {u"ﾃ", u"テ"},
    {u"ﾄ", u"ト"},
    {u"ﾅ", u"ナ"},
    {u"ﾆ", u"ニ"},
    {u"ﾇ", u"ヌ"},
    {u"ﾈ", u"ネ"},
    {u"ﾉ", u"ノ"},
    {u"ﾊ", u"ハ"},
    {u"ﾋ", u"ヒ"},
    {u"ﾌ", u"フ"},
    {u"ﾍ", u"ヘ"},
    {u"ﾎ", u"ホ"},
    {u"ﾏ", u"マ"},
    {u"ﾐ", u"ミ"},
    {u"ﾑ", u"ム"},
    {u"ﾒ", u"メ"},
    {u"ﾓ", u"モ"},
    {u"ﾔ", u"ヤ"},
    {u"ﾕ", u"ユ"},
    {u"ﾖ", u"ヨ"},
    {u"ﾗ", u"ラ"},
    {u"ﾘ", u"リ"},
    {u"ﾙ", u"ル"},
    {u"ﾚ", u"レ"},
    {u"ﾛ", u"ロ"},
    {u"ﾜ", u"ワ"},
    {u"ﾝ", u"ン"},
    {u"ﾞ", u"゛"},
    {u"ﾟ", u"゜"},
    {u"ｳﾞ", u"ヴ"},
    {u"ｶﾞ", u"ガ"},
    {u"ｷﾞ", u"ギ"},
    {u"ｸﾞ", u"グ"},
    {u"ｹﾞ", u"ゲ"},
    {u"ｺﾞ", u"ゴ"},
    {u"ｻﾞ", u"ザ"},
    {u"ｼﾞ", u"ジ"},
    {u"ｽﾞ", u"ズ"},
    {u"ｾﾞ", u"ゼ"},
    {u"ｿﾞ", u"ゾ"},
    {u"ﾀﾞ", u"ダ"},
    {u"ﾁﾞ", u"ヂ"},
    {u"ﾂﾞ", u"ヅ"},
    {u"ﾃﾞ", u"デ"},
    {u"ﾄﾞ", u"ド"},
    {u"ﾊﾞ", u"バ"},
    {u"ﾋﾞ", u"ビ"},
    {u"ﾌﾞ", u"ブ"},
    {u"ﾍﾞ", u"ベ"},
    {u"ﾎﾞ", u"ボ"},
    {u"ﾊﾟ", u"パ"},
    {u"ﾋﾟ", u"ピ"},
    {u"ﾌﾟ", u"プ"},
    {u"ﾍﾟ", u"ペ"},
    {u"ﾎﾟ", u"ポ"},
};

const std::unordered_map<std::u16string_view, std::u16string_view>& table() {
    static const auto* map = [] {
        auto* m = new std::unordered_map<std::u16string_view, std::u16string_view>();
        for (const TableEntry& e : kTable)
            m->emplace(e.from, e.to);
        return m;
    }();
    return *map;
}

// --- byte and character classes --------------------------------------------------------

constexpr unsigned char kVoicedMark = 0xDE;
constexpr unsigned char kSemiVoicedMark = 0xDF;

constexpr bool isHalfWidthKana(unsigned b) {
    return b >= 0xA1 && b <= 0xDF;
}

char16_t kanaUnicode(unsigned b) {
    return static_cast<char16_t>(0xFF61 + (b - 0xA1));
}

// The half-width letters that join each voiced mark, from the table: bit
// (letter - 0xA1) of the voiced and of the semi-voiced mark's word.
struct JoinedLetters {
    std::array<std::uint64_t, 2> bits{};
    JoinedLetters() {
        for (unsigned letter = 0xA1; letter < kVoicedMark; ++letter)
            for (unsigned k = 0; k < 2; ++k) {
                const char16_t pair[2] = {kanaUnicode(letter), kanaUnicode(kVoicedMark + k)};
                if (table().contains(std::u16string_view(pair, 2)))
                    bits[k] |= std::uint64_t{1} << (letter - 0xA1);
            }
    }
};

// A half-width letter and the voiced mark after it are one finding when
// the table joins them.
bool joinsVoicedMark(unsigned letter, unsigned mark) {
    static const JoinedLetters joined;
    if (mark != kVoicedMark && mark != kSemiVoicedMark) return false;
    if (letter < 0xA1 || letter >= kVoicedMark) return false;
    return (joined.bits[mark - kVoicedMark] >> (letter - 0xA1)) & 1;
}

enum ByteClass : std::uint8_t {
    bPlain,   // printable ASCII
    bCr,      // CR
    bLf,      // LF
    bTab,     // tab
    bControl, // every other control character and DEL
    bLead,    // a lead byte of code page 932
    bKana,    // half-width katakana
    bInvalid, // never part of a code page 932 character
};

constexpr std::array<std::uint8_t, 256> kByteClass = [] {
    std::array<std::uint8_t, 256> c{};
    for (unsigned b = 0; b < 256; ++b) {
        std::uint8_t k = bInvalid;
        if (b >= 0x20 && b < 0x7F)
            k = bPlain;
        else if (b == '\r')
            k = bCr;
        else if (b == '\n')
            k = bLf;
        else if (b == '\t')
            k = bTab;
        else if (b < 0x20 || b == 0x7F)
            k = bControl;
        else if (cp932::isLeadByte(static_cast<unsigned char>(b)))
            k = bLead;
        else if (isHalfWidthKana(b))
            k = bKana;
        c[b] = k;
    }
    return c;
}();

// What a lead byte says about its double-byte codes.
enum LeadClass : std::uint8_t {
    lStandard,     // JIS X 0208 rows (or undefined codes)
    lNecSpecial,   // 0x87
    lNecSelected,  // 0xED, 0xEE
    lUserDefined,  // 0xF0 - 0xF9
    lIbmExtension, // 0xFA - 0xFC
};

constexpr std::array<std::uint8_t, 256> kLeadClass = [] {
    std::array<std::uint8_t, 256> c{};
    c[0x87] = lNecSpecial;
    c[0xED] = c[0xEE] = lNecSelected;
    for (unsigned b = 0xF0; b <= 0xF9; ++b)
        c[b] = lUserDefined;
    for (unsigned b = 0xFA; b <= 0xFC; ++b)
        c[b] = lIbmExtension;
    return c;
}();

bool isMachineDependentCode(std::uint32_t code) {
    return code > 0xFF && kLeadClass[(code >> 8) & 0xFF] != lStandard;
}

char16_t unicodeOf(std::uint32_t code) {
    if (code < 0x80) return static_cast<char16_t>(code);
    if (code <= 0xFF) return isHalfWidthKana(code) ? kanaUnicode(code) : 0;
    if (code < cp932::tables::kFirstCode || code > 0xFFFF) return 0;
    return cp932::tables::kToUnicode[code - cp932::tables::kFirstCode];
}

// The double-byte codes that need no finding (defined, in the rows of JIS
// X 0208), one bit a code: 8 KB, small enough to stay in the cache while a
// text is scanned.
struct StandardCodes {
    std::array<std::uint64_t, 0x10000 / 64> bits{};
    StandardCodes() {
        for (unsigned code = cp932::tables::kFirstCode; code <= 0xFFFF; ++code)
            if (kLeadClass[code >> 8] == lStandard && cp932::isLeadByte(code >> 8) &&
                cp932::isTrailByte(code & 0xFF) &&
                cp932::tables::kToUnicode[code - cp932::tables::kFirstCode] != 0)
                bits[code >> 6] |= std::uint64_t{1} << (code & 63);
    }
    bool contains(unsigned code) const { return (bits[code >> 6] >> (code & 63)) & 1; }
};

const StandardCodes& standardCodes() {
    static const StandardCodes codes;
    return codes;
}

// Eight bytes of printable ASCII (0x20-0x7E).
inline bool printableWord(const unsigned char* s) {
    std::uint64_t w;
    std::memcpy(&w, s, 8);
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    // A byte below 0x20, one equal to 0x7F, or one with the top bit set.
    const std::uint64_t below = (w - ones * 0x20) & ~w & highs;
    const std::uint64_t y = w ^ (ones * 0x7F);
    const std::uint64_t del = (y - ones) & ~y & highs;
    return (below | del | (w & highs)) == 0;
}

// Scans the characters that start in [from, to) of text (from a character
// boundary; text may go on past to, for the bytes a character looks at) and
// tells v of every character finding, tab and line end. Returns where the
// scan stopped: to, or past it when the last character reaches further.
template <class Visitor>
std::size_t scan(std::string_view text, std::size_t from, std::size_t to, Visitor& v) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const StandardCodes& standard = standardCodes();
    std::size_t p = from;
    while (p < to) {
        const unsigned b = s[p];
        // The common characters first, without a finding: printable ASCII
        // (a run of it a word at a time) and double-byte characters of JIS
        // X 0208.
        if (b - 0x20u < 0x5Fu) {
            ++p;
            while (p + 8 <= to && printableWord(s + p))
                p += 8;
            continue;
        }
        if (b >= 0x81 && p + 1 < n && standard.contains(b << 8 | s[p + 1])) {
            p += 2;
            continue;
        }
        switch (kByteClass[b]) {
        case bPlain:
            ++p;
            break;
        case bCr:
            if (p + 1 < n && s[p + 1] == '\n') {
                v.lineEnd(p, 2);
                p += 2;
            } else {
                v.finding(Kind::loneLineEnd, p, 1);
                v.lineEnd(p, 1);
                ++p;
            }
            break;
        case bLf:
            v.finding(Kind::loneLineEnd, p, 1);
            v.lineEnd(p, 1);
            ++p;
            break;
        case bTab:
            v.finding(Kind::tab, p, 1);
            v.tab(p);
            ++p;
            break;
        case bControl:
            v.finding(Kind::controlChar, p, 1);
            ++p;
            break;
        case bKana:
            if (p + 1 < n && joinsVoicedMark(b, s[p + 1])) {
                v.finding(Kind::halfWidthKana, p, 2);
                p += 2;
            } else {
                v.finding(Kind::halfWidthKana, p, 1);
                ++p;
            }
            break;
        case bInvalid:
            v.finding(Kind::invalidByte, p, 1);
            ++p;
            break;
        case bLead:
            if (p + 1 < n && cp932::isTrailByte(s[p + 1])) {
                const unsigned code = b << 8 | s[p + 1];
                const bool defined = cp932::tables::kToUnicode[code - cp932::tables::kFirstCode];
                switch (kLeadClass[b]) {
                case lStandard:
                    if (!defined) v.finding(Kind::invalidByte, p, 2);
                    break;
                case lNecSpecial:
                    v.finding(defined ? Kind::necSpecial : Kind::invalidByte, p, 2);
                    break;
                case lNecSelected:
                    v.finding(defined ? Kind::necSelectedIbm : Kind::invalidByte, p, 2);
                    break;
                case lUserDefined:
                    v.finding(Kind::userDefined, p, 2);
                    break;
                case lIbmExtension:
                    v.finding(defined ? Kind::ibmExtension : Kind::invalidByte, p, 2);
                    break;
                }
                p += 2;
            } else {
                v.finding(Kind::invalidByte, p, 1); // a lead byte standing alone
                ++p;
            }
            break;
        }
    }
    return p;
}

std::uint32_t codeAt(std::string_view text, std::size_t pos, std::size_t length) {
    std::uint32_t code = 0;
    for (std::size_t i = 0; i < length && pos + i < text.size(); ++i)
        code = code << 8 | static_cast<unsigned char>(text[pos + i]);
    return code;
}

// Columns from a line start (column 0) to pos, tabs reaching the next
// multiple of 8; every other byte is one column (a double-byte character
// is two bytes and two columns).
std::uint64_t columnsBetween(std::string_view text, std::size_t from, std::size_t to,
                             std::uint64_t col = 0) {
    while (from < to) {
        const void* tab = std::memchr(text.data() + from, '\t', to - from);
        if (!tab) return col + (to - from);
        const auto t = static_cast<std::size_t>(static_cast<const char*>(tab) - text.data());
        col += t - from;
        col += cp932::kTabColumns - col % cp932::kTabColumns;
        from = t + 1;
    }
    return col;
}

// The line (1-based) and column (1-based) of pos, counted from the start.
std::pair<std::size_t, std::size_t> placeOf(std::string_view text, std::size_t pos) {
    std::size_t line = 1, lineStart = 0;
    for (std::size_t p = 0; p < pos && p < text.size(); ++p) {
        if (text[p] == '\n' || (text[p] == '\r' && (p + 1 >= text.size() || text[p + 1] != '\n'))) {
            ++line;
            lineStart = p + 1;
        }
    }
    return {line, static_cast<std::size_t>(columnsBetween(text, lineStart, pos)) + 1};
}

// Bytes past the width that the first break of a line may look at: the
// blanks that hang past the width (the line view lets at most 128 of them
// hang, two bytes at most each) and a character or two after them, with
// room to spare.
constexpr std::size_t kFirstBreakReach = 2 * 128 + 64;

// A long line's finding or a long address, from the start of its line.
struct LongPart {
    std::size_t pos = 0;
    std::size_t length = 0;
    Kind kind = Kind::longLine;
};

// The findings of a logical line (without its line end) wider than width,
// in order: as sent (view keeps addresses whole), the addresses longer than
// the width, and the line's first break as view lays it out.
std::vector<LongPart> longParts(std::string_view logical, int width, bool asSent, LineView& view) {
    std::vector<LongPart> parts;
    // Addresses too long for any line: sent whole, past the width.
    if (asSent)
        for (const addresses::Span& a : addresses::find(logical))
            if (a.length > static_cast<std::size_t>(width))
                parts.push_back({a.pos, a.length, Kind::longAddress});
    // The first break of a line depends on no byte past its width (or past
    // the address that ends there), the blanks that may hang after it (at
    // most a few hundred bytes) and a character or two after those: a piece
    // of the line that reaches well past the break breaks first where the
    // whole line does.
    std::size_t piece = static_cast<std::size_t>(width) + kFirstBreakReach;
    while (true) {
        piece = std::min(piece, logical.size());
        view.layoutAll(logical.substr(0, piece));
        const bool whole = piece == logical.size();
        if (view.count() < 2) {
            if (whole) break;
        } else if (whole || view.line(1).start + kFirstBreakReach <= piece) {
            const std::size_t wrap = view.line(1).start;
            const LongPart part{wrap, cp932::charLength(logical, wrap), Kind::longLine};
            const auto at =
                std::upper_bound(parts.begin(), parts.end(), wrap,
                                 [](std::size_t pos, const LongPart& p) { return pos < p.pos; });
            parts.insert(at, part);
            break;
        }
        piece *= 2;
    }
    return parts;
}

// Collects the findings of check(): places them by line and column as the
// scan goes, and lays out every line wider than the line width to find
// where the editor wraps it.
struct Collector {
    std::string_view text;
    const Options& options;
    std::vector<Finding>& out;
    std::vector<Finding> longLines;
    std::unique_ptr<LineView> view; // made for the first wide line
    std::size_t line = 1;
    std::size_t lineStart = 0;
    // The column of anchorPos (after the last tab of the line, else the
    // line start): every byte after it is one column.
    std::size_t anchorPos = 0;
    std::uint64_t anchorCol = 0;

    std::uint64_t columnOf(std::size_t pos) const { return anchorCol + (pos - anchorPos); }

    void finding(Kind kind, std::size_t pos, std::size_t length) {
        out.push_back({.pos = pos,
                       .column = static_cast<std::size_t>(columnOf(pos)) + 1,
                       .line = static_cast<std::uint32_t>(line),
                       .code = codeAt(text, pos, length),
                       .length = static_cast<std::uint32_t>(length),
                       .kind = kind});
    }
    void tab(std::size_t pos) {
        const std::uint64_t col = columnOf(pos);
        anchorCol = col + cp932::kTabColumns - col % cp932::kTabColumns;
        anchorPos = pos + 1;
    }
    void lineEnd(std::size_t pos, std::size_t eol) {
        endOfLine(pos);
        ++line;
        lineStart = anchorPos = pos + eol;
        anchorCol = 0;
    }
    void endOfLine(std::size_t end) {
        const int width = options.layout.width;
        if (width <= 0) return;
        const std::uint64_t cols = columnOf(end);
        if (cols <= static_cast<std::uint64_t>(width)) return;
        if (!view) {
            view = std::make_unique<LineView>();
            view->setRules(options.layout);
            view->setKeepAddresses(options.asSent);
        }
        const std::string_view logical = text.substr(lineStart, end - lineStart);
        for (const LongPart& part : longParts(logical, width, options.asSent, *view)) {
            const std::size_t at = lineStart + part.pos;
            const bool address = part.kind == Kind::longAddress;
            longLines.push_back(
                {.pos = at,
                 .column = static_cast<std::size_t>(columnsBetween(text, lineStart, at)) + 1,
                 .extent = address ? part.length : cols,
                 .line = static_cast<std::uint32_t>(line),
                 .code = codeAt(text, at, address ? 1 : part.length),
                 .length = static_cast<std::uint32_t>(part.length),
                 .kind = part.kind});
        }
    }
};

void insertSorted(std::vector<Finding>& out, const Finding& f) {
    const auto at = std::upper_bound(out.begin(), out.end(), f.pos,
                                     [](std::size_t pos, const Finding& g) { return pos < g.pos; });
    out.insert(at, f);
}

} // namespace

// --- kinds ---------------------------------------------------------------------------

QString kindName(Kind kind) {
    switch (kind) {
    case Kind::necSpecial:
        return QStringLiteral("機種依存文字(NEC特殊文字)");
    case Kind::necSelectedIbm:
        return QStringLiteral("機種依存文字(NEC選定IBM拡張文字)");
    case Kind::ibmExtension:
        return QStringLiteral("機種依存文字(IBM拡張文字)");
    case Kind::userDefined:
        return QStringLiteral("外字");
    case Kind::halfWidthKana:
        return QStringLiteral("半角カナ");
    case Kind::invalidByte:
        return QStringLiteral("Shift-JISでないバイト");
    case Kind::controlChar:
        return QStringLiteral("制御文字");
    case Kind::tab:
        return QStringLiteral("タブ(警告)");
    case Kind::loneLineEnd:
        return QStringLiteral("単独の改行コード");
    case Kind::longLine:
        return QStringLiteral("長い行");
    case Kind::longAddress:
        return QStringLiteral("長いアドレス");
    case Kind::overLimit:
        return QStringLiteral("文字数超過");
    }
    return {};
}

bool isWarning(Kind kind) {
    return kind == Kind::tab || kind == Kind::longAddress;
}

// --- the whole text ------------------------------------------------------------------

std::vector<Finding> check(std::string_view text, const Options& options) {
    std::vector<Finding> out;
    Collector c{text, options, out, {}, {}};
    scan(text, 0, text.size(), c);
    c.endOfLine(text.size());
    if (!c.longLines.empty()) {
        std::vector<Finding> merged;
        merged.reserve(out.size() + c.longLines.size());
        std::merge(out.begin(), out.end(), c.longLines.begin(), c.longLines.end(),
                   std::back_inserter(merged),
                   [](const Finding& a, const Finding& b) { return a.pos < b.pos; });
        out.swap(merged);
    }
    if (options.maxChars > 0) {
        // The first maxChars characters, and the whole count only when the
        // text goes on after them.
        const std::size_t pos = cp932::prefixOfCharacters(text, options.maxChars);
        if (pos < text.size()) {
            const std::size_t chars = cp932::countCharacters(text);
            const std::size_t length = cp932::nextBoundary(text, pos) - pos;
            const auto [line, column] = placeOf(text, pos);
            insertSorted(out, {.pos = pos,
                               .column = column,
                               .extent = chars,
                               .line = static_cast<std::uint32_t>(line),
                               .code = codeAt(text, pos, length),
                               .length = static_cast<std::uint32_t>(length),
                               .kind = Kind::overLimit});
        }
    }
    return out;
}

KindCounts countByKind(const std::vector<Finding>& findings) {
    KindCounts counts{};
    for (const Finding& f : findings)
        ++counts[static_cast<std::size_t>(f.kind)];
    return counts;
}

// --- showing a finding -----------------------------------------------------------------

QString characterText(std::string_view text, const Finding& f) {
    if (f.pos >= text.size()) return {};
    const std::string_view bytes = text.substr(f.pos, f.length);
    const auto b = static_cast<unsigned char>(bytes[0]);
    if (bytes == "\r\n") return QStringLiteral("CR LF");
    if (b == '\r') return QStringLiteral("CR");
    if (b == '\n') return QStringLiteral("LF");
    if (b == '\t') return QStringLiteral("TAB");
    if (b < 0x20 || b == 0x7F)
        return QStringLiteral("^") + QLatin1Char(b == 0x7F ? '?' : char(b + 0x40));
    return cp932::decode(bytes);
}

QString codeText(const Finding& f) {
    auto hex = [](std::uint32_t v, int digits) {
        return QStringLiteral("0x") + QString::number(v, 16).toUpper().rightJustified(digits, '0');
    };
    if (f.kind == Kind::longAddress) return {};
    if (f.length <= 1) return hex(f.code, 2);
    if (f.kind == Kind::halfWidthKana || (f.code >> 8) < 0x80)
        return hex(f.code >> 8, 2) + QLatin1Char(' ') + hex(f.code & 0xFF, 2);
    return hex(f.code, 4);
}

// --- replacements ------------------------------------------------------------------------

QString tableReplacement(std::uint32_t code) {
    std::u16string key;
    if (code > 0xFFFF) return {};
    if (code > 0xFF && isHalfWidthKana(code >> 8)) {
        key = {kanaUnicode(code >> 8), kanaUnicode(code & 0xFF)};
    } else {
        const char16_t u = unicodeOf(code);
        if (u == 0) return {};
        key = std::u16string(1, u);
    }
    const auto& t = table();
    if (const auto it = t.find(key); it != t.end())
        return QString(reinterpret_cast<const QChar*>(it->second.data()),
                       static_cast<qsizetype>(it->second.size()));
    // The same character in JIS X 0208.
    if (isMachineDependentCode(code) && standardCode(code) != 0) return QString(QChar(key[0]));
    return {};
}

std::uint16_t standardCode(std::uint32_t code) {
    if (code <= 0xFF || code > 0xFFFF) return 0;
    const char16_t u = unicodeOf(code);
    if (u == 0) return 0;
    if (!isMachineDependentCode(code)) return static_cast<std::uint16_t>(code);
    const std::uint16_t standard = cp932::tables::kFromUnicode[u];
    return standard > 0xFF && !isMachineDependentCode(standard) ? standard : 0;
}

std::optional<std::string> replacement(std::string_view text, const Finding& f) {
    switch (f.kind) {
    case Kind::necSpecial:
    case Kind::necSelectedIbm:
    case Kind::ibmExtension:
    case Kind::userDefined:
    case Kind::halfWidthKana: {
        const QString r = tableReplacement(f.code);
        if (r.isEmpty()) return std::nullopt;
        const cp932::EncodeResult e = cp932::encode(r);
        if (!e.ok()) return std::nullopt;
        return e.bytes;
    }
    case Kind::invalidByte:
    case Kind::controlChar:
        return std::string();
    case Kind::tab: {
        const std::size_t col = f.column > 0 ? f.column - 1 : 0;
        return std::string(cp932::kTabColumns - col % cp932::kTabColumns, ' ');
    }
    case Kind::loneLineEnd:
        return std::string("\r\n");
    case Kind::longLine:
        if (f.pos > text.size()) return std::nullopt;
        return "\r\n" + std::string(text.substr(f.pos, f.length));
    case Kind::longAddress:
    case Kind::overLimit:
        return std::nullopt;
    }
    return std::nullopt;
}

QString suggestionText(std::string_view text, const Finding& f) {
    const std::optional<std::string> r = replacement(text, f);
    if (!r) return {};
    switch (f.kind) {
    case Kind::invalidByte:
    case Kind::controlChar:
        return QStringLiteral("(削除)");
    case Kind::tab:
        return QStringLiteral("空白%1個").arg(r->size());
    case Kind::loneLineEnd:
        return QStringLiteral("CR LF");
    case Kind::longLine:
        return QStringLiteral("(改行)");
    default:
        return cp932::decode(*r);
    }
}

std::vector<Edit> replacementEdits(std::string_view text, const std::vector<Finding>& findings) {
    std::vector<Edit> edits;
    std::size_t end = 0; // the end of the last finding taken
    for (const Finding& f : findings) {
        if (f.pos < end || f.pos + f.length > text.size()) continue;
        std::optional<std::string> r = replacement(text, f);
        if (!r) continue;
        edits.push_back({f.pos, f.length, std::move(*r)});
        end = f.pos + f.length;
    }
    std::reverse(edits.begin(), edits.end());
    return edits;
}

std::string applyEdits(std::string_view text, const std::vector<Edit>& edits) {
    std::string out;
    out.reserve(text.size() + edits.size() * 4);
    std::size_t p = 0;
    for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
        out.append(text.substr(p, it->pos - p));
        out.append(it->bytes);
        p = it->pos + it->length;
    }
    out.append(text.substr(p));
    return out;
}

// --- kept up to date ------------------------------------------------------------------------

namespace {
// The first index below n where the predicate, false up to some index and
// true from there on, holds (n when it never does).
template <class Predicate> std::size_t firstIndexWhere(std::size_t n, Predicate holds) {
    std::size_t lo = 0, hi = n;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (holds(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

// A finding as the live check keeps it.
struct IndexEntry {
    std::uint32_t pos;
    Kind kind;
    std::uint32_t length;
};

// A long line's or a long address's mark: its place and length.
using LineMark = std::pair<std::size_t, std::size_t>;

// The bytes of the marks that an edit changed: a mark given up that is not
// the same as one found again once moved with the text (a mark before the
// edit stays, one after it moves by the edit's difference, one in the
// bytes it removed is gone), and the other way round.
struct ChangedMarks {
    bool known; // the edit is known (else nothing is compared)
    std::size_t pos, removed, inserted;
    std::size_t from = static_cast<std::size_t>(-1), to = 0;

    void add(std::size_t p, std::size_t length) {
        from = std::min(from, p);
        to = std::max(to, p + std::max<std::size_t>(length, 1));
    }
    // The marks before the edit, [0, given) of marks, and after it, the
    // rest; each in order.
    void compare(const std::vector<LineMark>& marks, std::size_t given) {
        if (!known) return;
        const std::span<const LineMark> old(marks.data(), given);
        const std::span<const LineMark> fresh(marks.data() + given, marks.size() - given);
        // A byte before the edit stays, one after it moves by its
        // difference; bytes it removed are where it stands now.
        auto startOf = [&](std::size_t p) {
            return p < pos ? p : p >= pos + removed ? p - removed + inserted : pos;
        };
        auto endOf = [&](std::size_t e) { // after the last byte, e - 1
            return e <= pos ? e : e > pos + removed ? e - removed + inserted : pos + inserted;
        };
        std::size_t a = 0, b = 0;
        while (a < old.size() || b < fresh.size()) {
            LineMark o{};
            bool gone = false;
            if (a < old.size()) {
                // The bytes it was drawn on, as they stand now.
                const std::size_t start = startOf(old[a].first);
                const std::size_t end = endOf(old[a].first + old[a].second);
                o = {start, end - start};
                gone = old[a].first >= pos && old[a].first < pos + removed;
            }
            if (a < old.size() && gone) {
                // Its first byte is gone.
                add(o.first, o.second + 1);
                ++a;
            } else if (b == fresh.size() || (a < old.size() && o < fresh[b])) {
                add(o.first, o.second);
                ++a;
            } else if (a == old.size() || fresh[b] < o) {
                add(fresh[b].first, fresh[b].second);
                ++b;
            } else {
                ++a;
                ++b;
            }
        }
    }
};

// The character kinds come first among the kinds.
constexpr std::size_t kCharacterKinds = static_cast<std::size_t>(Kind::loneLineEnd) + 1;
static_assert(isCharacterKind(Kind::loneLineEnd) && !isCharacterKind(Kind::longLine) &&
              !isCharacterKind(Kind::longAddress) && !isCharacterKind(Kind::overLimit));

// Counts the character findings of a scan.
struct CountSink {
    std::array<std::uint16_t, kCharacterKinds> counts{};
    bool any = false;
    void finding(Kind kind, std::size_t, std::size_t) {
        ++counts[static_cast<std::size_t>(kind)];
        any = true;
    }
    void tab(std::size_t) {}
    void lineEnd(std::size_t, std::size_t) {}
};

// A character finding of a block, from the block's start.
struct BlockFinding {
    std::uint16_t offset;
    Kind kind;
    std::uint8_t length;
};

// Counts the character findings of a scan and keeps them (from base on).
struct KeepSink : CountSink {
    std::vector<BlockFinding>* out = nullptr;
    std::size_t shift = 0; // from the scan's positions to the block's
    void finding(Kind kind, std::size_t pos, std::size_t length) {
        CountSink::finding(kind, pos, length);
        out->push_back(
            {static_cast<std::uint16_t>(pos + shift), kind, static_cast<std::uint8_t>(length)});
    }
};

// The start of the character of text that holds byte i, from a character
// boundary at or before it (a byte that cannot lead a double-byte character
// ends one).
std::size_t characterStartFrom(const GapBuffer& text, std::size_t boundary, std::size_t i) {
    const std::size_t n = text.size();
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text.at(k)); };
    std::size_t p = i;
    while (p > boundary && cp932::isLeadByte(byte(p - 1)))
        --p;
    while (true) {
        const std::size_t len =
            p + 1 < n && cp932::isLeadByte(byte(p)) && cp932::isTrailByte(byte(p + 1)) ? 2 : 1;
        if (p + len > i) return p;
        p += len;
    }
}

// Gathers the marks of a scan that start in [from, to).
struct MarkSink {
    std::vector<LiveCheck::Mark>* out = nullptr;
    std::size_t base = 0, from = 0, to = 0;
    void finding(Kind kind, std::size_t pos, std::size_t length) {
        pos += base;
        if (pos >= from && pos < to) out->push_back({pos, length, kind});
    }
    void tab(std::size_t) {}
    void lineEnd(std::size_t, std::size_t) {}
};
} // namespace

// The character findings by blocks of the text: each block a run of whole
// characters, at most about kBlockBytes long, that holds at least one
// finding, kept with its count of each kind. The findings themselves are
// found again in the block's bytes when they are asked for, so the store
// costs a few bytes per block of text that holds findings, however many
// findings it holds. Block starts are kept with a lazily applied shift
// (LineStarts). A change scans again the blocks it touches: about two
// blocks' bytes besides its own.
//
// The findings of one block, the one the last change went into, are kept
// as well: a change inside it takes out the findings of the bytes it
// replaced and puts in those of the bytes it brought, without scanning the
// rest of the block again, and the marks of that block are read from them.
class LiveCheck::Blocks {
  public:
    static constexpr std::size_t kBlockBytes = 2048;
    // Changes inside a block let it grow to this before it is split again.
    static constexpr std::size_t kMaxBlockBytes = 2 * kBlockBytes;

    std::size_t size() const { return starts_.size(); }
    void clear() {
        starts_.clear();
        info_.clear();
        forgetKept();
    }
    std::size_t memoryBytes() const {
        return starts_.memoryBytes() + info_.memoryBytes() +
               kept_.capacity() * sizeof(BlockFinding);
    }

    std::size_t start(std::size_t i) const { return starts_[i]; }
    std::size_t end(std::size_t i) const { return starts_[i] + std::size_t{info_[i].length}; }

    // The first block that ends after pos.
    std::size_t firstEndingAfter(std::size_t pos) const {
        // The first block that starts after pos; the one before it may hold
        // pos.
        const std::size_t lo =
            firstIndexWhere(size(), [&](std::size_t k) { return starts_[k] > pos; });
        return lo > 0 && end(lo - 1) > pos ? lo - 1 : lo;
    }

    // The findings in [oldFrom, oldTo) (positions before the change) are
    // those of [oldFrom, to) now (oldFrom and to at character boundaries of
    // the text as it is, the characters from `to` on as they were from
    // oldTo); the blocks from oldTo on shift by the difference. The blocks
    // that hold part of the range are scanned again whole, but for a change
    // inside the block whose findings are kept. counts follow.
    void replace(const GapBuffer& text, std::size_t oldFrom, std::size_t oldTo, std::size_t to,
                 KindCounts& counts) {
        const auto delta = static_cast<std::uint32_t>(to - oldTo); // modulo 2^32
        std::size_t i = firstEndingAfter(oldFrom);
        // A change that starts in the kept block and ends before the next
        // block.
        if (i < size() && keptValid_ && start(i) == keptStart_ && start(i) <= oldFrom &&
            (i + 1 == size() || start(i + 1) >= oldTo) &&
            replaceInKept(text, i, oldFrom, oldTo, to, counts))
            return;
        forgetKept();
        std::size_t j = i;
        while (j < size() && starts_[j] < oldTo)
            ++j;
        std::size_t from = oldFrom, until = to;
        if (j > i) {
            from = std::min(from, start(i));
            until = to + (std::max(oldTo, end(j - 1)) - oldTo);
            for (std::size_t k = i; k < j; ++k)
                for (std::size_t c = 0; c < kCharacterKinds; ++c)
                    counts[c] -= info_[k].counts[c];
            starts_.erase(i, j - i);
            info_.erase(i, j - i);
        }
        // The findings of the block that holds the change are kept.
        i = scanInto(text, from, until, i, counts, oldFrom);
        starts_.shiftFrom(i, delta);
    }

    // Scans [from, to) of text (from at a character boundary) into blocks
    // placed from index i on; returns the index after them. The findings of
    // the block that holds byte keep are kept.
    std::size_t scanInto(const GapBuffer& text, std::size_t from, std::size_t to, std::size_t i,
                         KindCounts& counts, std::size_t keep = static_cast<std::size_t>(-1)) {
        const std::size_t n = text.size();
        to = std::min(to, n);
        std::size_t p = from;
        while (p < to) {
            // The bytes a character at the end of a piece looks at, too.
            const std::size_t pieceEnd = std::min(to, p + kBlockBytes);
            const std::string_view piece = text.view(p, std::min(n, pieceEnd + 2));
            const bool keeping = keep >= p && keep < pieceEnd + 2;
            CountSink counted;
            KeepSink kept;
            std::size_t q;
            if (keeping) {
                kept_.clear();
                kept.out = &kept_;
                q = p + scan(piece, 0, pieceEnd - p, kept);
            } else {
                q = p + scan(piece, 0, pieceEnd - p, counted);
            }
            const CountSink& sink = keeping ? static_cast<const CountSink&>(kept) : counted;
            if (sink.any) {
                starts_.insert(i, static_cast<std::uint32_t>(p));
                Info info{static_cast<std::uint16_t>(q - p), sink.counts};
                info_.insert(i, info);
                for (std::size_t c = 0; c < kCharacterKinds; ++c)
                    counts[c] += sink.counts[c];
                if (keeping && keep < q) {
                    keptValid_ = true;
                    keptStart_ = static_cast<std::uint32_t>(p);
                }
                ++i;
            }
            p = q;
        }
        return i;
    }

    // Appends the findings that start in [from, to), in order.
    void marksIn(const GapBuffer& text, std::size_t from, std::size_t to,
                 std::vector<Mark>& out) const {
        const std::size_t n = text.size();
        for (std::size_t k = firstEndingAfter(from); k < size() && start(k) < to; ++k) {
            const std::size_t s = start(k), e = std::min(end(k), n);
            if (s >= e) break;
            if (keptValid_ && s == keptStart_) {
                auto f = std::lower_bound(
                    kept_.begin(), kept_.end(), from > s ? from - s : 0,
                    [](const BlockFinding& g, std::size_t offset) { return g.offset < offset; });
                for (; f != kept_.end() && s + f->offset < to; ++f)
                    out.push_back({s + f->offset, f->length, f->kind});
                continue;
            }
            // Only the characters from the one before from on: a scan from
            // a character's start finds the findings after it as a scan from
            // the block's start does (a character that is the second half of
            // a CR LF or of a letter and its voiced mark is found alone, but
            // before from).
            const std::size_t b = from > s ? characterStartFrom(text, s, std::min(from, e) - 1) : s;
            const std::size_t scanEnd = std::min(e, to);
            if (b >= scanEnd) continue;
            MarkSink sink{&out, b, from, to};
            scan(text.view(b, std::min(n, scanEnd + 2)), 0, scanEnd - b, sink);
        }
    }

  private:
    struct Info {
        std::uint16_t length = 0; // bytes (a piece and the character that crosses its end)
        std::array<std::uint16_t, kCharacterKinds> counts{};
    };
    static_assert(kMaxBlockBytes + 2 <= 0xFFFF);

    void forgetKept() {
        keptValid_ = false;
        kept_.clear();
    }

    // A change that starts in block i, whose findings are kept, and ends
    // before the next block: the kept findings in [oldFrom, oldTo) give way
    // to those of [oldFrom, to) (the block reaches to `to` at least: no
    // finding stands between blocks). False (and nothing changed) when the
    // block is to be scanned again whole: the scan of the change would not
    // stop at to, or the block grows too long.
    bool replaceInKept(const GapBuffer& text, std::size_t i, std::size_t oldFrom, std::size_t oldTo,
                       std::size_t to, KindCounts& counts) {
        const std::size_t s = start(i), n = text.size();
        const std::size_t oldEnd = end(i);
        const std::size_t newEnd = oldTo >= oldEnd ? to : oldEnd - oldTo + to;
        const std::size_t length = newEnd - s;
        if (length > kMaxBlockBytes) return false;
        // The change's findings go after the kept ones first.
        const std::size_t had = kept_.size();
        KeepSink sink;
        sink.out = &kept_;
        sink.shift = oldFrom - s;
        const std::string_view piece = text.view(oldFrom, std::min(n, to + 2));
        if (oldFrom + scan(piece, 0, to - oldFrom, sink) != to) {
            kept_.resize(had);
            return false;
        }
        const auto byOffset = [](const BlockFinding& f, std::size_t offset) {
            return f.offset < offset;
        };
        const auto kept = kept_.begin() + static_cast<std::ptrdiff_t>(had);
        const auto first = std::lower_bound(kept_.begin(), kept, oldFrom - s, byOffset);
        const auto last = std::lower_bound(first, kept, oldTo - s, byOffset);
        Info& info = info_.at(i);
        for (auto f = first; f != last; ++f) {
            --info.counts[static_cast<std::size_t>(f->kind)];
            --counts[static_cast<std::size_t>(f->kind)];
        }
        for (std::size_t c = 0; c < kCharacterKinds; ++c) {
            info.counts[c] += sink.counts[c];
            counts[c] += sink.counts[c];
        }
        const auto delta = static_cast<std::uint16_t>(to - oldTo); // modulo 2^16
        for (auto f = last; f != kept; ++f)
            f->offset = static_cast<std::uint16_t>(f->offset + delta);
        // The change's findings in place of those it replaced.
        std::rotate(last, kept, kept_.end());
        kept_.erase(first, last);
        info.length = static_cast<std::uint16_t>(length);
        starts_.shiftFrom(i + 1, static_cast<std::uint32_t>(to - oldTo));
        if (kept_.empty()) {
            // No finding left: the block goes.
            starts_.erase(i, 1);
            info_.erase(i, 1);
            forgetKept();
        }
        return true;
    }

    LineStarts starts_;
    GapVector<Info> info_;
    // The findings of the block that starts at keptStart_, by offset.
    std::vector<BlockFinding> kept_;
    std::uint32_t keptStart_ = 0;
    bool keptValid_ = false;
};

// Findings by position, with a lazily applied shift (LineStarts), and the kind
// and length of each (in the bits of Info above the kind's four).
template <class Info> class LiveCheck::Index {
  public:
    using Entry = IndexEntry;

    std::size_t size() const { return positions_.size(); }
    void clear() {
        positions_.clear();
        info_.clear();
    }
    std::size_t memoryBytes() const { return positions_.memoryBytes() + info_.memoryBytes(); }
    std::size_t position(std::size_t i) const { return positions_[i]; }
    Kind kind(std::size_t i) const { return static_cast<Kind>(info_[i] & 0x0F); }
    std::size_t length(std::size_t i) const { return (std::size_t{info_[i]} >> 4) + 1u; }

    // The first entry at or after pos.
    std::size_t lowerBound(std::size_t pos) const {
        return firstIndexWhere(size(), [&](std::size_t k) { return positions_[k] >= pos; });
    }

    void push_back(const Entry& e) {
        positions_.push_back(e.pos);
        info_.push_back(infoOf(e));
    }

    // Appends the place and length of the entries in [from, to).
    void marksIn(std::size_t from, std::size_t to, std::vector<LineMark>& out) const {
        for (std::size_t k = lowerBound(from); k < size() && position(k) < to; ++k)
            out.emplace_back(position(k), length(k));
    }

    // The entries in [oldFrom, oldTo) (positions before the change) give way
    // to fresh ones (positions after it); the entries from oldTo on shift by
    // delta. counts follow.
    void replace(std::size_t oldFrom, std::size_t oldTo, std::uint32_t delta,
                 const std::vector<Entry>& fresh, KindCounts& counts) {
        const std::size_t i = lowerBound(oldFrom);
        const std::size_t j = std::max(i, lowerBound(oldTo));
        for (std::size_t k = i; k < j; ++k)
            --counts[static_cast<std::size_t>(kind(k))];
        const std::size_t common = std::min(j - i, fresh.size());
        for (std::size_t k = 0; k < common; ++k) {
            positions_.set(i + k, fresh[k].pos);
            info_.at(i + k) = infoOf(fresh[k]);
        }
        if (fresh.size() > common) {
            for (std::size_t k = common; k < fresh.size(); ++k) {
                positions_.insert(i + k, fresh[k].pos);
                info_.insert(i + k, infoOf(fresh[k]));
            }
        } else if (j - i > common) {
            positions_.erase(i + common, j - i - common);
            info_.erase(i + common, j - i - common);
        }
        for (const Entry& e : fresh)
            ++counts[static_cast<std::size_t>(e.kind)];
        positions_.shiftFrom(i + fresh.size(), delta);
    }

  private:
    static constexpr std::uint32_t kMaxLength = (std::uint64_t{1} << (8 * sizeof(Info) - 4));
    static Info infoOf(const Entry& e) {
        const std::uint32_t length = std::clamp<std::uint32_t>(e.length, 1, kMaxLength);
        return static_cast<Info>(static_cast<std::uint32_t>(e.kind) | (length - 1) << 4);
    }
    LineStarts positions_;
    GapVector<Info> info_;
};

// The first break of each wrapped logical line, kept by the line's start
// (with a lazily applied shift) and the break's distance from it: an edit
// far into a long line leaves the break at its start as it was, and the
// breaks of the lines that start in a range are those of a range of
// entries.
class LiveCheck::Breaks {
  public:
    std::size_t size() const { return lines_.size(); }
    void clear() {
        lines_.clear();
        at_.clear();
    }
    std::size_t memoryBytes() const { return lines_.memoryBytes() + at_.memoryBytes(); }
    std::size_t position(std::size_t i) const { return std::size_t{lines_[i]} + (at_[i] >> 1); }
    std::size_t length(std::size_t i) const { return (at_[i] & 1) + 1; }

    // The first break at or after pos.
    std::size_t lowerBound(std::size_t pos) const {
        return firstIndexWhere(size(), [&](std::size_t k) { return position(k) >= pos; });
    }

    void push_back(std::size_t line, const IndexEntry& e) { insert(size(), line, e); }

    // Appends the place and length of the breaks of the lines that start in
    // [from, to).
    void marksOfLines(std::size_t from, std::size_t to, std::vector<LineMark>& out) const {
        for (std::size_t k = firstLineAtOrAfter(from); k < size() && lines_[k] < to; ++k)
            out.emplace_back(position(k), length(k));
    }

    // The breaks of the lines that start in [oldFrom, oldTo) (positions
    // before the change) give way to fresh ones (line starts and breaks
    // after it); the lines from oldTo on shift by delta. Returns the end of
    // the furthest break taken away, shifted by delta as though it lay past
    // the change (for what is to be drawn again).
    std::size_t replace(std::size_t oldFrom, std::size_t oldTo, std::uint32_t delta,
                        const std::vector<std::pair<std::size_t, IndexEntry>>& fresh) {
        std::size_t i = firstLineAtOrAfter(oldFrom);
        std::size_t j = std::max(i, firstLineAtOrAfter(oldTo));
        std::size_t furthest = 0;
        for (std::size_t k = i; k < j; ++k)
            furthest = std::max(furthest, static_cast<std::size_t>(static_cast<std::uint32_t>(
                                              position(k) + length(k) + delta)));
        lines_.erase(i, j - i);
        at_.erase(i, j - i);
        for (const auto& [line, e] : fresh)
            insert(i++, line, e);
        lines_.shiftFrom(i, delta);
        return furthest;
    }

  private:
    std::size_t firstLineAtOrAfter(std::size_t line) const {
        return firstIndexWhere(size(), [&](std::size_t k) { return lines_[k] >= line; });
    }
    void insert(std::size_t i, std::size_t line, const IndexEntry& e) {
        lines_.insert(i, static_cast<std::uint32_t>(line));
        at_.insert(i, static_cast<std::uint32_t>((e.pos - line) << 1 | (e.length > 1 ? 1 : 0)));
    }

    LineStarts lines_;
    GapVector<std::uint32_t> at_; // the break's distance from the line start, and 1 when it
                                  // is a double-byte character
};

namespace {

std::uint32_t charLengthAt(const GapBuffer& text, std::size_t pos) {
    if (pos + 1 < text.size() && cp932::isLeadByte(static_cast<unsigned char>(text.at(pos))) &&
        cp932::isTrailByte(static_cast<unsigned char>(text.at(pos + 1))))
        return 2;
    return 1;
}

bool mayHoldAt(const GapBuffer& text, std::size_t i) {
    return addresses::mayHold(text.at(i));
}

// Whether the wrap before row j of view may fall inside an address, or right
// after one that ends a row running past the width: there the text may be
// sent broken elsewhere. Where no wrap of a line does, the line is sent
// broken first where the screen wraps it, and it holds no address longer
// than the width (such an address wraps, or ends a row that runs past the
// width with a character the rules let hang).
bool wrapNearAddress(const GapBuffer& text, const LineView& view, std::size_t j,
                     std::size_t width) {
    const std::size_t p = view.line(j).start;
    return mayHoldAt(text, p - 1) && (mayHoldAt(text, p) || (p >= 2 && mayHoldAt(text, p - 2) &&
                                                             view.line(j - 1).length > width));
}

// The first break of the line that starts at row k of view and wraps there,
// as the line is sent (nothing when it fits as sent). Only a first wrap near
// an address needs the line laid out as sent (by sent, made when needed):
// a piece of the line that reaches well past its first break breaks first
// where the whole line does.
std::optional<IndexEntry> firstBreak(const GapBuffer& text, const LineView& view, std::size_t k,
                                     std::unique_ptr<LineView>& sent) {
    const auto width = static_cast<std::size_t>(std::max(view.rules().width, 0));
    if (!wrapNearAddress(text, view, k + 1, width)) {
        const auto p = static_cast<std::uint32_t>(view.line(k + 1).start);
        return IndexEntry{p, Kind::longLine, charLengthAt(text, p)};
    }
    if (!sent) {
        sent = std::make_unique<LineView>();
        sent->setKeepAddresses(true);
        sent->setRules(view.rules());
    }
    // Its character classes are made again only when the rules changed.
    const LayoutRules& rules = view.rules();
    const LayoutRules& had = sent->rules();
    if (had.width != rules.width || had.modeWord != rules.modeWord || had.custom != rules.custom)
        sent->setRules(rules);
    const std::size_t start = view.line(k).start, n = text.size();
    std::size_t piece = width + kFirstBreakReach;
    while (true) {
        std::string_view line = text.view(start, std::min(n, start + piece));
        // The line ends at its first line end.
        const std::size_t eol = line.find_first_of("\r\n");
        const bool whole = eol != std::string_view::npos || start + piece >= n;
        line = line.substr(0, eol);
        sent->layoutAll(line);
        if (sent->count() < 2) {
            if (whole) return std::nullopt;
        } else if (whole || sent->line(1).start + kFirstBreakReach <= line.size()) {
            const std::size_t wrap = sent->line(1).start;
            return IndexEntry{static_cast<std::uint32_t>(start + wrap), Kind::longLine,
                              static_cast<std::uint32_t>(cp932::charLength(line, wrap))};
        }
        piece *= 2;
    }
}

// Appends the addresses longer than the width in [from, to) of text (from at
// a character boundary; no address crosses from or to).
void longAddressesIn(const GapBuffer& text, std::size_t from, std::size_t to, std::size_t width,
                     std::vector<IndexEntry>& out) {
    // An address is a run of bytes an address may hold: without a run longer
    // than the width there is none to look for.
    static const std::array<bool, 256> holds = [] {
        std::array<bool, 256> h{};
        for (unsigned b = 0; b < 256; ++b)
            h[b] = addresses::mayHold(static_cast<char>(b));
        return h;
    }();
    std::size_t run = 0;
    bool longRun = false;
    text.forEachPiece(from, to, [&](std::string_view piece) {
        for (std::size_t k = 0; k < piece.size() && !longRun; ++k) {
            run = holds[static_cast<unsigned char>(piece[k])] ? run + 1 : 0;
            longRun = run > width;
        }
    });
    if (!longRun) return;
    for (const addresses::Span& a : addresses::find(text.view(from, to)))
        if (a.length > width)
            out.push_back({static_cast<std::uint32_t>(from + a.pos), Kind::longAddress,
                           static_cast<std::uint32_t>(a.length)});
}

} // namespace

LiveCheck::LiveCheck()
    : characters_(std::make_unique<Blocks>()), breaks_(std::make_unique<Breaks>()),
      addresses_(std::make_unique<Index<std::uint32_t>>()) {}
LiveCheck::~LiveCheck() = default;

std::size_t LiveCheck::total() const {
    std::size_t t = 0;
    for (std::size_t k = 0; k < kKindCount; ++k)
        if (static_cast<Kind>(k) != Kind::overLimit) t += counts_[k];
    return t;
}

void LiveCheck::clear() {
    characters_->clear();
    forgetLines();
    counts_ = {};
    linesKnown_ = false;
}

void LiveCheck::reset(const GapBuffer& text) {
    characters_->clear();
    for (std::size_t k = 0; k < kKindCount; ++k)
        if (isCharacterKind(static_cast<Kind>(k))) counts_[k] = 0;
    characters_->scanInto(text, 0, text.size(), 0, counts_);
}

std::size_t LiveCheck::memoryBytes() const {
    return sizeof(*this) + sizeof(Blocks) + characters_->memoryBytes() + sizeof(Breaks) +
           breaks_->memoryBytes() + sizeof(*addresses_) + addresses_->memoryBytes();
}

std::pair<std::size_t, std::size_t> LiveCheck::edited(const GapBuffer& text, std::size_t pos,
                                                      std::size_t removed, std::size_t inserted) {
    const std::size_t n = text.size();
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text.at(i)); };
    // Where the findings may have changed: from the character holding the
    // byte before the change (its pairing may depend on the changed bytes),
    // and the byte before it when that is a CR an LF may join or a
    // half-width letter a voiced mark may join; up to the first byte after
    // the change that cannot lead a double-byte character (from there on the
    // characters are as they were, but for a voiced mark after it).
    // The start of the character that holds byte i.
    auto characterStart = [&](std::size_t i) {
        std::size_t run = i;
        while (run > 0 && cp932::isLeadByte(byte(run - 1)))
            --run;
        std::size_t p = run;
        while (true) {
            const std::size_t len =
                p + 1 < n && cp932::isLeadByte(byte(p)) && cp932::isTrailByte(byte(p + 1)) ? 2 : 1;
            if (p + len > i) return p;
            p += len;
        }
    };
    std::size_t start = std::min(pos, n);
    if (start > 0) {
        start = characterStart(start - 1);
        if (start > 0) {
            const unsigned before = byte(start - 1);
            const bool letter =
                isHalfWidthKana(before) && before != kVoicedMark && before != kSemiVoicedMark;
            if (before == '\r' || (letter && characterStart(start - 1) == start - 1)) --start;
        }
    }
    std::size_t end = std::min(pos + inserted, n);
    while (end < n && cp932::isLeadByte(byte(end)))
        ++end;
    end = std::min(end + 1, n);
    // A voiced mark after that byte joined it when it was a letter of its
    // own; it may stand alone now, or the other way round.
    if (end < n && joinsVoicedMark(byte(end - 1), byte(end))) ++end;

    // The characters from there on are as they were. A scan from start
    // stops there, or a byte further when the step of the scan that holds
    // the byte before reaches past it: a double-byte character, a CR LF
    // pair, a letter and its voiced mark (a voiced mark that a letter
    // joins ends at end: it never joins the byte after it).
    std::size_t stopped = end;
    if (end > start && end < n) {
        const std::size_t c = characterStart(end - 1);
        const unsigned b = byte(c), next = c + 1 < n ? byte(c + 1) : 0;
        const bool pair = c + 1 < n && ((cp932::isLeadByte(b) && cp932::isTrailByte(next)) ||
                                        (b == '\r' && next == '\n') || joinsVoicedMark(b, next));
        stopped = std::max(end, c + (pair ? 2 : 1));
    }
    characters_->replace(text, start, stopped - inserted + removed, stopped, counts_);
    editPos_ = static_cast<std::uint32_t>(pos);
    editRemoved_ = static_cast<std::uint32_t>(removed);
    editInserted_ = static_cast<std::uint32_t>(inserted);
    // A CR LF before the change is read again only so that the scan takes
    // the two as a pair; what follows them never changes what they are.
    if (start + 2 <= pos && byte(start) == '\r' && byte(start + 1) == '\n') start += 2;
    return {start, stopped};
}

void LiveCheck::forgetLines() {
    breaks_->clear();
    addresses_->clear();
    counts_[static_cast<std::size_t>(Kind::longLine)] = 0;
    counts_[static_cast<std::size_t>(Kind::longAddress)] = 0;
    linesKnown_ = false;
}

void LiveCheck::resetLines(const GapBuffer& text, const LineView& view) {
    forgetLines();
    linesKnown_ = view.complete();
    if (!linesKnown_) return;
    const auto width = static_cast<std::size_t>(std::max(view.rules().width, 0));
    std::vector<IndexEntry> fresh;
    for (std::size_t a = 0; a < view.count();) {
        // The rows [a, b] of a logical line: its first break, and its long
        // addresses when a wrap falls near one.
        std::size_t b = a;
        bool nearAddress = false;
        while (view.wrapped(b)) {
            ++b;
            nearAddress = nearAddress || wrapNearAddress(text, view, b, width);
        }
        if (b > a) {
            const std::size_t start = view.line(a).start;
            if (const std::optional<IndexEntry> e = firstBreak(text, view, a, sent_))
                breaks_->push_back(start, *e);
            if (nearAddress) {
                fresh.clear();
                const LaidLine end = view.line(b);
                longAddressesIn(text, start, end.start + end.length, width, fresh);
                for (const IndexEntry& e : fresh)
                    addresses_->push_back(e);
                counts_[static_cast<std::size_t>(Kind::longAddress)] += fresh.size();
            }
        }
        a = b + 1;
    }
    counts_[static_cast<std::size_t>(Kind::longLine)] = breaks_->size();
}

std::pair<std::size_t, std::size_t> LiveCheck::linesEdited(const GapBuffer& text,
                                                           const LineView& view, LineView::Relaid r,
                                                           std::int64_t delta) {
    if (!view.complete()) {
        forgetLines();
        linesChanged_ = {0, 0};
        return {0, 0};
    }
    if (!linesKnown_ || view.count() == 0) {
        resetLines(text, view);
        linesChanged_ = {0, static_cast<std::uint32_t>(text.size())};
        return {0, text.size()};
    }
    // The rows laid out again hold the change; the row after them was not
    // laid out again, so it started there before the change too. (Rows laid
    // out again past the last one: the text lost its last rows.)
    const std::size_t rows = view.count(), n = text.size();
    const std::size_t first = std::min(r.first, rows - 1);
    const std::size_t last = std::min(r.first + r.count, rows - 1);
    const auto width = static_cast<std::size_t>(std::max(view.rules().width, 0));
    const auto d = static_cast<std::uint32_t>(delta);
    const std::size_t firstStart = view.line(first).start;
    // Where the rows after them start (bytes from there on are as they
    // were), before and after the change.
    std::size_t until = n, oldUntil = static_cast<std::size_t>(-1);
    if (last + 1 < rows) {
        until = view.line(last + 1).start;
        oldUntil = static_cast<std::uint32_t>(until - d);
    }

    // First breaks: those of the lines that start in the rows, and that of
    // the line the first of them continues, unless its first break depends
    // on no byte near them. A first break depends on the bytes up to its
    // first wrap, or up to the end of an address across that wrap, and a
    // few hundred bytes after (see firstBreak): a byte no address holds
    // after the first wrap, well before the rows, bounds it.
    std::size_t a = first;
    bool keepsBreak = false;
    while (a > 0 && view.wrapped(a - 1)) {
        const std::size_t row = a - 1;
        const std::size_t rowStart = view.line(row).start, rowEnd = view.line(a).start;
        if (row > 0 && view.wrapped(row - 1) && firstStart - rowEnd >= 2 * kFirstBreakReach) {
            bool bounded = false;
            for (std::size_t q = rowStart; q < rowEnd && !bounded; ++q)
                bounded = !mayHoldAt(text, q);
            if (bounded) {
                keepsBreak = true;
                break;
            }
        }
        --a;
    }
    const std::size_t breaksFrom = keepsBreak ? firstStart : view.line(a).start;
    std::vector<std::pair<std::size_t, IndexEntry>> breaks;
    std::size_t furthest = until;
    // Lines moved whole inside a run of one character hold no line end: no
    // logical line starts after the first of them.
    const std::size_t runFrom = r.runCount > 0 ? r.runFirst + 1 : static_cast<std::size_t>(-1);
    const std::size_t runTo = r.runFirst + r.runCount;
    for (std::size_t k = keepsBreak ? first : a; k <= last;) {
        if (k == runFrom) {
            k = runTo;
            continue;
        }
        if ((k == 0 || !view.wrapped(k - 1)) && view.wrapped(k)) {
            if (const std::optional<IndexEntry> e = firstBreak(text, view, k, sent_)) {
                breaks.push_back({view.line(k).start, *e});
                furthest = std::max<std::size_t>(furthest, e->pos + e->length);
            }
        }
        ++k;
    }
    // The marks given up, to be told from those that only moved with the
    // text.
    const bool knownEdit =
        static_cast<std::int64_t>(editInserted_) - static_cast<std::int64_t>(editRemoved_) == delta;
    ChangedMarks changed{knownEdit, editPos_, editRemoved_, editInserted_};
    lineMarks_.clear();
    breaks_->marksOfLines(breaksFrom, oldUntil, lineMarks_);
    std::size_t given = lineMarks_.size();
    for (const auto& b : breaks)
        lineMarks_.emplace_back(b.second.pos, b.second.length > 1 ? 2u : 1u);
    changed.compare(lineMarks_, given);
    furthest = std::max(furthest, breaks_->replace(breaksFrom, oldUntil, d, breaks));
    counts_[static_cast<std::size_t>(Kind::longLine)] = breaks_->size();

    // Long addresses: those that hold a changed byte are in the rows, or
    // run on across their edges in the same logical line.
    std::size_t b = first;
    while (b > 0 && view.wrapped(b - 1) && mayHoldAt(text, view.line(b).start - 1))
        --b;
    std::size_t e = last;
    while (e + 1 < rows && view.wrapped(e) && mayHoldAt(text, view.line(e + 1).start))
        ++e;
    const std::size_t addressesFrom = view.line(b).start;
    std::size_t addressesTo = n, oldAddressesTo = static_cast<std::size_t>(-1);
    if (e + 1 < rows) {
        addressesTo = view.line(e + 1).start;
        oldAddressesTo = static_cast<std::uint32_t>(addressesTo - d);
    }
    std::vector<IndexEntry> fresh;
    // A run of a character no address holds ends every address before it:
    // only the text on either side of the lines moved whole is looked at.
    const bool skipRun = r.runCount > 1 && r.runFirst + r.runCount < rows &&
                         !mayHoldAt(text, view.line(r.runFirst).start);
    if (skipRun && view.line(r.runFirst).start >= addressesFrom &&
        view.line(r.runFirst + r.runCount).start <= addressesTo) {
        longAddressesIn(text, addressesFrom, view.line(r.runFirst).start, width, fresh);
        longAddressesIn(text, view.line(r.runFirst + r.runCount).start, addressesTo, width, fresh);
    } else {
        longAddressesIn(text, addressesFrom, addressesTo, width, fresh);
    }
    lineMarks_.clear();
    addresses_->marksIn(addressesFrom, oldAddressesTo, lineMarks_);
    given = lineMarks_.size();
    for (const IndexEntry& e : fresh)
        lineMarks_.emplace_back(e.pos, e.length);
    changed.compare(lineMarks_, given);
    addresses_->replace(addressesFrom, oldAddressesTo, d, fresh, counts_);
    const std::pair<std::size_t, std::size_t> found{std::min(breaksFrom, addressesFrom),
                                                    std::min(n, std::max(furthest, addressesTo))};
    if (!knownEdit)
        linesChanged_ = {static_cast<std::uint32_t>(found.first),
                         static_cast<std::uint32_t>(found.second)};
    else if (changed.from < changed.to)
        linesChanged_ = {static_cast<std::uint32_t>(std::min(changed.from, n)),
                         static_cast<std::uint32_t>(std::min(changed.to, n))};
    else
        linesChanged_ = {0, 0};
    return found;
}

std::vector<LiveCheck::Mark> LiveCheck::marksIn(const GapBuffer& text, std::size_t from,
                                                std::size_t to) const {
    std::vector<Mark> out;
    marksIn(text, from, to, out);
    return out;
}

void LiveCheck::marksIn(const GapBuffer& text, std::size_t from, std::size_t to,
                        std::vector<Mark>& out) const {
    // The characters' findings and the long lines merged by position, a
    // character's finding before a long line's at the same place.
    out.clear();
    characters_->marksIn(text, from, to, out);
    // The long addresses and the breaks, an address before a break at the
    // same place, each put after the marks before it and at its place (there
    // are few of them).
    std::size_t i = addresses_->lowerBound(from), j = breaks_->lowerBound(from);
    std::size_t at = 0; // where the last one went
    while (true) {
        const bool moreAddresses = i < addresses_->size() && addresses_->position(i) < to;
        const bool moreBreaks = j < breaks_->size() && breaks_->position(j) < to;
        Mark m;
        if (moreAddresses && (!moreBreaks || addresses_->position(i) <= breaks_->position(j))) {
            m = {addresses_->position(i), addresses_->length(i), Kind::longAddress};
            ++i;
        } else if (moreBreaks) {
            m = {breaks_->position(j), breaks_->length(j), Kind::longLine};
            ++j;
        } else {
            break;
        }
        // After every mark at its place and before it.
        at = static_cast<std::size_t>(
            std::upper_bound(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), m.pos,
                             [](std::size_t pos, const Mark& k) { return pos < k.pos; }) -
            out.begin());
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), m);
        ++at;
    }
}

} // namespace mailcheck
