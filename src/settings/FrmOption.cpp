// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/FrmOption.h"

#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "ui/Dialogs.h"
#include "ui/LumoButton.h"
#include "ui/Skin.h"
#include "ui/SkinFrame.h"
#include "ui/SunCheckListBox.h"
#include "ui/SunSimpleComboBox.h"
#include "ui/WindowChrome.h"
#include "ui/XP_GroupBox.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

namespace korvello {

namespace {
constexpr int kShownColumnWidth = 80;
const QColor kBackground(219, 219, 229);

TXP_GroupBox* MakeGroup(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* box = new TXP_GroupBox(QString::fromLatin1(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(place);
    box->SetColor(kBackground);
    box->SetBorderColor(QColor(160, 160, 164));
    box->SetCaptionColor(Qt::black);
    return box;
}

TLumoButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect place) {
    auto* button = new TLumoButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setFont(SkinFont("MS Sans Serif", 8, true));
    QPalette pal = button->palette();
    pal.setColor(QPalette::ButtonText, QColor(245, 255, 91));
    button->setPalette(pal);
    return button;
}
} // namespace

TFormOption::TFormOption(TFormMain& main) : QDialog(&main), main_(main) {
    setObjectName(QStringLiteral("FormOption"));
    setWindowTitle(QStringLiteral("Options Setting"));
    setFixedSize(413, 341);
    // FormCreate: no system frame, the rounded outline once for the fixed size.
    chrome_ = new WindowChrome(this);
    chrome_->ApplyRoundedShape();
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    setPalette(pal);
    setFont(SkinFont("MS Sans Serif", 8));

    BuildFrame();
    BuildColumnsGroup();
    BuildGeneralGroup();
    BuildButtons();
    BuildTitleButtons();
    OrderTabs();
}

// The drawn title and bottom strips; they move the window like its background.
void TFormOption::BuildFrame() {
    std::vector<QWidget*> frame = AddTitleStrip(this, QStringLiteral("Options Setting"));
    for (QWidget* picture : AddBottomStrip(this))
        frame.push_back(picture);
    for (QWidget* picture : frame)
        chrome_->AddDragSource(picture);
}

// "Colums Display": one tick a column of the song table.
void TFormOption::BuildColumnsGroup() {
    XP_GroupBox1 = MakeGroup(this, "XP_GroupBox1", "Colums Display", QRect(16, 48, 137, 201));
    auto* columns = new TSunCheckListBox(XP_GroupBox1);
    columns->SetItemHeight(13);
    columns->SetBorderColor(QColor(224, 224, 224));
    QPalette listPal = columns->palette();
    listPal.setColor(QPalette::Base, kBackground);
    columns->setPalette(listPal);
    SunCheckListBoxCols = columns;
    SunCheckListBoxCols->setObjectName(QStringLiteral("SunCheckListBoxCols"));
    SunCheckListBoxCols->setGeometry(16, 24, 105, 161);
    connect(SunCheckListBoxCols, &QListWidget::itemChanged, this, [this](QListWidgetItem*) {
        if (!filling_)
            SunCheckListBoxColsClickCheck();
    });
}

// "General Options": the two flags, the settings of organised copies and the tags.
void TFormOption::BuildGeneralGroup() {
    XP_GroupBox2 = MakeGroup(this, "XP_GroupBox2", "General Options", QRect(160, 48, 217, 201));
    PlaySong = new QCheckBox(QStringLiteral("Double Click to Play Song."), XP_GroupBox2);
    PlaySong->setObjectName(QStringLiteral("PlaySong"));
    PlaySong->setGeometry(24, 42, 153, 17);
    OverWrite = new QCheckBox(QStringLiteral("Always Overwrite Exist File."), XP_GroupBox2);
    OverWrite->setObjectName(QStringLiteral("OverWrite"));
    OverWrite->setGeometry(24, 72, 169, 17);
    // Organised copies, in the room the group has below the two flags.
    NameCopiesLabel = new QLabel(QStringLiteral("Name copies"), XP_GroupBox2);
    NameCopiesLabel->setObjectName(QStringLiteral("NameCopiesLabel"));
    NameCopiesLabel->setGeometry(24, 102, 169, 15);
    NameCopies = new TSunSimpleComboBox(XP_GroupBox2);
    NameCopies->setObjectName(QStringLiteral("NameCopies"));
    NameCopies->setGeometry(24, 119, 169, 21);
    // The presets, and a template of the user's own typed into the field.
    NameCopies->setEditable(true);
    NameCopies->setInsertPolicy(QComboBox::NoInsert);
    for (const TNamingPreset& preset : kNamingPresets)
        NameCopies->addItem(QString::fromUtf8(preset.label), QString::fromUtf8(preset.text));
    NameCopies->view()->setMinimumWidth(NameCopies->view()->sizeHintForColumn(0) + 8);
    // A chosen label longer than the field shows its beginning.
    connect(NameCopies, &QComboBox::currentIndexChanged, this,
            [this] { NameCopies->lineEdit()->setCursorPosition(0); });
    NameCopiesLabel->setBuddy(NameCopies);
    SkipCopied = new QCheckBox(QStringLiteral("Skip songs already copied"), XP_GroupBox2);
    SkipCopied->setObjectName(QStringLiteral("SkipCopied"));
    SkipCopied->setGeometry(24, 152, 169, 17);
    // The group's last free row, wide enough for the longer text.
    WriteTags = new QCheckBox(QStringLiteral("Write the iPod's tags into copies"), XP_GroupBox2);
    WriteTags->setObjectName(QStringLiteral("WriteTags"));
    WriteTags->setGeometry(24, 176, 190, 17);
    // Neither group has a free line this wide: the strip between the groups and the
    // buttons holds it, beside the copy settings.
    ListUnlisted =
        new QCheckBox(QStringLiteral("Also list songs the database does not name"), this);
    ListUnlisted->setObjectName(QStringLiteral("ListUnlisted"));
    ListUnlisted->setGeometry(24, 254, 353, 17);
}

// Restore Default, Save and Cancel.
void TFormOption::BuildButtons() {
    XP_Button2 = MakeButton(this, "XP_Button2", "Restore Default", QRect(64, 277, 105, 29));
    OpenDir = MakeButton(this, "OpenDir", "Save", QRect(184, 277, 96, 29));
    XP_Button1 = MakeButton(this, "XP_Button1", "Cancel", QRect(296, 277, 96, 29));
    connect(XP_Button2, &QPushButton::clicked, this, [this] { XP_Button2Click(); });
    connect(OpenDir, &QPushButton::clicked, this, [this] { OpenDirClick(); });
    connect(XP_Button1, &QPushButton::clicked, this, [this] { XP_Button1Click(); });
}

// Title bar: minimise the application, close as Cancel.
void TFormOption::BuildTitleButtons() {
    LumoButtonSmall1 = MakeTitleBarButton(this, "GlyphMinimize");
    LumoButtonSmall1->setObjectName(QStringLiteral("LumoButtonSmall1"));
    LumoButtonSmall1->setGeometry(317, 6, 18, 18);
    LumoButtonSmall2 = MakeTitleBarButton(this, "GlyphClose");
    LumoButtonSmall2->setObjectName(QStringLiteral("LumoButtonSmall2"));
    LumoButtonSmall2->setGeometry(341, 6, 18, 18);
    connect(LumoButtonSmall1, &QPushButton::clicked, this, [this] { LumoButtonSmall1Click(); });
    connect(LumoButtonSmall2, &QPushButton::clicked, this, [this] { LumoButtonSmall2Click(); });
}

// From Save and Cancel through the two groups to Restore Default and the title bar.
void TFormOption::OrderTabs() {
    setTabOrder(OpenDir, XP_Button1);
    setTabOrder(XP_Button1, SunCheckListBoxCols);
    setTabOrder(SunCheckListBoxCols, PlaySong);
    setTabOrder(PlaySong, OverWrite);
    setTabOrder(OverWrite, NameCopies);
    setTabOrder(NameCopies, SkipCopied);
    setTabOrder(SkipCopied, WriteTags);
    setTabOrder(WriteTags, ListUnlisted);
    setTabOrder(ListUnlisted, XP_Button2);
    setTabOrder(XP_Button2, LumoButtonSmall1);
    setTabOrder(LumoButtonSmall1, LumoButtonSmall2);
}

void TFormOption::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only a showing from the Option button rebuilds the window; coming back from
    // minimised (a spontaneous show) keeps the ticks the user has not saved yet.
    if (!event->spontaneous())
        FormShow();
}

void TFormOption::FormShow() {
    Guard("FormShow:", [&] {
        TITunesStringGrid* grid = main_.AdvStringGridSong;
        filling_ = true;
        SunCheckListBoxCols->clear();
        for (int c = kFirstTextColumn; c < grid->ColCount(); ++c) {
            auto* item =
                new QListWidgetItem(QString::fromStdString(grid->Cells(c, 0)), SunCheckListBoxCols);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(grid->ColWidths(c) > 0 ? Qt::Checked : Qt::Unchecked);
        }
        filling_ = false;
        OverWrite->setChecked(InitialOverWrite);
        PlaySong->setChecked(InitialPlaySong);
        ShowCopyNaming(InitialCopyNaming);
        SkipCopied->setChecked(InitialSkipCopied);
        WriteTags->setChecked(InitialWriteTags);
        ListUnlisted->setChecked(InitialListUnlisted);
        const QRect m = main_.geometry();
        move(m.left() + (m.width() - width()) / 2, m.top() + (m.height() - height()) / 2);
        XP_Button1->setFocus();
    });
    filling_ = false;
}

void TFormOption::SunCheckListBoxColsClickCheck() {
    Guard("SunCheckListBoxColsClickCheck:", [&] {
        TITunesStringGrid* grid = main_.AdvStringGridSong;
        for (int i = 0; i < SunCheckListBoxCols->count(); ++i) {
            const bool ticked = SunCheckListBoxCols->item(i)->checkState() == Qt::Checked;
            grid->SetColWidths(kFirstTextColumn + i, ticked ? kShownColumnWidth : 0);
        }
    });
}

void TFormOption::OpenDirClick() {
    // A template that cannot name copies is refused before anything is applied; the
    // window stays open so the user can mend it.
    std::string why;
    const std::optional<TCopyNaming> naming = ChosenCopyNaming(why);
    if (!naming) {
        main_.Dialogs().ShowError(this, kApplicationTitle,
                                  "Name copies: \"" + NameCopies->currentText().toStdString() +
                                      "\" cannot be used: " + why + ".");
        return;
    }
    main_.SetPlayOnDoubleClick(PlaySong->isChecked());
    main_.SetOverwriteExisting(OverWrite->isChecked());
    main_.SetCopyNaming(*naming);
    main_.SetSkipCopiedFiles(SkipCopied->isChecked());
    main_.SetWriteTagsToCopies(WriteTags->isChecked());
    accept();
    // After the window closed: the songs of the iPod may be listed afresh.
    main_.SetListUnlistedFiles(ListUnlisted->isChecked());
}

// The naming's preset, or the user's own template as an item of its own after the presets.
void TFormOption::ShowCopyNaming(const TCopyNaming& naming) {
    while (NameCopies->count() > static_cast<int>(kNamingPresets.size()))
        NameCopies->removeItem(NameCopies->count() - 1);
    const QString text = QString::fromStdString(naming.Text());
    int index = NameCopies->findData(text);
    if (index < 0) {
        NameCopies->addItem(text, text);
        index = NameCopies->count() - 1;
    }
    NameCopies->setCurrentIndex(index);
    NameCopies->setEditText(NameCopies->itemText(index));
    NameCopies->lineEdit()->setCursorPosition(0);
}

std::optional<TCopyNaming> TFormOption::ChosenCopyNaming(std::string& why) const {
    // An item's label names its template; any other text is a template (or one of the
    // words the setting stores).
    const QString typed = NameCopies->currentText();
    for (int i = 0; i < NameCopies->count(); ++i) {
        if (NameCopies->itemText(i) == typed)
            return TCopyNaming::Parse(NameCopies->itemData(i).toString().toStdString(), why);
    }
    return ParseCopyNaming(typed.trimmed().toStdString(), why);
}

void TFormOption::XP_Button1Click() {
    reject();
}

void TFormOption::LumoButtonSmall1Click() {
    WindowChrome::MinimizeApplication();
}

void TFormOption::LumoButtonSmall2Click() {
    XP_Button1Click();
}

void TFormOption::XP_Button2Click() {
    OverWrite->setChecked(true);
    PlaySong->setChecked(false);
    ShowCopyNaming(kDefaultCopyNaming);
    SkipCopied->setChecked(false);
    WriteTags->setChecked(false);
    ListUnlisted->setChecked(false);
    filling_ = true;
    for (int i = 0; i < SunCheckListBoxCols->count(); ++i)
        SunCheckListBoxCols->item(i)->setCheckState(Qt::Checked);
    filling_ = false;
    SunCheckListBoxColsClickCheck();
}

} // namespace korvello
