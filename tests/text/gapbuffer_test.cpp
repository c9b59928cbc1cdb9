#include "text/gapbuffer.h"

#include "support/tempdir.h"
#include "text/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

TEST(GapBufferTest, EditsAndViewsAcrossTheGap) {
    GapBuffer b("hello world");
    b.insert(5, ",");
    b.erase(0, 1);
    b.insert(0, "J");
    EXPECT_EQ(b.str(), "Jello, world");
    EXPECT_EQ(b.view(3, 9), "lo, wo");
    EXPECT_EQ(b.findLineEnd(0), b.size());
    b.insert(6, "\r\n");
    EXPECT_EQ(b.findLineEnd(0), 6u);
    EXPECT_EQ(b.findLineEnd(7), 7u);
    std::string big(100000, 'x');
    b.insert(3, big);
    EXPECT_EQ(b.size(), 14u + big.size());
    EXPECT_EQ(b.at(3 + big.size()), 'l');
}

// A text filled piece by piece straight into the storage: what the source
// gives, however it cuts its pieces, never more than asked; a source that
// ends early gives a shorter text, one that throws leaves the text as it was.
TEST(GapBufferTest, FillTakesWhatTheSourceGives) {
    struct Case {
        std::size_t n, piece, available;
        const char* text;
    };
    const std::vector<Case> cases = {
        {10, 3, 10, "0123456789"},
        {10, 100, 10, "0123456789"},
        {7, 2, 10, "0123456"},
        {10, 4, 6, "012345"},
        {0, 1, 10, ""},
    };
    const std::string source = "0123456789";
    for (const Case& c : cases) {
        GapBuffer b("old");
        std::size_t at = 0;
        b.fill(c.n, [&](char* to, std::size_t n) {
            const std::size_t k = std::min({n, c.piece, c.available - at});
            std::copy_n(source.data() + at, k, to);
            at += k;
            return k;
        });
        EXPECT_EQ(b.str(), c.text) << c.n << " " << c.piece;
        b.insert(b.size(), "!");
        EXPECT_EQ(b.str(), std::string(c.text) + "!");
    }
    GapBuffer b("old");
    EXPECT_THROW(
        b.fill(5, [](char*, std::size_t) -> std::size_t { throw std::runtime_error("x"); }),
        std::runtime_error);
    EXPECT_EQ(b.str(), "old");
}

TEST(GapBufferTest, EmptyBufferAndOutOfRangeArguments) {
    GapBuffer b;
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.size(), 0u);
    EXPECT_EQ(b.str(), "");
    EXPECT_EQ(b.view(0, 10), "");
    EXPECT_EQ(b.findLineEnd(0), 0u);
    b.insert(5, "ab"); // past the end: appends
    EXPECT_EQ(b.str(), "ab");
    b.insert(0, "");
    EXPECT_EQ(b.str(), "ab");
    b.erase(1, 100); // the count stops at the end
    EXPECT_EQ(b.str(), "a");
    b.erase(7, 1); // past the end: nothing
    EXPECT_EQ(b.str(), "a");
    EXPECT_EQ(b.view(0, 100), "a");
    EXPECT_EQ(b.view(3, 2), "");
    EXPECT_EQ(b.findLineEnd(9), 1u);
    b.assign("");
    EXPECT_TRUE(b.empty());
    // Bytes are bytes: a NUL is kept like any other.
    b.assign(std::string("a\0b", 3));
    EXPECT_EQ(b.size(), 3u);
    EXPECT_EQ(b.at(1), '\0');
}

TEST(GapBufferTest, InsertionsAroundTheGapSize) {
    // Insertions of exactly the free room, one byte more and far more, at both
    // ends and in the middle.
    std::string model = "0123456789";
    GapBuffer b(model);
    for (int round = 0; round < 6; ++round) {
        const std::size_t free = b.capacity() - b.size();
        const std::size_t lengths[] = {free - 1, 1, free + 1, 3 * free};
        const std::size_t at[] = {0, b.size() / 2, b.size(), 1};
        const std::size_t n = lengths[round % 4];
        const std::size_t pos = std::min(at[round % 4], model.size());
        const std::string bytes(n, static_cast<char>('a' + round));
        b.insert(pos, bytes);
        model.insert(pos, bytes);
        ASSERT_EQ(b.size(), model.size()) << round;
        ASSERT_GE(b.capacity(), b.size());
        ASSERT_EQ(b.str(), model) << round;
    }
}

