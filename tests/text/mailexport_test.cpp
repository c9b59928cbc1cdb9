#include "support/sjis.h"
#include "text/cp932.h"
#include "text/errors.h"
#include "text/mailexport.h"
#include "text/textexport.h"

#include <QStringDecoder>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using mailcheck::Kind;

namespace {

LayoutRules widthOf(int w) {
    LayoutRules r;
    r.width = w;
    return r;
}

QString fromIso2022Jp(std::string_view b) {
    QStringDecoder d("ISO-2022-JP");
    EXPECT_TRUE(d.isValid());
    const QString s = d.decode(QByteArrayView(b.data(), static_cast<qsizetype>(b.size())));
    EXPECT_FALSE(d.hasError());
    return s;
}

// Every defined code page 932 character in the rows of JIS X 0208.
std::string allJisX0208() {
    std::string t;
    for (unsigned lead = 0x81; lead <= 0xEA; ++lead) {
        if (!cp932::isLeadByte(static_cast<unsigned char>(lead)) || (lead >= 0x85 && lead <= 0x87))
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string c = bytes({lead, trail});
            if (trail != 0x7F && cp932::toUnicode(c, 0) != 0) t += c;
        }
    }
    return t;
}

// The unfolded value of a header field in a message.
std::string field(const std::string& message, const std::string& name) {
    const std::size_t at = message.find("\r\n" + name + ":");
    const std::size_t start = at == std::string::npos ? std::string::npos : at + 2;
    if (message.rfind(name + ":", 0) != 0 && start == std::string::npos) return "<missing>";
    std::size_t p = message.rfind(name + ":", 0) == 0 ? 0 : start;
    std::string value;
    p += name.size() + 1;
    while (true) {
        const std::size_t e = message.find("\r\n", p);
        value += message.substr(p, e - p);
        if (e + 2 >= message.size() || message[e + 2] != ' ') break;
        p = e + 2;
    }
    return value;
}

// The text of encoded words (RFC 2047) of ISO-2022-JP, and plain text as
// it stands; the blanks between two encoded words do not count.
QString decodeWords(const std::string& value) {
    QString out;
    std::size_t p = 0;
    bool lastWasWord = false;
    while (p < value.size()) {
        const std::size_t w = value.find("=?ISO-2022-JP?B?", p);
        const std::string plain = value.substr(p, w == std::string::npos ? w : w - p);
        if (!(lastWasWord && plain.find_first_not_of(' ') == std::string::npos))
            out += QString::fromLatin1(plain);
        if (w == std::string::npos) break;
        const std::size_t e = value.find("?=", w + 16);
        const QByteArray b64 = QByteArray::fromStdString(value.substr(w + 16, e - w - 16));
        const QByteArray raw = QByteArray::fromBase64(b64);
        EXPECT_TRUE(raw.isEmpty() || !raw.endsWith("\x1b$B")); // each word ends in ASCII
        out += fromIso2022Jp(raw.toStdString());
        p = e + 2;
        lastWasWord = true;
    }
    return out.trimmed();
}

void expectLinesFit(const std::string& header, std::size_t limit) {
    std::size_t p = 0;
    while (p < header.size()) {
        const std::size_t e = header.find("\r\n", p);
        EXPECT_LE(e - p, limit) << header;
        p = e + 2;
    }
}

QDateTime someDate() {
    return QDateTime(QDate(2026, 6, 1), QTime(9, 5, 7), QTimeZone(9 * 3600));
}

} // namespace

TEST(MailExport, Iso2022JpSwitchesSetsAndEndsEveryLineInAscii) {
    EXPECT_EQ(mailexport::toIso2022Jp("abc").bytes, "abc");
    EXPECT_EQ(mailexport::toIso2022Jp(sj("aあい")).bytes, "a\x1b$B$\"$$\x1b(B");
    const std::string body = mailexport::mailBody(sj("あ\r\nい\nう\rb"), widthOf(80));
    EXPECT_EQ(body, "\x1b$B$\"\x1b(B\r\n\x1b$B$$\x1b(B\r\n\x1b$B$&\x1b(B\r\nb\r\n");
    // Microsoft's forms are JIS X 0208's codes; the NEC ≒ is written as the
    // ≒ of row 2.
    EXPECT_EQ(mailexport::toIso2022Jp(bytes({0x81, 0x60})).bytes, "\x1b$B!A\x1b(B");
    EXPECT_EQ(mailexport::toIso2022Jp(bytes({0x87, 0x90})).bytes,
              mailexport::toIso2022Jp(bytes({0x81, 0xE0})).bytes);
    EXPECT_FALSE(mailexport::toIso2022Jp(bytes({0x87, 0x40})).ok);
    EXPECT_FALSE(mailexport::toIso2022Jp(bytes({0xB6})).ok);
    EXPECT_FALSE(mailexport::toIso2022Jp("a\x1b"
                                         "b")
                     .ok);
}

