#include "rtf.h"

#include "cp932.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <map>
#include <string>
#include <unordered_map>

namespace rtf {

bool isRichText(std::string_view bytes) {
    return bytes.substr(0, 5) == std::string_view("{\\rtf");
}

QString RichText::plainText() const {
    QString out;
    for (std::size_t p = 0; p < paragraphs.size(); ++p) {
        if (p > 0) out += QLatin1Char('\n');
        for (const Run& run : paragraphs[p].runs)
            out += run.text;
    }
    return out;
}

namespace {

constexpr char16_t kSubstitute = 0xFFFD;
constexpr char16_t kLineBreak = 0x2028;
constexpr int kDefaultHalfPoints = 24;
constexpr int kAnsiCodePage = 1252;
constexpr int kJapaneseCodePage = 932;
// The font a format names when it names none: the document's default font.
constexpr int kDefaultFont = -1;
// A colour index that names no entry: the viewer's colour.
constexpr int kAutoColor = -1;

// Code page of a font's \fcharset; 0 when the document's code page applies.
int charsetCodePage(int charset) {
    switch (charset) {
    case 0:   // ANSI
    case 2:   // symbol: shown as Latin text
    case 77:  // Macintosh
    case 255: // OEM
        return kAnsiCodePage;
    case 128:
        return kJapaneseCodePage;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    default: // 1 (the system's default) and anything unknown
        return 0;
    }
}

bool isDoubleByteCodePage(int codePage) {
    return codePage == kJapaneseCodePage || codePage == 936 || codePage == 949 || codePage == 950;
}

bool isLeadByteIn(int codePage, unsigned char b) {
    if (codePage == kJapaneseCodePage) return cp932::isLeadByte(b);
    return isDoubleByteCodePage(codePage) && b >= 0x81 && b <= 0xFE;
}

bool isTrailByteIn(int codePage, unsigned char b) {
    if (codePage == kJapaneseCodePage) return cp932::isTrailByte(b);
    return isDoubleByteCodePage(codePage) && b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// Windows-1252 for 0x80 to 0x9F; the rest is Latin-1.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC,      kSubstitute, 0x201A, 0x0192, 0x201E, 0x2026,      0x2020, 0x2021,
    0x02C6,      0x2030,      0x0160, 0x2039, 0x0152, kSubstitute, 0x017D, kSubstitute,
    kSubstitute, 0x2018,      0x2019, 0x201C, 0x201D, 0x2022,      0x2013, 0x2014,
    0x02DC,      0x2122,      0x0161, 0x203A, 0x0153, kSubstitute, 0x017E, 0x0178};

QString decodeWindows1252(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char ch : bytes) {
        const unsigned char b = static_cast<unsigned char>(ch);
        out += QChar(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char16_t{b});
    }
    return out;
}

const char* converterName(int codePage) {
    switch (codePage) {
    case 874:
        return "windows-874";
    case 936:
        return "GBK";
    case 949:
        return "windows-949";
    case 950:
        return "Big5";
    case 1250:
        return "windows-1250";
    case 1251:
        return "windows-1251";
    case 1253:
        return "windows-1253";
    case 1254:
        return "windows-1254";
    case 1255:
        return "windows-1255";
    case 1256:
        return "windows-1256";
    case 1257:
        return "windows-1257";
    case 1258:
        return "windows-1258";
    default:
        return nullptr;
    }
}

// Characters a viewer must not take from a document: control characters
// (C0 but the tab, DEL, C1), noncharacters, and the marks that change the
// direction of the text around them (the bidirectional embeddings,
// overrides, isolates and directional marks).
bool unshowable(char32_t c) {
    return (c < 0x20 && c != '\t') || (c >= 0x7F && c <= 0x9F) || (c >= 0xFDD0 && c <= 0xFDEF) ||
           (c & 0xFFFE) == 0xFFFE || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Replaces what a viewer cannot show as text with U+FFFD: the characters
// above and surrogates that do not form a pair (one U+FFFD for each).
void sanitize(QString& text) {
    const qsizetype n = text.size();
    qsizetype out = 0; // a pair replaced by one U+FFFD shortens the text
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            const char16_t low = text.at(i + 1).unicode();
            ++i;
            if (unshowable(QChar::surrogateToUcs4(u, low))) {
                text[out++] = QChar(kSubstitute);
            } else {
                text[out++] = QChar(u);
                text[out++] = QChar(low);
            }
        } else {
            text[out++] = QChar::isSurrogate(u) || unshowable(u) ? QChar(kSubstitute) : QChar(u);
        }
    }
    text.truncate(out);
}

