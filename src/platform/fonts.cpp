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
    for (const char* name : {kGothic, "MS Gothic", "ＭＳ 明朝", "FixedSys", "Fixedsys"})
        QFont::insertSubstitutions(QString::fromUtf8(name), fixed);
    for (const char* name : {kProportional, "MS PGothic", "MS UI Gothic"})
        QFont::insertSubstitutions(QString::fromUtf8(name), proportional);
    QFont::insertSubstitutions(QStringLiteral("Symbol"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("IPAGothic")});
}

} // namespace fonts