namespace {

// Bytes that matter to the buffer's users: line ends, letters, a NUL and a
// few bytes above 0x7F.
char randomByte(std::mt19937& rng) {
    static const char alphabet[] = {'a',  'b', 'c',    'x',    '\r',  '\n',
                                    '\0', ' ', '\x82', '\xA0', '\xFF'};
    return alphabet[rng() % sizeof alphabet];
}

std::string randomBytes(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
        c = randomByte(rng);
    return s;
}

std::size_t modelLineEnd(const std::string& model, std::size_t pos) {
    return std::min(model.find_first_of("\r\n", pos), model.size());
}

} // namespace

TEST(GapBufferTest, RandomOperationsAgreeWithAPlainString) {
    std::mt19937 rng(20240611);
    std::string model;
    GapBuffer b;
    std::size_t growths = 0;
    std::size_t views = 0;
    auto pick = [&](std::size_t n) { return n ? static_cast<std::size_t>(rng() % (n + 1)) : 0; };
    for (int step = 0; step < 12000; ++step) {
        const unsigned op = rng() % 100;
        std::string what;
        if (op < 40) {
            // Insert: mostly short, sometimes empty, now and then more than the
            // free room (the gap must grow).
            const std::size_t pos = pick(model.size());
            std::size_t n = rng() % 12;
            const unsigned kind = rng() % 50;
            if (kind == 0) n = 0;
            const std::size_t free = b.capacity() - b.size();
            if (kind == 1 && free < 16384) n = free + 1 + rng() % 3000;
            if (kind == 2 && free < 16384) n = free;
            const std::string bytes = randomBytes(rng, n);
            const std::size_t capacity = b.capacity();
            b.insert(pos, bytes);
            model.insert(pos, bytes);
            if (b.capacity() != capacity) ++growths;
            what = "insert " + std::to_string(pos) + " " + std::to_string(n);
        } else if (op < 65) {
            // Erase: a short range, an empty one, or a long one (the whole
            // text at times) so that the text stays small.
            const std::size_t pos = pick(model.size());
            std::size_t n = rng() % 8;
            if (rng() % 10 == 0) n = model.size() - pos;
            if (model.size() > 6000 || rng() % 40 == 0) n = model.size() - pos + rng() % 3;
            b.erase(pos, n);
            model.erase(pos, std::min(n, model.size() - pos));
            what = "erase " + std::to_string(pos) + " " + std::to_string(n);
        } else if (op < 80) {
            // A view across wherever the gap is; the gap may move.
            std::size_t from = pick(model.size());
            std::size_t to = pick(model.size());
            if (from > to) std::swap(from, to);
            if (rng() % 10 == 0) to = model.size() + rng() % 5;
            const std::string_view v = b.view(from, to);
            const std::size_t end = std::min(to, model.size());
            ASSERT_EQ(std::string(v), model.substr(from, end - from))
                << step << " view " << from << " " << to;
            if (from < end) ++views;
            what = "view";
        } else if (op < 88) {
            for (int k = 0; k < 4 && !model.empty(); ++k) {
                const std::size_t i = rng() % model.size();
                ASSERT_EQ(b.at(i), model[i]) << step << " at " << i;
            }
            const std::size_t pos = pick(model.size() + 2);
            ASSERT_EQ(b.findLineEnd(pos), modelLineEnd(model, pos)) << step << " line end " << pos;
            what = "at";
        } else if (op < 90) {
            const std::string_view all = b.all();
            ASSERT_EQ(std::string(all), model) << step;
            what = "all";
        } else if (op < 92) {
            model = randomBytes(rng, rng() % 200);
            if (rng() % 4 == 0) model.clear();
            b.assign(model);
            what = "assign";
        } else {
            const std::size_t from = pick(model.size());
            const std::size_t to = from + pick(model.size() - from);
            ASSERT_EQ(b.str(from, to), model.substr(from, to - from)) << step;
            what = "str";
        }
        ASSERT_EQ(b.size(), model.size()) << step << " " << what;
        ASSERT_EQ(b.empty(), model.empty()) << step;
        ASSERT_GE(b.capacity(), b.size()) << step;
        // Byte by byte, and the line end search from a few places, with the
        // gap where the step left it (at() and findLineEnd() never move it;
        // str() would move it to an end before every step).
        if (model.size() <= 1024 || step % 32 == 0) {
            for (std::size_t i = 0; i < model.size(); ++i)
                ASSERT_EQ(b.at(i), model[i]) << step << " " << what << " byte " << i;
        } else {
            for (int k = 0; k < 64; ++k) {
                const std::size_t i = rng() % model.size();
                ASSERT_EQ(b.at(i), model[i]) << step << " " << what << " byte " << i;
            }
        }
        for (std::size_t pos : {std::size_t{0}, pick(model.size()), model.size()})
            ASSERT_EQ(b.findLineEnd(pos), modelLineEnd(model, pos)) << step << " " << pos;
    }
    EXPECT_GT(growths, 20u);
    EXPECT_GT(views, 1000u);
}

