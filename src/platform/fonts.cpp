#include "fonts.h"

#include <QFont>
#include <QStringList>

namespace fonts {

const char* const kGothic = "ＭＳ ゴシック";
const char* const kProportional = "ＭＳ Ｐゴシック";

void installSubstitutions() {
    const QStringList fixed = {QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                               QStringLiteral("Noto Sans CJK JP"), QStringLiteral("monospace")};
    const QStringList proportional = {QStringLiteral("IPAPGothic"),
                                      QStringLiteral("Noto Sans CJK JP"),
                                      QStringLiteral("IPAGothic"), QStringLiteral("sans-serif")};
    const QStringList mincho = {QStringLiteral("IPAMincho"), QStringLiteral("Noto Serif CJK JP"),
                                QStringLiteral("serif")};
    const QStringList proportionalMincho = {
        QStringLiteral("IPAPMincho"), QStringLiteral("IPAMincho"),
        QStringLiteral("Noto Serif CJK JP"), QStringLiteral("serif")};
    for (const char* name : {kGothic, "MS Gothic", "FixedSys", "Fixedsys"})
        QFont::insertSubstitutions(QString::fromUtf8(name), fixed);
    for (const char* name : {kProportional, "MS PGothic", "MS UI Gothic"})
        QFont::insertSubstitutions(QString::fromUtf8(name), proportional);
    for (const char* name : {"ＭＳ 明朝", "MS Mincho"})
        QFont::insertSubstitutions(QString::fromUtf8(name), mincho);
    for (const char* name : {"ＭＳ Ｐ明朝", "MS PMincho"})
        QFont::insertSubstitutions(QString::fromUtf8(name), proportionalMincho);
    QFont::insertSubstitutions(QStringLiteral("Symbol"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("IPAGothic")});
}

} // namespace fonts