TEST(MailExport, TheBodyDecodesBackToTheSameCharactersWithQtsOwnDecoder) {
    // All of JIS X 0208 and ASCII, wrapped at 40 columns: Qt's ISO-2022-JP
    // decoder gives back the characters of the hard-wrapped text.
    std::string text = allJisX0208();
    for (unsigned c = 0x20; c < 0x7F; ++c)
        text.push_back(static_cast<char>(c));
    text += "\tend\r\n";
    const LayoutRules rules = widthOf(40);
    const std::string body = mailexport::mailBody(text, rules);
    for (char c : body)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80u); // 7bit
    QString expected = cp932::decode(textexport::hardWrapped(text, rules));
    EXPECT_EQ(fromIso2022Jp(body), expected);
    // The Microsoft forms among them come back as they are.
    for (const char* c : {"～", "∥", "－", "￠", "￡", "￢"})
        EXPECT_EQ(fromIso2022Jp(mailexport::mailBody(sj(c), rules)),
                  QString::fromUtf8(c) + QStringLiteral("\r\n"));

    // Random lines of random characters.
    std::mt19937 rng(77);
    const std::string all = allJisX0208();
    for (int round = 0; round < 50; ++round) {
        std::string t;
        for (int i = 0; i < 200; ++i) {
            const unsigned r = rng() % 10;
            if (r < 5) {
                const std::size_t k = (rng() % (all.size() / 2)) * 2;
                t += all.substr(k, 2);
            } else if (r < 9) {
                t.push_back(static_cast<char>(0x20 + rng() % 0x5F));
            } else {
                t += "\r\n";
            }
        }
        const LayoutRules w = widthOf(10 + static_cast<int>(rng() % 70));
        std::string normalised = textexport::hardWrapped(t, w);
        if (!normalised.ends_with("\r\n")) normalised += "\r\n";
        ASSERT_EQ(fromIso2022Jp(mailexport::mailBody(t, w)), cp932::decode(normalised)) << round;
    }
}

TEST(MailExport, WhatCannotBeCarriedIsListedAndRefused) {
    const std::string text = "a" + bytes({0x87, 0x40}) + "\t" + bytes({0xB6}) +
                             bytes({0x87, 0x90}) + bytes({0x80}) + bytes({0x1B}) + bytes({0x01}) +
                             bytes({0xF0, 0x40}) + bytes({0xFA, 0x54}) + "\r\n";
    std::vector<Kind> kinds;
    for (const mailcheck::Finding& f : mailexport::uncarried(text))
        kinds.push_back(f.kind);
    // ① ｶ 0x80 ESC and the user-defined character; not the tab, the NEC ≒,
    // the IBM ￢ (both JIS X 0208's too) or 0x01.
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::necSpecial, Kind::halfWidthKana, Kind::invalidByte,
                                        Kind::controlChar, Kind::userDefined}));
    try {
        mailexport::mailBody(text, widthOf(80));
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_TRUE(e.message().startsWith(
            QStringLiteral("本文に ISO-2022-JP で送れない文字があります: ①")))
            << e.message().toStdString();
    }
    // A line longer than a mail line may be (nothing wraps it).
    EXPECT_THROW(mailexport::mailBody(std::string(999, 'x'), widthOf(0)), MMEditError);
    EXPECT_NO_THROW(mailexport::mailBody(std::string(998, 'x'), widthOf(0)));
    // An address is sent whole: one too long for a mail line is refused
    // with its own message; one that fits is sent past the width.
    const std::string url = "http://example.jp/" + std::string(990, 'a');
    try {
        mailexport::mailBody("see " + url + " now", widthOf(40));
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("本文の 2 行目のアドレスが長すぎます (メールの一行は "
                                              "998 バイトまでです)"));
    }
    EXPECT_EQ(mailexport::mailBody("see " + url.substr(0, 990) + " now", widthOf(40)),
              "see\r\n" + url.substr(0, 990) + "\r\nnow\r\n");
}

