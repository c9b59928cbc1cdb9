#include "sample_text.h"

#include "text/cp932.h"

#include <QString>

#include <random>
#include <vector>

std::string sampleJapaneseText(std::size_t bytes) {
    const std::vector<std::string> words = [] {
        std::vector<std::string> w;
        for (const char* s : {"今週の",
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
                              "http://example.jp/mag/",
                              "ID",
                              "2026",
                              "年",
                              "12",
                              "月",
                              "号",
                              "ぁ",
                              "ー"})
            w.push_back(cp932::encodeKnown(QString::fromUtf8(s)));
        return w;
    }();
    const std::string comma = cp932::encodeKnown(QStringLiteral("、"));
    const std::string period = cp932::encodeKnown(QStringLiteral("。"));
    std::mt19937 rng(2026);
    std::string t;
    t.reserve(bytes + 256);
    while (t.size() < bytes) {
        const int sentences = 1 + static_cast<int>(rng() % 4);
        for (int s = 0; s < sentences; ++s) {
            const int n = 4 + static_cast<int>(rng() % 12);
            for (int i = 0; i < n; ++i) {
                t += words[rng() % words.size()];
                if (rng() % 7 == 0) t += comma;
            }
            t += period;
        }
        t += "\r\n";
        if (rng() % 5 == 0) t += "\r\n";
    }
    return t;
}
