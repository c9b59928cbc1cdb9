#include "fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace fonts {

const char* const kGothic = "ＭＳ ゴシック";
const char* const kProportional = "ＭＳ Ｐゴシック";

namespace {

// Each name the settings may hold, with the installed families that stand
// for it, in the order they are tried.
struct Substitution {
    std::vector<const char*> names;
    QStringList families;
};
const std::vector<Substitution>& substitutions() {
    static const std::vector<Substitution> table = {
        {{kGothic, "MS Gothic", "FixedSys", "Fixedsys"},
         {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
          QStringLiteral("Noto Sans CJK JP"), QStringLiteral("monospace")}},
        {{kProportional, "MS PGothic", "MS UI Gothic"},
         {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
          QStringLiteral("IPAGothic"), QStringLiteral("sans-serif")}},
        {{"ＭＳ 明朝", "MS Mincho"},
         {QStringLiteral("IPAMincho"), QStringLiteral("Noto Serif CJK JP"),
          QStringLiteral("serif")}},
        {{"ＭＳ Ｐ明朝", "MS PMincho"},
         {QStringLiteral("IPAPMincho"), QStringLiteral("IPAMincho"),
          QStringLiteral("Noto Serif CJK JP"), QStringLiteral("serif")}},
        {{"Symbol"}, {QStringLiteral("DejaVu Sans"), QStringLiteral("IPAGothic")}},
    };
    return table;
}

} // namespace

void installSubstitutions() {
    for (const Substitution& s : substitutions())
        for (const char* name : s.names)
            QFont::insertSubstitutions(QString::fromUtf8(name), s.families);
}

QString installedFamily(const QString& name) {
    static QHash<QString, QString> known; // the families are read once
    if (const auto found = known.constFind(name); found != known.cend()) return *found;
    QString family = name;
    if (!QFontDatabase::hasFamily(name)) {
        for (const Substitution& s : substitutions()) {
            const auto named = [&name](const char* n) { return QString::fromUtf8(n) == name; };
            if (std::none_of(s.names.begin(), s.names.end(), named)) continue;
            for (const QString& substitute : s.families) {
                if (QFontDatabase::hasFamily(substitute)) {
                    family = substitute;
                    break;
                }
            }
            break;
        }
    }
    known.insert(name, family);
    return family;
}

} // namespace fonts