namespace {

// The pieces a file is read in are 1 MiB: sizes around them and across
// several of them.
constexpr std::size_t kPiece = std::size_t{1} << 20;

std::size_t randomFileSize(std::mt19937& rng) {
    switch (rng() % 6) {
    case 0:
        return rng() % 3;
    case 1:
        return rng() % 5000;
    case 2:
        return kPiece - 2 + rng() % 5;
    case 3:
        return 2 * kPiece - 2 + rng() % 5;
    default:
        return rng() % (3 * kPiece);
    }
}

} // namespace

TEST(GapBufferFile, RandomFilesAreReadByteForByteAndEditLikeAPlainString) {
    TempDir dir;
    std::mt19937 rng(20260608);
    GapBuffer b("what was there before");
    for (int round = 0; round < 24; ++round) {
        // The first file is large enough for storage mapped on its own.
        std::string model = randomBytes(rng, round == 0 ? 9 * kPiece + 7 : randomFileSize(rng));
        const std::string name = "file" + std::to_string(round) + ".txt";
        dir.write(name, model);
        const std::string path = dir.file(name);
        std::string seen;
        std::size_t pieces = 0;
        b.readFile(path, kMaxDocumentBytes, [&](std::string_view piece) {
            ASSERT_FALSE(piece.empty());
            ASSERT_LE(piece.size(), kPiece);
            seen.append(piece);
            ++pieces;
        });
        ASSERT_EQ(b.size(), model.size()) << round;
        ASSERT_GE(b.capacity(), b.size());
        ASSERT_TRUE(b.str() == model) << round;
        for (int k = 0; k < 200 && !model.empty(); ++k) {
            const std::size_t i = rng() % model.size();
            ASSERT_EQ(b.at(i), model[i]) << round << " byte " << i;
        }
        // Every piece was shown once, in order, and nothing else.
        ASSERT_TRUE(seen == model) << round;
        EXPECT_EQ(pieces, (model.size() + kPiece - 1) / kPiece) << round;

        // The loaded buffer edits like any other: the gap follows the edits
        // (fewer in a large text, where the plain string is slow).
        const int steps = model.size() > 65536 ? 16 : 200;
        for (int step = 0; step < steps; ++step) {
            const std::size_t pos = rng() % (model.size() + 1);
            if (rng() % 2) {
                const std::string bytes = randomBytes(rng, rng() % 40);
                b.insert(pos, bytes);
                model.insert(pos, bytes);
            } else {
                const std::size_t n = rng() % 30;
                b.erase(pos, n);
                model.erase(pos, std::min(n, model.size() - pos));
            }
            ASSERT_EQ(b.size(), model.size()) << round << " " << step;
            if (!model.empty()) {
                const std::size_t i = rng() % model.size();
                ASSERT_EQ(b.at(i), model[i]) << round << " " << step;
            }
        }
        ASSERT_TRUE(b.str() == model) << round;
        const std::size_t from = rng() % (model.size() + 1);
        const std::size_t to = from + rng() % (model.size() - from + 1);
        ASSERT_TRUE(b.view(from, to) == std::string_view(model).substr(from, to - from));
    }
}