enum class Destination : std::uint8_t { Body, FontTable, ColorTable, Skip };

struct Format {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    bool hidden = false;
    VerticalPosition position = VerticalPosition::Normal;
    int halfPoints = kDefaultHalfPoints;
    int font = kDefaultFont;
    int color = kAutoColor;
    int background = kAutoColor;
    bool operator==(const Format&) const = default;
};

// What a group keeps and gives back when it ends.
struct State {
    Format format;
    Alignment alignment = Alignment::Left;
    int unicodeSkip = 1; // fallback characters after \uN
    Destination destination = Destination::Body;
};

struct FontEntry {
    int charset = -1;
    int codePage = 0;
    QString name;
};

struct RawRun {
    QString text;
    Format format;
};

struct RawParagraph {
    Alignment alignment = Alignment::Left;
    std::vector<RawRun> runs;
};

enum class Word : std::uint8_t {
    FontTable,
    ColorTable,
    SkippedDestination,
    Paragraph,
    Character,
    Unicode,
    UnicodeSkip,
    Binary,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    StrikeOut,
    Hidden,
    Superscript,
    Subscript,
    NoSuperscript,
    FontSize,
    Font,
    Charset,
    CodePage,
    TextColor,
    Background,
    Plain,
    ParagraphDefaults,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustify,
    DefaultFont,
    AnsiCodePage,
    Red,
    Green,
    Blue,
};

struct WordMeaning {
    Word word;
    char16_t character = 0; // for Word::Character
};

const std::unordered_map<std::string_view, WordMeaning>& controlWords() {
    static const std::unordered_map<std::string_view, WordMeaning> words = [] {
        std::unordered_map<std::string_view, WordMeaning> w;
        w["fonttbl"] = {Word::FontTable};
        w["colortbl"] = {Word::ColorTable};
        for (const char* name : {"stylesheet",
                                 "info",
                                 "pict",
                                 "header",
                                 "headerl",
                                 "headerr",
                                 "headerf",
                                 "footer",
                                 "footerl",
                                 "footerr",
                                 "footerf",
                                 "footnote",
                                 "object",
                                 "objdata",
                                 "fldinst",
                                 "xe",
                                 "tc",
                                 "txe",
                                 "rxe",
                                 "bkmkstart",
                                 "bkmkend",
                                 "themedata",
                                 "colorschememapping",
                                 "datastore",
                                 "latentstyles",
                                 "listtable",
                                 "listoverridetable",
                                 "rsidtbl",
                                 "generator",
                                 "mmathPr",
                                 "filetbl",
                                 "revtbl",
                                 "pgdsctbl",
                                 "nonshppict",
                                 "shpinst",
                                 "private",
                                 "userprops",
                                 "xmlnstbl",
                                 "pntxta",
                                 "pntxtb",
                                 "annotation",
                                 "atnid",
                                 "atnauthor",
                                 "atrfstart",
                                 "atrfend",
                                 "fchars",
                                 "lchars",
                                 "template",
                                 "do",
                                 "operator",
                                 "comment",
                                 "author",
                                 "title"})
            w[name] = {Word::SkippedDestination};
        for (const char* name : {"par", "sect", "page", "row"})
            w[name] = {Word::Paragraph};
        const std::pair<const char*, char16_t> characters[] = {
            {"line", kLineBreak},  {"tab", u'\t'},      {"cell", u'\t'},     {"emdash", 0x2014},
            {"endash", 0x2013},    {"emspace", 0x2003}, {"enspace", 0x2002}, {"qmspace", 0x2005},
            {"bullet", 0x2022},    {"lquote", 0x2018},  {"rquote", 0x2019},  {"ldblquote", 0x201C},
            {"rdblquote", 0x201D}, {"zwj", 0x200D},     {"zwnj", 0x200C},    {"zwbo", 0x200B},
            {"ltrmark", 0x200E},   {"rtlmark", 0x200F}};
        for (const auto& [name, ch] : characters)
            w[name] = {Word::Character, ch};
        w["u"] = {Word::Unicode};
        w["uc"] = {Word::UnicodeSkip};
        w["bin"] = {Word::Binary};
        w["b"] = {Word::Bold};
        w["i"] = {Word::Italic};
        for (const char* name : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave",
                                 "ulldash", "ulth", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd",
                                 "ulthldash", "ululdbwave", "ulw", "ulwave"})
            w[name] = {Word::Underline};
        w["ulnone"] = {Word::UnderlineNone};
        w["strike"] = {Word::StrikeOut};
        w["striked"] = {Word::StrikeOut};
        w["v"] = {Word::Hidden};
        w["super"] = {Word::Superscript};
        w["sub"] = {Word::Subscript};
        w["nosupersub"] = {Word::NoSuperscript};
        w["fs"] = {Word::FontSize};
        w["f"] = {Word::Font};
        w["fcharset"] = {Word::Charset};
        w["cpg"] = {Word::CodePage};
        w["cf"] = {Word::TextColor};
        w["cb"] = {Word::Background};
        w["highlight"] = {Word::Background};
        w["chcbpat"] = {Word::Background};
        w["plain"] = {Word::Plain};
        w["pard"] = {Word::ParagraphDefaults};
        w["ql"] = {Word::AlignLeft};
        w["qc"] = {Word::AlignCenter};
        w["qr"] = {Word::AlignRight};
        w["qj"] = {Word::AlignJustify};
        w["qd"] = {Word::AlignJustify};
        w["deff"] = {Word::DefaultFont};
        w["ansicpg"] = {Word::AnsiCodePage};
        w["red"] = {Word::Red};
        w["green"] = {Word::Green};
        w["blue"] = {Word::Blue};
        return w;
    }();
    return words;
}