TEST(MailExport, SubjectsAreEncodedWordsFoldedWithinTheLineLimit) {
    EXPECT_EQ(mailexport::subjectField(QStringLiteral("Weekly news 12")),
              "Subject: Weekly news 12\r\n");
    EXPECT_EQ(mailexport::subjectField(QString()), "Subject:\r\n");
    const std::string jp = mailexport::subjectField(QStringLiteral("もるもる通信 第12号"));
    EXPECT_EQ(jp.rfind("Subject: =?ISO-2022-JP?B?", 0), 0u) << jp;
    EXPECT_EQ(decodeWords(field(jp, "Subject")), QStringLiteral("もるもる通信 第12号"));

    // Long subjects, Japanese, mixed and ASCII with "=?": folded lines of at
    // most 76 characters that decode back whole.
    for (const QString& s :
         {QStringLiteral("【メールマガジン】今週のお知らせ：新商品のご案内と、セールの日程、"
                         "そして読者の皆様からのお便りを紹介します～第１２３号～"),
          QStringLiteral("Vol.123 メールマガジン ～ news and notes from the editor ～ ") +
              QString(30, QLatin1Char('x')),
          QStringLiteral("a =?b?= c"), QString(200, QChar(0x3042))}) {
        const std::string f = mailexport::subjectField(s);
        expectLinesFit(f, 76);
        EXPECT_EQ(decodeWords(field(f, "Subject")), s.trimmed()) << f;
    }
    const std::string longAscii = mailexport::subjectField(
        QStringLiteral("This is a long plain subject that has to be folded somewhere because it "
                       "goes on and on"));
    expectLinesFit(longAscii, 78);
    EXPECT_EQ(longAscii.find("=?"), std::string::npos);
    EXPECT_EQ(field(longAscii, "Subject"),
              " This is a long plain subject that has to be folded somewhere because it goes "
              "on and on");

    // Refused: a line break (another header field would begin), characters
    // that code page 932 or ISO-2022-JP cannot hold.
    EXPECT_THROW(mailexport::subjectField(QStringLiteral("a\r\nBcc: x@example.jp")), MMEditError);
    EXPECT_THROW(mailexport::subjectField(QString::fromUtf8("\xF0\x9F\x98\x80")), MMEditError);
    EXPECT_THROW(mailexport::subjectField(QStringLiteral("①")), MMEditError);
    EXPECT_EQ(mailexport::uncarriedInSubject(QStringLiteral("第①回ｶﾞ")).size(), 2u);
    EXPECT_EQ(mailexport::subjectWithSuggestions(QStringLiteral("第①回ｶﾞ")),
              QStringLiteral("第(1)回ガ"));
}

TEST(MailExport, AddressesAreCheckedAndTheirNamesEncoded) {
    EXPECT_EQ(mailexport::addressField("From", QStringLiteral(" mag@example.jp ")),
              "From: mag@example.jp\r\n");
    EXPECT_EQ(mailexport::addressField("From", QStringLiteral("Mol Mol <mag@example.jp>")),
              "From: \"Mol Mol\" <mag@example.jp>\r\n");
    const std::string jp =
        mailexport::addressField("From", QStringLiteral("もるもる編集部 <mag@example.jp>"));
    EXPECT_TRUE(jp.ends_with(" <mag@example.jp>\r\n")) << jp;
    EXPECT_EQ(decodeWords(field(jp, "From").substr(0, field(jp, "From").find(" <"))),
              QStringLiteral("もるもる編集部"));
    // A long name folds between its encoded words, every line within 76
    // characters, and decodes back whole.
    for (const char* name : {"もるもる通信編集部日本語表示名前長尺試験用送信者",
                             "漢字二十文字の表示名前漢字二十文字の表示名前"}) {
        for (const QString& list :
             {QString::fromUtf8(name) + QStringLiteral(" <mag@example.jp>"),
              QStringLiteral("someone.with.a.long.name@subscribers.example.jp, ") +
                  QString::fromUtf8(name) + QStringLiteral(" <mag@example.jp>")}) {
            const std::string folded = mailexport::addressField("To", list);
            expectLinesFit(folded, 76);
            EXPECT_GT(std::count(folded.begin(), folded.end(), '\n'), 1) << folded;
            const std::string value = field(folded, "To");
            const std::size_t from = value.find("=?");
            EXPECT_EQ(decodeWords(value.substr(from, value.find(" <mag") - from)),
                      QString::fromUtf8(name))
                << folded;
            EXPECT_TRUE(folded.ends_with(" <mag@example.jp>\r\n")) << folded;
        }
    }
    const std::string many = mailexport::addressField(
        "To", QStringLiteral("a@example.jp, b@example.jp,c@example.jp, "
                             "someone.with.a.long.name@subscribers.example.jp, d@example.jp"));
    expectLinesFit(many, 78);
    EXPECT_EQ(field(many, "To"), " a@example.jp, b@example.jp, c@example.jp, "
                                 "someone.with.a.long.name@subscribers.example.jp, d@example.jp");
    EXPECT_EQ(mailexport::addressField(
                  "To", QStringLiteral("\"Yamada, Taro\" <t@example.jp>, h@example.jp")),
              "To: \"Yamada, Taro\" <t@example.jp>, h@example.jp\r\n");
    for (const char* bad : {"", "  ", "no-at-sign", "a@", "@b", "a b@example.jp", "a@b@c",
                            "x <a@example.jp", "a@example.jp\r\nBcc: spy@example.jp"})
        EXPECT_THROW(mailexport::addressField("To", QString::fromUtf8(bad)), MMEditError) << bad;
    EXPECT_THROW(mailexport::addressField("From", QStringLiteral("a@example.jp, b@example.jp")),
                 MMEditError);
}

