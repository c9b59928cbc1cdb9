#include "sample_text.h"

#include "text/cp932.h"

#include <QString>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

std::string sj(const char* utf8) {
    return cp932::encodeKnown(QString::fromUtf8(utf8));
}

// A piece of text with its length in characters.
struct Word {
    std::string bytes;
    std::size_t chars;
};

std::vector<Word> wordsOf(std::initializer_list<const char*> list) {
    std::vector<Word> w;
    for (const char* s : list) {
        std::string b = sj(s);
        const std::size_t n = cp932::countCharacters(b);
        w.push_back({std::move(b), n});
    }
    return w;
}

class NewsletterWriter {
  public:
    explicit NewsletterWriter(std::size_t bytes) : target_(bytes) {
        t_.reserve(bytes + (64 << 10));
    }

    std::string run() {
        while (t_.size() < target_)
            edition();
        return std::move(t_);
    }

  private:
    std::size_t pick(std::size_t n) { return rng_() % n; }
    std::size_t between(std::size_t lo, std::size_t hi) { return lo + pick(hi - lo + 1); }
    void line(const std::string& s) {
        t_ += s;
        t_ += "\r\n";
    }
    void blank() { t_ += "\r\n"; }

    // Sentences until the paragraph holds at least chars characters (or
    // bytes bytes when given).
    void paragraph(std::size_t chars, std::size_t bytes = 0) {
        const std::size_t begin = t_.size();
        std::size_t n = 0;
        t_ += indent_;
        while (bytes ? t_.size() - begin < bytes : n < chars) {
            if (pick(12) == 0) {
                t_ += open_;
                n += sentence(3);
                t_ += close_;
                n += 2;
            } else {
                n += sentence(4 + pick(14));
            }
        }
        t_ += "\r\n";
    }

    std::size_t sentence(std::size_t words) {
        std::size_t n = 0;
        for (std::size_t i = 0; i < words; ++i) {
            const std::size_t r = pick(20);
            const Word& w = r == 0   ? latin_[pick(latin_.size())]
                            : r == 1 ? halfKana_[pick(halfKana_.size())]
                                     : words_[pick(words_.size())];
            t_ += w.bytes;
            n += w.chars;
            if (r == 0) { // a space after an ASCII word
                t_ += ' ';
                ++n;
            }
            if (pick(7) == 0) {
                t_ += comma_;
                ++n;
            }
        }
        t_ += period_;
        return n + 1;
    }

    void frame() {
        std::string s;
        for (int i = 0; i < 17; ++i)
            s += squares_;
        line(s);
    }
    void rule(const std::string& piece, int count) {
        std::string s;
        for (int i = 0; i < count; ++i)
            s += piece;
        line(s);
    }

    void table() {
        const std::size_t rows = between(3, 6);
        for (std::size_t r = 0; r < rows; ++r) {
            const Word& key = tableKeys_[pick(tableKeys_.size())];
            std::string s = key.bytes + "\t";
            if (key.chars < 4) s += "\t";
            s += words_[pick(words_.size())].bytes;
            s += words_[pick(words_.size())].bytes;
            if (pick(2)) s += "\t" + latin_[pick(latin_.size())].bytes;
            line(s);
        }
    }

    void edition() {
        ++number_;
        frame();
        line(sj("　「もるもる」メールマガジン　第") + std::to_string(number_) + sj("号"));
        line(sj("　　　　　　　　　　　　　　　　　２０２６年１２月") +
             std::to_string(1 + number_ % 28) + sj("日発行"));
        frame();
        blank();
        paragraph(between(50, 150));
        blank();
        rule(heavy_, 35);
        line(sj("◆目次"));
        rule(heavy_, 35);
        for (const char* s : {"　１．今週の話題", "　２．お知らせ", "　３．読者のひろば"})
            line(sj(s));
        blank();
        for (const char* heading : {"◆１．今週の話題", "◆２．お知らせ", "◆３．読者のひろば"}) {
            rule(heavy_, 35);
            line(sj(heading));
            rule(heavy_, 35);
            blank();
            const std::size_t paragraphs = between(1, 3);
            for (std::size_t p = 0; p < paragraphs; ++p) {
                paragraph(between(300, 3000));
                blank();
                if (!hugeDone_ && target_ >= kMB && t_.size() >= target_ / 3) {
                    paragraph(0, 100 << 10);
                    blank();
                    hugeDone_ = true;
                }
            }
            if (pick(2)) {
                table();
                blank();
            }
            if (pick(2)) {
                line(halfKanaLines_[pick(halfKanaLines_.size())]);
                blank();
            }
            line(sj("　→ http://example.jp/mag/") + std::to_string(number_) + ".html");
            blank();
        }
        rule(thin_, 35);
        line(sj("発行：「もるもる」編集部　mag@example.jp"));
        line(sj("配信の停止：http://example.jp/stop/"));
        rule(thin_, 35);
        blank();
        blank();
    }