bool isLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
int hexValue(unsigned char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class Reader {
  public:
    explicit Reader(std::string_view in) : in_(in) {
        stack_.reserve(64);
        stack_.emplace_back();
        paragraphs_.emplace_back();
    }

    RichText run();

  private:
    State& state() { return stack_.back(); }
    Destination destination() const { return stack_.back().destination; }

    void openGroup();
    void closeGroup();
    void control();
    void controlWord();
    void apply(const WordMeaning& meaning, bool hasParam, int param);

    // Consumes one fallback character of \uN when one is due.
    bool skipFallback() {
        if (fallbackLeft_ == 0) return false;
        --fallbackLeft_;
        return true;
    }

    // A byte of text: single-byte text goes out at once, bytes of the code
    // page's upper half wait to be decoded with the bytes next to them.
    void textByte(unsigned char b, bool escaped);
    void addPending(unsigned char b);
    void flush();
    void output(QStringView text);
    void outputChar(char16_t ch) { output(QStringView(&ch, 1)); }
    void outputCodePoint(long long code);
    void endParagraph();

    int codePageOfFont(int font) const;
    int currentCodePage() const;
    QString decode(std::string_view bytes, int codePage);

    std::string_view in_;
    std::size_t pos_ = 0;
    std::vector<State> stack_; // stack_[0] is outside every group
    int overflow_ = 0;         // groups opened past kMaxGroupDepth, not kept
    bool ended_ = false;
    int fallbackLeft_ = 0;

    std::string pending_;
    int pendingCodePage_ = kAnsiCodePage;
    bool leadOpen_ = false; // the last pending byte starts a double-byte character

    int ansiCodePage_ = kAnsiCodePage;
    int defaultFont_ = 0;
    std::map<int, FontEntry> fonts_;
    FontEntry* fontEntry_ = nullptr; // the entry of the font table being read
    bool fontNameOpen_ = false;
    std::vector<std::optional<Color>> colors_;
    Color nextColor_;
    bool nextColorSet_ = false;
    std::map<int, QStringDecoder> decoders_;

    std::vector<RawParagraph> paragraphs_;
};

void Reader::openGroup() {
    fallbackLeft_ = 0;
    flush();
    if (static_cast<int>(stack_.size()) > kMaxGroupDepth) {
        ++overflow_;
        return;
    }
    stack_.push_back(stack_.back());
}

void Reader::closeGroup() {
    fallbackLeft_ = 0;
    flush();
    if (overflow_ > 0) {
        --overflow_;
        return;
    }
    if (stack_.size() <= 1) return; // a stray brace outside every group
    if (destination() == Destination::FontTable) fontNameOpen_ = false;
    stack_.pop_back();
    // The outermost group holds the whole document.
    if (stack_.size() == 1) ended_ = true;
}

void Reader::control() {
    if (pos_ >= in_.size()) return;
    const unsigned char c = static_cast<unsigned char>(in_[pos_]);
    if (isLetter(c)) {
        controlWord();
        return;
    }
    ++pos_;
    if (c == '\'') {
        int value = 0;
        int digits = 0;
        while (digits < 2 && pos_ < in_.size()) {
            const int h = hexValue(static_cast<unsigned char>(in_[pos_]));
            if (h < 0) break;
            value = value * 16 + h;
            ++digits;
            ++pos_;
        }
        if (digits < 2 || skipFallback()) return; // a broken escape shows nothing
        textByte(static_cast<unsigned char>(value), true);
        return;
    }
    if (skipFallback()) return;
    switch (c) {
    case '\\':
    case '{':
    case '}':
        textByte(c, true);
        break;
    case '~':
        outputChar(0x00A0);
        break;
    case '_':
        outputChar(0x2011);
        break;
    case '*':
        flush();
        state().destination = Destination::Skip;
        break;
    case '\r':
    case '\n':
        endParagraph();
        break;
    default: // \- (optional hyphen), \: and \| show nothing
        flush();
        break;
    }
}

void Reader::controlWord() {
    const std::size_t start = pos_;
    while (pos_ < in_.size() && isLetter(static_cast<unsigned char>(in_[pos_])))
        ++pos_;
    const std::string_view name = in_.substr(start, pos_ - start);
    bool negative = false;
    if (pos_ + 1 < in_.size() && in_[pos_] == '-' &&
        isDigit(static_cast<unsigned char>(in_[pos_ + 1]))) {
        negative = true;
        ++pos_;
    }
    bool hasParam = false;
    long long value = 0;
    while (pos_ < in_.size() && isDigit(static_cast<unsigned char>(in_[pos_]))) {
        hasParam = true;
        if (value <= INT_MAX) value = value * 10 + (in_[pos_] - '0');
        ++pos_;
    }
    if (negative) value = -value;
    const int param = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;

    const auto& words = controlWords();
    const auto it = words.find(name);
    if (it != words.end() && it->second.word == Word::Binary) {
        // Binary data follows: it may hold any byte, braces included.
        if (hasParam && param > 0)
            pos_ += std::min<std::size_t>(static_cast<std::size_t>(param), in_.size() - pos_);
        skipFallback();
        return;
    }
    if (skipFallback()) return;
    flush();
    if (it != words.end()) apply(it->second, hasParam, param);
}

void Reader::apply(const WordMeaning& meaning, bool hasParam, int param) {
    State& s = state();
    Format& f = s.format;
    const bool on = !hasParam || param != 0;
    const Destination dest = s.destination;
    auto enter = [&](Destination d) {
        if (dest != Destination::Skip) s.destination = d;
    };
    switch (meaning.word) {
    case Word::FontTable:
        enter(Destination::FontTable);
        break;
    case Word::ColorTable:
        enter(Destination::ColorTable);
        break;
    case Word::SkippedDestination:
        s.destination = Destination::Skip;
        break;
    case Word::Paragraph:
        endParagraph();
        break;
    case Word::Character:
        outputChar(meaning.character);
        break;
    case Word::Unicode:
        if (!hasParam) break;
        outputCodePoint(param < 0 ? 65536LL + param : param);
        fallbackLeft_ = s.unicodeSkip;
        break;
    case Word::UnicodeSkip:
        s.unicodeSkip = hasParam ? std::max(param, 0) : 1;
        break;
    case Word::Binary:
        break;
    case Word::Bold:
        f.bold = on;
        break;
    case Word::Italic:
        f.italic = on;
        break;
    case Word::Underline:
        f.underline = on;
        break;
    case Word::UnderlineNone:
        f.underline = false;
        break;
    case Word::StrikeOut:
        f.strikeOut = on;
        break;
    case Word::Hidden:
        f.hidden = on;
        break;
    case Word::Superscript:
        f.position = VerticalPosition::Superscript;
        break;
    case Word::Subscript:
        f.position = VerticalPosition::Subscript;
        break;
    case Word::NoSuperscript:
        f.position = VerticalPosition::Normal;
        break;
    case Word::FontSize:
        f.halfPoints =
            hasParam ? std::clamp(param, kMinHalfPoints, kMaxHalfPoints) : kDefaultHalfPoints;
        break;
    case Word::Font:
        if (dest == Destination::FontTable) {
            fontEntry_ = &(fonts_[hasParam ? param : 0] = FontEntry{});
            fontNameOpen_ = true;
        } else {
            f.font = hasParam ? param : 0;
        }
        break;
    case Word::Charset:
        if (dest == Destination::FontTable && fontEntry_ && hasParam) fontEntry_->charset = param;
        break;
    case Word::CodePage:
        if (dest == Destination::FontTable && fontEntry_ && hasParam) fontEntry_->codePage = param;
        break;
    case Word::TextColor:
        f.color = hasParam ? param : 0;
        break;
    case Word::Background:
        f.background = hasParam ? param : 0;
        break;
    case Word::Plain:
        f = Format{};
        break;
    case Word::ParagraphDefaults:
        s.alignment = Alignment::Left;
        break;
    case Word::AlignLeft:
        s.alignment = Alignment::Left;
        break;
    case Word::AlignCenter:
        s.alignment = Alignment::Center;
        break;
    case Word::AlignRight:
        s.alignment = Alignment::Right;
        break;
    case Word::AlignJustify:
        s.alignment = Alignment::Justify;
        break;
    case Word::DefaultFont:
        if (hasParam) defaultFont_ = param;
        break;
    case Word::AnsiCodePage:
        if (hasParam) ansiCodePage_ = param;
        break;
    case Word::Red:
    case Word::Green:
    case Word::Blue:
        if (dest == Destination::ColorTable) {
            const auto v = static_cast<std::uint8_t>(std::clamp(hasParam ? param : 0, 0, 255));
            if (meaning.word == Word::Red) nextColor_.red = v;
            if (meaning.word == Word::Green) nextColor_.green = v;
            if (meaning.word == Word::Blue) nextColor_.blue = v;
            nextColorSet_ = true;
        }
        break;
    }
}

void Reader::textByte(unsigned char b, bool escaped) {
    switch (destination()) {
    case Destination::Skip:
        return;
    case Destination::ColorTable:
        if (b == ';' && !escaped) {
            colors_.push_back(nextColorSet_ ? std::optional<Color>(nextColor_) : std::nullopt);
            nextColor_ = Color{};
            nextColorSet_ = false;
        }
        return;
    case Destination::FontTable:
        if (b == ';' && !escaped) {
            flush();
            fontNameOpen_ = false;
            return;
        }
        break;
    case Destination::Body:
        break;
    }
    if (b >= 0x80 || (leadOpen_ && isTrailByteIn(pendingCodePage_, b))) {
        addPending(b);
        return;
    }
    flush();
    outputChar(b);
}

void Reader::addPending(unsigned char b) {
    if (pending_.empty()) {
        pendingCodePage_ = currentCodePage();
        leadOpen_ = false;
    }
    pending_.push_back(static_cast<char>(b));
    leadOpen_ = !leadOpen_ && isLeadByteIn(pendingCodePage_, b);
}

void Reader::flush() {
    if (pending_.empty()) return;
    const QString text = decode(pending_, pendingCodePage_);
    pending_.clear();
    leadOpen_ = false;
    output(text);
}

void Reader::output(QStringView text) {
    flush();
    switch (destination()) {
    case Destination::Body: {
        const State& s = stack_.back();
        if (s.format.hidden) return;
        RawParagraph& p = paragraphs_.back();
        p.alignment = s.alignment;
        if (p.runs.empty() || !(p.runs.back().format == s.format))
            p.runs.push_back(RawRun{QString(), s.format});
        p.runs.back().text += text;
        break;
    }
    case Destination::FontTable:
        if (fontNameOpen_ && fontEntry_) fontEntry_->name += text;
        break;
    case Destination::ColorTable:
    case Destination::Skip:
        break;
    }
}

void Reader::outputCodePoint(long long code) {
    if (code < 0 || code > 0x10FFFF) {
        outputChar(kSubstitute);
    } else if (code > 0xFFFF) {
        const char32_t c = static_cast<char32_t>(code);
        const char16_t pair[2] = {QChar::highSurrogate(c), QChar::lowSurrogate(c)};
        output(QStringView(pair, 2));
    } else {
        outputChar(static_cast<char16_t>(code));
    }
}

void Reader::endParagraph() {
    flush();
    const State& s = stack_.back();
    if (s.destination != Destination::Body || s.format.hidden) return;
    paragraphs_.back().alignment = s.alignment;
    paragraphs_.emplace_back();
}

int Reader::codePageOfFont(int font) const {
    const auto it = fonts_.find(font == kDefaultFont ? defaultFont_ : font);
    if (it != fonts_.end()) {
        if (it->second.codePage > 0) return it->second.codePage;
        if (const int cp = charsetCodePage(it->second.charset)) return cp;
    }
    return ansiCodePage_;
}

int Reader::currentCodePage() const {
    if (stack_.back().destination == Destination::FontTable) {
        if (fontEntry_ && fontEntry_->codePage > 0) return fontEntry_->codePage;
        if (fontEntry_)
            if (const int cp = charsetCodePage(fontEntry_->charset)) return cp;
        return ansiCodePage_;
    }
    return codePageOfFont(stack_.back().format.font);
}

QString Reader::decode(std::string_view bytes, int codePage) {
    if (codePage == kJapaneseCodePage) return cp932::decode(bytes);
    if (const char* name = converterName(codePage)) {
        auto it = decoders_.find(codePage);
        if (it == decoders_.end())
            it =
                decoders_.emplace(codePage, QStringDecoder(name, QStringConverter::Flag::Stateless))
                    .first;
        if (it->second.isValid())
            return it->second.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    }
    return decodeWindows1252(bytes);
}

RichText Reader::run() {
    while (pos_ < in_.size() && !ended_) {
        const unsigned char c = static_cast<unsigned char>(in_[pos_]);
        ++pos_;
        switch (c) {
        case '{':
            openGroup();
            break;
        case '}':
            closeGroup();
            break;
        case '\\':
            control();
            break;
        case '\r':
        case '\n':
            break; // line ends of the file are not text
        default:
            if (!skipFallback()) textByte(c, false);
            break;
        }
    }
    flush();

    // The last paragraph mark ends the text; it opens no empty paragraph.
    if (paragraphs_.size() > 1 && paragraphs_.back().runs.empty()) paragraphs_.pop_back();

    std::map<int, QString> families;
    for (auto& [index, entry] : fonts_) {
        QString name = entry.name.trimmed();
        if (name.startsWith(QLatin1Char('@'))) name.remove(0, 1); // vertical writing
        sanitize(name);
        families.emplace(index, name);
    }
    auto colorAt = [this](int index) -> std::optional<Color> {
        if (index < 0 || static_cast<std::size_t>(index) >= colors_.size()) return std::nullopt;
        return colors_[static_cast<std::size_t>(index)];
    };

    RichText out;
    out.paragraphs.reserve(paragraphs_.size());
    for (RawParagraph& raw : paragraphs_) {
        Paragraph& p = out.paragraphs.emplace_back();
        p.alignment = raw.alignment;
        p.runs.reserve(raw.runs.size());
        for (RawRun& r : raw.runs) {
            CharFormat cf;
            cf.bold = r.format.bold;
            cf.italic = r.format.italic;
            cf.underline = r.format.underline;
            cf.strikeOut = r.format.strikeOut;
            cf.position = r.format.position;
            cf.halfPoints = r.format.halfPoints;
            cf.color = colorAt(r.format.color);
            cf.background = colorAt(r.format.background);
            const auto family =
                families.find(r.format.font == kDefaultFont ? defaultFont_ : r.format.font);
            if (family != families.end()) cf.fontFamily = family->second;
            sanitize(r.text);
            p.runs.push_back(Run{std::move(r.text), std::move(cf)});
        }
    }
    return out;
}

} // namespace

RichText read(std::string_view bytes) {
    return Reader(bytes).run();
}

} // namespace rtf
