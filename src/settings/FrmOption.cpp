#include "settings/FrmOption.h"

#include "browser/ITunesStringGrid.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "ui/WindowChrome.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

namespace korvello {

namespace {
constexpr int kShownColumnWidth = 80;
}

TFormOption::TFormOption(TFormMain& main) : QDialog(&main), main_(main) {
    setObjectName(QStringLiteral("FormOption"));
    setWindowTitle(QStringLiteral("Options Setting"));
    setFixedSize(413, 341);
    // FormCreate: no system frame, the rounded outline once for the fixed size.
    chrome_ = new WindowChrome(this);
    chrome_->ApplyRoundedShape();
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(219, 219, 229));
    setPalette(pal);

    XP_GroupBox1 = new QGroupBox(QStringLiteral("Colums Display"), this);
    XP_GroupBox1->setObjectName(QStringLiteral("XP_GroupBox1"));
    XP_GroupBox1->setGeometry(16, 48, 137, 201);
    SunCheckListBoxCols = new QListWidget(XP_GroupBox1);
    SunCheckListBoxCols->setObjectName(QStringLiteral("SunCheckListBoxCols"));
    SunCheckListBoxCols->setGeometry(16, 24, 105, 161);
    connect(SunCheckListBoxCols, &QListWidget::itemChanged, this, [this](QListWidgetItem*) {
        if (!filling_)
            SunCheckListBoxColsClickCheck();
    });

    XP_GroupBox2 = new QGroupBox(QStringLiteral("General Options"), this);
    XP_GroupBox2->setObjectName(QStringLiteral("XP_GroupBox2"));
    XP_GroupBox2->setGeometry(160, 48, 217, 201);
    PlaySong = new QCheckBox(QStringLiteral("Double Click to Play Song."), XP_GroupBox2);
    PlaySong->setObjectName(QStringLiteral("PlaySong"));
    PlaySong->setGeometry(24, 42, 153, 17);
    OverWrite = new QCheckBox(QStringLiteral("Always Overwrite Exist File."), XP_GroupBox2);
    OverWrite->setObjectName(QStringLiteral("OverWrite"));
    OverWrite->setGeometry(24, 72, 169, 17);

    XP_Button2 = new QPushButton(QStringLiteral("Restore Default"), this);
    XP_Button2->setObjectName(QStringLiteral("XP_Button2"));
    XP_Button2->setGeometry(64, 277, 105, 29);
    OpenDir = new QPushButton(QStringLiteral("Save"), this);
    OpenDir->setObjectName(QStringLiteral("OpenDir"));
    OpenDir->setGeometry(184, 277, 96, 29);
    XP_Button1 = new QPushButton(QStringLiteral("Cancel"), this);
    XP_Button1->setObjectName(QStringLiteral("XP_Button1"));
    XP_Button1->setGeometry(296, 277, 96, 29);
    connect(XP_Button2, &QPushButton::clicked, this, [this] { XP_Button2Click(); });
    connect(OpenDir, &QPushButton::clicked, this, [this] { OpenDirClick(); });
    connect(XP_Button1, &QPushButton::clicked, this, [this] { XP_Button1Click(); });

    LumoButtonSmall1 = new QPushButton(QStringLiteral("_"), this);
    LumoButtonSmall1->setObjectName(QStringLiteral("LumoButtonSmall1"));
    LumoButtonSmall1->setGeometry(317, 6, 18, 18);
    LumoButtonSmall2 = new QPushButton(QStringLiteral("x"), this);
    LumoButtonSmall2->setObjectName(QStringLiteral("LumoButtonSmall2"));
    LumoButtonSmall2->setGeometry(341, 6, 18, 18);
    connect(LumoButtonSmall1, &QPushButton::clicked, this, [this] { LumoButtonSmall1Click(); });
    connect(LumoButtonSmall2, &QPushButton::clicked, this, [this] { LumoButtonSmall2Click(); });

    setTabOrder(OpenDir, XP_Button1);
    setTabOrder(XP_Button1, SunCheckListBoxCols);
    setTabOrder(SunCheckListBoxCols, PlaySong);
    setTabOrder(PlaySong, OverWrite);
    setTabOrder(OverWrite, XP_Button2);
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
        for (int c = 1; c < grid->ColCount(); ++c) {
            auto* item =
                new QListWidgetItem(QString::fromStdString(grid->Cells(c, 0)), SunCheckListBoxCols);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(grid->ColWidths(c) > 0 ? Qt::Checked : Qt::Unchecked);
        }
        filling_ = false;
        OverWrite->setChecked(InitialOverWrite);
        PlaySong->setChecked(InitialPlaySong);
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
            grid->SetColWidths(i + 1, ticked ? kShownColumnWidth : 0);
        }
    });
}

void TFormOption::OpenDirClick() {
    main_.SetPlayOnDoubleClick(PlaySong->isChecked());
    main_.SetOverwriteExisting(OverWrite->isChecked());
    accept();
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
    filling_ = true;
    for (int i = 0; i < SunCheckListBoxCols->count(); ++i)
        SunCheckListBoxCols->item(i)->setCheckState(Qt::Checked);
    filling_ = false;
    SunCheckListBoxColsClickCheck();
}

} // namespace korvello