    std::size_t target_;
    std::string t_;
    std::mt19937 rng_{2026};
    int number_ = 100;
    bool hugeDone_ = false;
    const std::vector<Word> words_ = wordsOf({"今週の",
                                              "メールマガジン",
                                              "では",
                                              "新しい",
                                              "話題",
                                              "について",
                                              "お届けします",
                                              "読者",
                                              "の皆様",
                                              "から",
                                              "いただいた",
                                              "ご質問",
                                              "にお答えし",
                                              "ます",
                                              "「もるもる」",
                                              "編集部",
                                              "より",
                                              "詳しくは",
                                              "ホームページ",
                                              "をご覧ください",
                                              "２０２６",
                                              "年",
                                              "１２",
                                              "月",
                                              "号",
                                              "ぁ",
                                              "ー",
                                              "ですが",
                                              "その",
                                              "東京",
                                              "大阪",
                                              "会場",
                                              "参加",
                                              "申し込み",
                                              "受付",
                                              "締め切り",
                                              "【重要】",
                                              "（予定）",
                                              "※",
                                              "『新刊』",
                                              "紹介",
                                              "季節の"});
    const std::vector<Word> latin_ =
        wordsOf({"http://example.jp/mag/", "ID", "2026", "12", "PC", "Windows", "e-mail",
                 "mag@example.jp", "No.1", "Q&A"});
    const std::vector<Word> halfKana_ =
        wordsOf({"ｱﾝｹｰﾄ", "ﾌﾟﾚｾﾞﾝﾄ", "ｷｬﾝﾍﾟｰﾝ", "ｾｰﾙ", "ﾒｰﾙ", "ﾆｭｰｽ"});
    const std::vector<Word> tableKeys_ =
        wordsOf({"日時", "会場", "参加費", "定員", "申し込み先", "問い合わせ"});
    const std::vector<std::string> halfKanaLines_ = {
        sj("ｼﾝｼｮｳﾋﾝ ｾｰﾙ ﾁｭｳ!! ｲﾏｽｸﾞ ｱｸｾｽ ｼﾃｸﾀﾞｻｲ｡"),
        sj("｢ﾓﾙﾓﾙ｣ ﾍﾝｼｭｳﾌﾞ ﾖﾘ ｵｼﾗｾ ﾃﾞｽ｡ ｺﾝｹﾞﾂﾉ ﾌﾟﾚｾﾞﾝﾄﾊ ｺﾁﾗ｡"),
        sj("ｱﾝｹｰﾄﾆ ｺﾞｷｮｳﾘｮｸ ｸﾀﾞｻｲ､ ｵﾈｶﾞｲ ｼﾏｽ｡")};
    const std::string squares_ = sj("■□");
    const std::string heavy_ = sj("━");
    const std::string thin_ = sj("─");
    const std::string indent_ = sj("　");
    const std::string comma_ = sj("、");
    const std::string period_ = sj("。");
    const std::string open_ = sj("「");
    const std::string close_ = sj("」");
};

} // namespace

std::string newsletterText(std::size_t bytes) {
    return NewsletterWriter(bytes).run();
}

std::string sampleText(SampleKind kind, std::size_t bytes) {
    switch (kind) {
    case SampleKind::newsletter:
        return newsletterText(bytes);
    case SampleKind::noLineEnd: {
        std::string t = newsletterText(bytes + bytes / 16);
        std::erase_if(t, [](char c) { return c == '\r' || c == '\n'; });
        t.resize(cp932::charStartAtOrBefore(t, std::min(bytes, t.size())));
        return t;
    }
    case SampleKind::brackets: {
        std::string t;
        t.reserve(bytes);
        while (t.size() + 2 <= bytes)
            t += "\x81\x76";
        return t;
    }
    case SampleKind::tabs:
        return std::string(bytes, '\t');
    }
    return {};
}

const std::string& cachedSample(SampleKind kind, std::size_t bytes) {
    static std::map<std::pair<SampleKind, std::size_t>, std::string> cache;
    auto key = std::make_pair(kind, bytes);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, sampleText(kind, bytes)).first;
    return it->second;
}

const char* kindName(SampleKind kind) {
    switch (kind) {
    case SampleKind::newsletter:
        return "Newsletter";
    case SampleKind::noLineEnd:
        return "NoLineEnd";
    case SampleKind::brackets:
        return "Brackets";
    case SampleKind::tabs:
        return "Tabs";
    }
    return "?";
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}