TEST(MailExport, TheMessageIsADraftWithMimeHeadersAndTheWrappedBody) {
    mailexport::MailFields f;
    f.from = QStringLiteral("もるもる <mag@example.jp>");
    f.to = QStringLiteral("reader@example.jp");
    f.subject = QStringLiteral("創刊号");
    const std::string text = sj("あいうえおかきくけこ") + "\r\nabc";
    const std::string m = mailexport::message(text, f, widthOf(10), someDate());
    EXPECT_EQ(m.rfind("Date: Mon, 01 Jun 2026 09:05:07 +0900\r\nFrom: ", 0), 0u) << m;
    const std::size_t blank = m.find("\r\n\r\n");
    ASSERT_NE(blank, std::string::npos);
    const std::string head = m.substr(0, blank + 2);
    for (const char* line : {"\r\nTo: reader@example.jp\r\n", "\r\nMIME-Version: 1.0\r\n",
                             "\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n",
                             "\r\nContent-Transfer-Encoding: 7bit\r\n", "\r\nX-Unsent: 1\r\n"})
        EXPECT_NE(head.find(line), std::string::npos) << line;
    EXPECT_EQ(decodeWords(field(m, "Subject")), QStringLiteral("創刊号"));
    // Wrapped after ten columns, every line ending CR LF.
    EXPECT_EQ(fromIso2022Jp(m.substr(blank + 4)),
              QStringLiteral("あいうえお\r\nかきくけこ\r\nabc\r\n"));
    for (char c : m)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80u);
    // No lone CR or LF anywhere.
    for (std::size_t i = 0; i < m.size(); ++i) {
        if (m[i] == '\r') {
            ASSERT_EQ(m[i + 1], '\n');
        }
        if (m[i] == '\n') {
            ASSERT_EQ(m[i - 1], '\r');
        }
    }
}

TEST(MailExport, AnyBytesAreSentWholeOrRefusedWithTheirList) {
    // Random bytes: the body is written exactly when nothing is listed, and
    // then decodes back to the text with CR LF line ends.
    std::mt19937 rng(1414);
    const std::string all = allJisX0208();
    for (int round = 0; round < 300; ++round) {
        std::string t;
        const int n = static_cast<int>(rng() % 60);
        for (int i = 0; i < n; ++i) {
            const unsigned r = rng() % 8;
            if (r < 3)
                t += all.substr((rng() % (all.size() / 2)) * 2, 2);
            else if (r < 6)
                t.push_back(static_cast<char>(0x20 + rng() % 0x5F));
            else if (r < 7)
                t += rng() % 2 ? "\r" : "\n";
            else
                t.push_back(static_cast<char>(rng() % 256));
        }
        const bool sendable = mailexport::uncarried(t).empty();
        EXPECT_EQ(mailexport::toIso2022Jp(t).ok, sendable) << round;
        if (sendable) {
            const std::string body = mailexport::mailBody(t, widthOf(0));
            QString expected = cp932::decode(t);
            expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            expected.replace(QLatin1Char('\r'), QLatin1Char('\n'));
            expected.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
            if (!expected.isEmpty() && !expected.endsWith(QStringLiteral("\r\n")))
                expected += QStringLiteral("\r\n");
            ASSERT_EQ(fromIso2022Jp(body), expected) << round;
        } else {
            EXPECT_THROW(mailexport::mailBody(t, widthOf(0)), MMEditError);
        }
    }
}