TEST(GapBufferFile, AFileThatCannotBeReadLeavesTheBufferAsItWas) {
    TempDir dir;
    GapBuffer b("kept");
    b.insert(2, "--"); // the gap stands inside
    auto unchanged = [&] { return b.str() == "ke--pt"; };
    try {
        b.readFile(dir.file("missing.txt"));
        FAIL();
    } catch (const MMEditError& e) {
        EXPECT_EQ(e.message(), openErrorText(dir.file("missing.txt")));
    }
    EXPECT_TRUE(unchanged());
    EXPECT_THROW(b.readFile(dir.path()), MMEditError);
    EXPECT_TRUE(unchanged());

    // The limit counts: at it is read, past it is refused before reading.
    dir.write("ten.txt", "0123456789");
    try {
        b.readFile(dir.file("ten.txt"), 9);
        FAIL();
    } catch (const FileTooLargeError& e) {
        EXPECT_EQ(e.message(), tooLargeErrorText(dir.file("ten.txt")));
    }
    EXPECT_TRUE(unchanged());
    bool seen = false;
    b.readFile(dir.file("ten.txt"), 10, [&](std::string_view) { seen = true; });
    EXPECT_EQ(b.str(), "0123456789");
    EXPECT_TRUE(seen);

    // A file that tells no size is read to its end, and held to the limit
    // while it is read.
    if (fileio::exists("/proc/self/status")) {
        std::string shown;
        b.readFile("/proc/self/status", kMaxDocumentBytes,
                   [&](std::string_view piece) { shown.append(piece); });
        EXPECT_NE(b.str().find("VmRSS"), std::string::npos);
        EXPECT_EQ(shown, b.str());
        b.assign("kept");
        EXPECT_THROW(b.readFile("/proc/self/status", 8), FileTooLargeError);
        EXPECT_EQ(b.str(), "kept");
    }
    // An empty file gives an empty buffer that takes insertions.
    dir.write("empty.txt", "");
    b.readFile(dir.file("empty.txt"));
    EXPECT_TRUE(b.empty());
    b.insert(0, "x");
    EXPECT_EQ(b.str(), "x");
}

TEST(GapBufferFile, PiecesShownAlongsideTheReadingAreEveryByteOnceInOrder) {
    TempDir dir;
    std::mt19937 rng(20261209);
    const std::thread::id reader = std::this_thread::get_id();
    // Large enough for a second thread, and small: shown where it is read.
    for (const std::size_t size : {9 * kPiece + 5, kPiece + 3}) {
        const std::string model = randomBytes(rng, size);
        dir.write("alongside.txt", model);
        std::string shown;
        std::size_t onReader = 0, elsewhere = 0;
        GapBuffer b("before");
        b.readFile(
            dir.file("alongside.txt"), kMaxDocumentBytes,
            [&](std::string_view piece) {
                ASSERT_FALSE(piece.empty());
                shown.append(piece);
                ++(std::this_thread::get_id() == reader ? onReader : elsewhere);
            },
            GapBuffer::Seen::alongside);
        ASSERT_TRUE(b.str() == model) << size;
        ASSERT_TRUE(shown == model) << size;
        if (size > 8 * kPiece) {
            EXPECT_EQ(onReader, 0u);
            EXPECT_GE(elsewhere, 1u);
        } else {
            EXPECT_EQ(elsewhere, 0u);
            EXPECT_EQ(onReader, 2u);
        }
    }

    // What the second thread throws comes out of readFile, the buffer as it was.
    GapBuffer b("kept");
    EXPECT_THROW(b.readFile(
                     dir.file("alongside.txt"), kMaxDocumentBytes,
                     [](std::string_view) { throw std::runtime_error("seen"); },
                     GapBuffer::Seen::alongside),
                 std::runtime_error);
    dir.write("large.txt", std::string(9 * kPiece, 'x'));
    EXPECT_THROW(b.readFile(
                     dir.file("large.txt"), kMaxDocumentBytes,
                     [](std::string_view) { throw std::runtime_error("seen"); },
                     GapBuffer::Seen::alongside),
                 std::runtime_error);
    EXPECT_EQ(b.str(), "kept");
}

TEST(GapBufferTest, CopiesAndMovesKeepTheText) {
    GapBuffer a("hello world");
    a.insert(5, ","); // the gap inside
    GapBuffer copy(a);
    EXPECT_EQ(copy.str(), "hello, world");
    copy.insert(0, ">");
    EXPECT_EQ(a.str(), "hello, world");
    GapBuffer moved(std::move(copy));
    EXPECT_EQ(moved.str(), ">hello, world");
    a = moved;
    EXPECT_EQ(a.str(), ">hello, world");
    GapBuffer other;
    other = std::move(moved);
    EXPECT_EQ(other.str(), ">hello, world");
    other.swap(a);
    other.erase(0, 1);
    EXPECT_EQ(other.str(), "hello, world");
    EXPECT_EQ(a.str(), ">hello, world");
}
