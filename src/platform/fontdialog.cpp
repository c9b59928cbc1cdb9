#include "fontdialog.h"

#include <QAbstractItemModel>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QListView>

#include <cmath>

namespace fonts {

namespace {

// Measured at a size where a rounded advance is still close to the design.
constexpr int kMeasurePixels = 40;

// Japanese next to Latin, so the sample shows both halves of the grid.
const char16_t kSample[] = u"AaBbYyZz あいうアイウ亜唖";

bool sameAdvance(qreal a, qreal b) {
    return std::abs(a - b) <= 0.02 * b;
}

// The dialog's family list: the first of its three lists (family, style, size).
QListView* familyList(const QFontDialog& dialog) {
    return dialog.findChild<QListView*>();
}

void hideProportionalFamilies(QListView* list) {
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(); ++row)
        list->setRowHidden(row, !isFixedPitchFamily(model->index(row, 0).data().toString()));
}

} // namespace

bool isFixedPitchFamily(const QString& family) {
    if (QFontDatabase::isFixedPitch(family)) return true;
    if (!QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese)) return false;
    QFont font(family);
    font.setPixelSize(kMeasurePixels);
    font.setStyleStrategy(QFont::NoFontMerging);
    font.setHintingPreference(QFont::PreferNoHinting);
    const QFontMetricsF metrics(font);
    const qreal half = metrics.horizontalAdvance(QLatin1Char('M'));
    if (half <= 0) return false;
    for (const char16_t c : u"i1W.")
        if (c && !sameAdvance(metrics.horizontalAdvance(QChar(c)), half)) return false;
    for (const char16_t c : u"あア亜")
        if (c && !sameAdvance(metrics.horizontalAdvance(QChar(c)), 2 * half)) return false;
    return true;
}

QString familyInUse(const QFont& font) {
    return QFontInfo(font).family();
}

void prepareFontDialog(QFontDialog& dialog, const QFont& inUse, bool fixedPitchOnly) {
    // Qt's own dialog: the list below is filtered in its family list.
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    QFont shown = inUse;
    shown.setFamilies({familyInUse(inUse)});
    if (fixedPitchOnly) {
        if (QListView* list = familyList(dialog)) {
            // The dialog fills its list again when the writing system changes.
            QObject::connect(list->model(), &QAbstractItemModel::modelReset, list,
                             [list] { hideProportionalFamilies(list); });
            hideProportionalFamilies(list);
        }
    }
    dialog.setCurrentFont(shown);
    if (auto* sample = dialog.findChild<QLineEdit*>(QStringLiteral("qt_fontDialog_sampleEdit")))
        sample->setText(QString::fromUtf16(kSample));
}

QFont fontChosen(const QFontDialog& dialog, const QFont& inUse) {
    QFont chosen =
        dialog.result() == QDialog::Accepted ? dialog.selectedFont() : dialog.currentFont();
    if (chosen.family() == familyInUse(inUse)) chosen.setFamilies({inUse.family()});
    return chosen;
}

std::optional<QFont> chooseFont(const QFont& inUse, bool fixedPitchOnly, QWidget* parent,
                                const QString& title) {
    QFontDialog dialog(parent);
    dialog.setWindowTitle(title);
    prepareFontDialog(dialog, inUse, fixedPitchOnly);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return fontChosen(dialog, inUse);
}

} // namespace fonts
