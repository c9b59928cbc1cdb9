#include "entrypalette.h"

#include "platform/dialogs.h"
#include "platform/errorbox.h"
#include "platform/fonts.h"
#include "settings/settings.h"
#include "text/cp932.h"

#include <QAction>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

// The height of the button bar under the list.
constexpr int kButtonBarHeight = 40;
// The pixel height of the secondary windows' font.
constexpr int kWindowFontPixels = 12;
// The palette's buttons, and the add dialog's.
constexpr int kButtonWidth = 65;
constexpr int kButtonHeight = 25;
constexpr int kDialogButtonWidth = 50;

QString u(const char* s) {
    return QString::fromUtf8(s);
}

QFont windowFont() {
    QFont f(u(fonts::kProportional));
    f.setPixelSize(kWindowFontPixels);
    return f;
}

// Return and Enter on the list choose the selected row.
class ChooseOnReturn : public QObject {
  public:
    ChooseOnReturn(QObject* parent, std::function<void()> choose)
        : QObject(parent), choose_(std::move(choose)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                choose_();
                return true;
            }
        }
        return QObject::eventFilter(watched, e);
    }

  private:
    std::function<void()> choose_;
};

} // namespace

void centreOnScreen(QWidget* window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

// --- the add dialog ------------------------------------------------------------------

AddEntryDialog::AddEntryDialog(const PaletteDesign& design, std::function<bool(const QString&)> add,
                               std::function<void()> help, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      add_(std::move(add)) {
    setObjectName(u(design.dialogObjectName));
    setWindowTitle(u(design.dialogCaption));
    setFont(windowFont());
    setModal(false);

    auto* label = new QLabel(u(design.dialogLabel), this);
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("entryField"));
    label->setBuddy(field_);
    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setDefault(true);
    ok_->setEnabled(false);
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    help_ = new QPushButton(QStringLiteral("&Help!"), this);
    help_->setObjectName(QStringLiteral("helpButton"));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    for (QPushButton* b : {ok_, cancel_, help_}) {
        b->setAutoDefault(false);
        b->setFixedSize(kDialogButtonWidth, kButtonHeight);
        buttons->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->setSpacing(4);
    layout->addWidget(label);
    layout->addWidget(field_);
    layout->addStretch(1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    setFixedSize(design.dialogClientSize);

    // An empty entry is no entry: OK waits for text.
    connect(field_, &QLineEdit::textChanged, this,
            [this](const QString& text) { ok_->setEnabled(!text.isEmpty()); });
    // Return and Enter press OK, the default button (once: the field's own
    // returnPressed is not connected, or a failed write would be tried twice).
    connect(ok_, &QPushButton::clicked, this, &AddEntryDialog::confirm);
    connect(cancel_, &QPushButton::clicked, this, &AddEntryDialog::reject);
    connect(help_, &QPushButton::clicked, this, [h = std::move(help)] { h(); });
}

void AddEntryDialog::confirm() {
    if (field_->text().isEmpty()) return;
    // The entry is written first; only a written entry lets the dialog go.
    if (add_(field_->text())) hide();
}

// Cancel, Esc and the close box: the text is given up.
void AddEntryDialog::reject() {
    field_->clear();
    QDialog::reject();
}

void AddEntryDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    field_->setFocus();
    field_->selectAll();
}

// --- the palette -------------------------------------------------------------------------

StoredList EntryPalette::listOf(const PaletteDesign& design, const PaletteContext& context) {
    return StoredList(design.builtIn, context.settings.files.dataFile(design.shippedFile),
                      context.settings.files.writableFile(design.userFile));
}

EntryPalette::EntryPalette(PaletteContext& context, PaletteDesign design, StoredList list,
                           QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      context_(context), design_(std::move(design)), list_(std::move(list)) {
    setObjectName(u(design_.objectName));
    setWindowTitle(u(design_.caption));
    setFont(windowFont());

    listBox_ = new QListWidget(this);
    listBox_->setObjectName(QStringLiteral("entryList"));
    listBox_->setSelectionMode(QAbstractItemView::SingleSelection);
    listBox_->setContextMenuPolicy(Qt::CustomContextMenu);
    listBox_->installEventFilter(new ChooseOnReturn(this, [this] { choose(); }));

    choose_ = new QPushButton(u("選択"), this);
    choose_->setObjectName(QStringLiteral("chooseButton"));
    close_ = new QPushButton(u("閉じる"), this);
    close_->setObjectName(QStringLiteral("closeButton"));
    help_ = new QPushButton(u("HELP!"), this);
    help_->setObjectName(QStringLiteral("helpButton"));

    auto* bar = new QWidget(this);
    bar->setFixedHeight(kButtonBarHeight);
    auto* buttons = new QHBoxLayout(bar);
    buttons->setContentsMargins(4, 0, 4, 0);
    buttons->setSpacing(6);
    for (QPushButton* b : {choose_, close_, help_}) {
        b->setFixedSize(kButtonWidth, kButtonHeight);
        buttons->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(listBox_, 1);
    layout->addWidget(bar);

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("entryMenu"));
    addAction_ = menu_->addAction(u(design_.addItem));
    addAction_->setObjectName(QStringLiteral("addEntry"));
    deleteAction_ = menu_->addAction(u(design_.deleteItem));
    deleteAction_->setObjectName(QStringLiteral("deleteEntry"));

    connect(listBox_, &QListWidget::itemDoubleClicked, this, [this] { choose(); });
    connect(listBox_, &QWidget::customContextMenuRequested, this, &EntryPalette::showContextMenu);
    connect(choose_, &QPushButton::clicked, this, &EntryPalette::choose);
    connect(close_, &QPushButton::clicked, this, &QWidget::hide);
    connect(help_, &QPushButton::clicked, this,
            [this] { showPaletteHelp(context_, design_.helpKeyword); });
    connect(addAction_, &QAction::triggered, this, &EntryPalette::showAddDialog);
    connect(deleteAction_, &QAction::triggered, this, &EntryPalette::deleteSelected);
    connect(listBox_, &QListWidget::itemSelectionChanged, this,
            [this] { deleteAction_->setEnabled(selectedRow() >= 0); });
    deleteAction_->setEnabled(false);

    refill();
}

EntryPalette::~EntryPalette() = default;

void EntryPalette::loadList() {
    // The list box shows what the list holds, also when a file failed.
    struct Refill {
        EntryPalette* p;
        ~Refill() { p->refill(); }
    } refill{this};
    list_.load();
}

void EntryPalette::refill() {
    listBox_->clear();
    for (const std::string& entry : list_.entries())
        listBox_->addItem(cp932::decode(entry));
}

int EntryPalette::selectedRow() const {
    const QList<QListWidgetItem*> selected = listBox_->selectedItems();
    return selected.isEmpty() ? -1 : listBox_->row(selected.front());
}

void EntryPalette::selectRow(int row) {
    if (row < 0 || row >= listBox_->count()) {
        listBox_->clearSelection();
        listBox_->setCurrentItem(nullptr);
        return;
    }
    listBox_->setCurrentRow(row);
    listBox_->scrollToItem(listBox_->item(row));
}

void EntryPalette::choose() {
    const int row = selectedRow();
    if (row < 0) return;
    runCommand(context_.dialogs, [&] { insertEntry(list_[static_cast<std::size_t>(row)]); });
}

AddEntryDialog* EntryPalette::addDialog() {
    // Made when first asked for.
    if (!dialog_)
        dialog_ = new AddEntryDialog(
            design_, [this](const QString& text) { return addEntry(text); },
            [this] { showPaletteHelp(context_, design_.helpKeyword); }, this);
    return dialog_;
}

void EntryPalette::showAddDialog() {
    addDialog();
    if (!dialog_->isVisible()) {
        dialog_->adjustSize();
        centreOnScreen(dialog_);
    }
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

bool EntryPalette::addEntry(const QString& text) {
    const cp932::EncodeResult encoded = cp932::encode(text);
    if (!encoded.ok()) {
        showWarning(context_.dialogs, u("Shift-JIS で表せない文字があるため追加できません: %1")
                                          .arg(cp932::namesOf(encoded.bad)));
        return false;
    }
    const std::string& entry = encoded.bytes;
    if (entry.empty()) return false;
    if (entry.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        showWarning(context_.dialogs, u("改行を含む%1は追加できません").arg(u(design_.entryName)));
        return false;
    }
    if (!runCommand(context_.dialogs, [&] { list_.append(entry); })) return false;
    refill();
    selectRow(listBox_->count() - 1);
    return true;
}

void EntryPalette::deleteSelected() {
    const int row = selectedRow();
    if (row < 0) return;
    const std::size_t index = static_cast<std::size_t>(row);
    const QString question =
        u("%1「%2」を削除しますか？").arg(u(design_.entryName), cp932::decode(list_[index]));
    if (context_.dialogs.messageBox(u("確認"), question, Dialogs::Icon::Question,
                                    Dialogs::Yes | Dialogs::No) != Dialogs::Yes)
        return;
    if (!runCommand(context_.dialogs, [&] { list_.remove(index); })) return;
    refill();
    selectRow(std::min(row, listBox_->count() - 1));
}

void EntryPalette::showContextMenu(const QPoint& pos) {
    // A right click on a row chooses that row for the menu.
    if (QListWidgetItem* item = listBox_->itemAt(pos)) listBox_->setCurrentItem(item);
    deleteAction_->setEnabled(selectedRow() >= 0);
    menu_->popup(listBox_->viewport()->mapToGlobal(pos));
}

void EntryPalette::showEvent(QShowEvent* e) {
    if (!placed_) {
        placed_ = true;
        centreOnScreen(this);
    }
    QWidget::showEvent(e);
}
