#include "cp932lineedit.h"

#include "text/cp932.h"

#include <QApplication>
#include <QMetaObject>
#include <QValidator>

#include <algorithm>

namespace {

// How many refused characters the message names.
constexpr int kNamedCharacters = 5;

bool endsLine(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0x2028) ||
           c == QChar(0x2029);
}
bool isControl(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

// The inserted text as a one-line box takes it: up to its first line break,
// without control characters.
QString oneLine(const QString& inserted) {
    QString out;
    out.reserve(inserted.size());
    for (const QChar c : inserted) {
        if (endsLine(c)) break;
        if (!isControl(c)) out += c;
    }
    return out;
}

} // namespace

int measureText(const QString& text, LimitUnit unit) {
    if (unit == LimitUnit::characters) {
        int n = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            ++n;
        }
        return n;
    }
    const cp932::EncodeResult r = cp932::encode(text);
    return static_cast<int>(r.bytes.size() + r.bad.size());
}

FilteredEdit filterEdit(const QString& before, const QString& after, int cursor, int limit,
                        LimitUnit unit) {
    FilteredEdit out;
    const qsizetype bn = before.size();
    const qsizetype an = after.size();
    cursor = std::clamp(cursor, 0, static_cast<int>(an));

    // The edit replaced before's middle with after's middle; the inserted text
    // is taken to end at the cursor or after it. A surrogate pair is never cut.
    qsizetype suffix = 0;
    const qsizetype maxSuffix = std::min(bn, an - cursor);
    while (suffix < maxSuffix && before[bn - 1 - suffix] == after[an - 1 - suffix])
        ++suffix;
    qsizetype prefix = 0;
    const qsizetype maxPrefix = std::min(bn, an) - suffix;
    while (prefix < maxPrefix && before[prefix] == after[prefix])
        ++prefix;
    if (prefix > 0 && after[prefix - 1].isHighSurrogate()) --prefix;
    if (suffix > 0 && after[an - suffix].isLowSurrogate()) --suffix;

    const QString head = after.left(prefix);
    const QString tail = after.right(suffix);
    QString inserted = oneLine(after.mid(prefix, an - prefix - suffix));

    const cp932::EncodeResult encoded = cp932::encode(inserted);
    if (!encoded.ok()) {
        for (const cp932::Unrepresentable& u : encoded.bad)
            out.refusedChars.push_back(u.ch);
        out.text = before;
        out.cursor = static_cast<int>(prefix);
        return out;
    }

    if (limit > 0) {
        // A text longer than the limit (set by the program) may keep its
        // length, never grow.
        const int room = std::max(limit, measureText(before, unit));
        int used = measureText(head, unit) + measureText(tail, unit);
        qsizetype kept = 0;
        while (kept < inserted.size()) {
            const qsizetype step =
                inserted[kept].isHighSurrogate() && kept + 1 < inserted.size() ? 2 : 1;
            const int size = measureText(inserted.mid(kept, step), unit);
            if (used + size > room) break;
            used += size;
            kept += step;
        }
        if (kept < inserted.size()) {
            inserted.truncate(kept);
            out.cut = true;
        }
    }
    out.text = head + inserted + tail;
    out.cursor = static_cast<int>(prefix + inserted.size());
    return out;
}

QString refusedCharactersMessage(const std::vector<char32_t>& chars) {
    QString list;
    int named = 0;
    std::vector<char32_t> seen;
    for (const char32_t ch : chars) {
        if (std::find(seen.begin(), seen.end(), ch) != seen.end()) continue;
        seen.push_back(ch);
        if (named++ == kNamedCharacters) {
            list += QStringLiteral(" …");
            break;
        }
        if (!list.isEmpty()) list += QLatin1Char(' ');
        list += QString::fromUcs4(&ch, 1);
    }
    return QStringLiteral("Shift-JIS で表せない文字があるため入力できません: %1").arg(list);
}

// Every edit of a line edit passes its validator, typed, pasted, dropped or
// committed by the input method; it hands the edit to the box. It never
// answers Invalid: a refused edit is answered with the text as it was, which
// the line edit then sets (an Invalid answer would leave the line edit
// unable to undo the next refused edit).
class Cp932InputFilter : public QValidator {
  public:
    explicit Cp932InputFilter(Cp932LineEdit* box) : QValidator(box), box_(box) {}
    State validate(QString& input, int& pos) const override {
        box_->filter(input, pos);
        return Acceptable;
    }

  private:
    Cp932LineEdit* box_;
};

Cp932LineEdit::Cp932LineEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new Cp932InputFilter(this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& t) { before_ = t; });
}

void Cp932LineEdit::setLimit(int count, LimitUnit unit) {
    limit_ = std::max(count, 0);
    unit_ = unit;
}

void Cp932LineEdit::setBytes(const std::string& bytes) {
    shownBytes_ = bytes;
    shownText_ = cp932::decode(bytes);
    settingText_ = true;
    setText(shownText_);
    settingText_ = false;
}

std::string Cp932LineEdit::bytes() const {
    if (text() == shownText_) return shownBytes_;
    return cp932::encode(text()).bytes;
}

void Cp932LineEdit::filter(QString& after, int& cursor) {
    if (settingText_ || after == before_) return;
    const FilteredEdit edit = filterEdit(before_, after, cursor, limit_, unit_);
    after = edit.text;
    cursor = edit.cursor;
    if (edit.cut) QApplication::beep();
    if (!edit.refusedChars.empty()) {
        QApplication::beep();
        // The message may open a box: not while the line edit is inside its edit.
        const QString message = refusedCharactersMessage(edit.refusedChars);
        QMetaObject::invokeMethod(
            this, [this, message] { Q_EMIT refused(message); }, Qt::QueuedConnection);
    }
}
