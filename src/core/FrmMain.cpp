// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FrmMain.h"

#include "browser/ITunesStringGrid.h"
#include "browser/SongColumns.h"
#include "copyout/CopyThread.h"
#include "copyout/FrmReport.h"
#include "copyout/WorkerMessageBridge.h"
#include "core/ComboChoice.h"
#include "core/ErrorLog.h"
#include "core/KorvelloApplication.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "settings/FrmOption.h"
#include "ui/Dialogs.h"
#include "ui/LumoButton.h"
#include "ui/LumoProgressBar.h"
#include "ui/Skin.h"
#include "ui/SkinFrame.h"
#include "ui/StatusPanel.h"
#include "ui/SunImage.h"
#include "ui/SunSimpleComboBox.h"
#include "ui/WindowChrome.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSocketNotifier>
#include <QTimer>

namespace korvello {

namespace {

QColor Rgb(int r, int g, int b) {
    return QColor(r, g, b);
}

QFrame* MakePanel(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setGeometry(x, y, w, h);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Rgb(219, 219, 229));
    panel->setPalette(pal);
    // Small corner pictures round the panel off against the dark window.
    const struct {
        const char* picture;
        int x, y;
    } corners[] = {{"PanelCornerTopLeft", 0, 0},
                   {"PanelCornerTopRight", w - 3, 0},
                   {"PanelCornerBottomLeft", 0, h - 4},
                   {"PanelCornerBottomRight", w - 5, h - 4}};
    for (const auto& corner : corners) {
        auto* image = new TSunImage(panel);
        image->SetPicture(corner.picture);
        image->setGeometry(corner.x, corner.y, image->pixmap().width(), image->pixmap().height());
    }
    return panel;
}

TSunImage* Picture(QWidget* parent, const char* picture, int x, int y, int w, int h,
                   bool stretch = false) {
    auto* image = new TSunImage(parent);
    image->SetPicture(picture, stretch);
    image->setGeometry(x, y, w, h);
    return image;
}

template <class W> W* Place(W* widget, const char* name, int x, int y, int w, int h) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

} // namespace

TFormMain::TFormMain(IPlatform& platform, IDialogs& dialogs, QWidget* parent)
    : QWidget(parent), iPod(platform), platform_(platform), dialogs_(dialogs) {
    // The window and its components come first; the guarded steps below only set state.
    BuildLayout();
    bridge_ = std::make_unique<WorkerMessageBridge>();
    bridge_->SetHandler([this](unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
        WindowMessage(msg, wParam, lParam);
    });

    Guard("FormCreate:", [&] {
        AppFolder.clear();
        CurrentDrive.clear();
        iPodSelectorCom->clear();
        AdvStringGridSong->SetColCount(kSongColumnCount);
        SourceList.clear();
        TargetList.clear();
        TitleList.clear();
        ColumnWidths.clear();
        SetPlayOnDoubleClick(false);
        SetOverwriteExisting(false);
        iPodFound = false;
        CopyRunning = false;
        BackupDone = false;
        ReadRegistry();
        ReadIniFile();
    });

    WatchDevices();
}

TFormMain::~TFormMain() {
    WaitForBackup();
    Guard("TFormMainDestroy:", [&] {
        // A worker still running at exit was abandoned by the close question; it stops
        // at its next check without writing or sending anything more.
        if (CopyThread)
            CopyThread->Abandon();
        CopyThread.reset();
        // The catalogue goes before the song table does.
        AdvStringGridSong->SetTextsSource(nullptr);
        SourceList.clear();
        TargetList.clear();
        TitleList.clear();
        ColumnWidths.clear();
    });
}

IWindowMessageSink& TFormMain::MessageSink() {
    return *bridge_;
}

void TFormMain::SetForms(TFormOption* option, TFormReport* report) {
    formOption_ = option;
    formReport_ = report;
}

// The widgets are made in the order of their Tab and stacking order; each step below
// adds one area of the window.
void TFormMain::BuildLayout() {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setFixedSize(706, 476);
    // FormCreate: no system frame, the rounded outline once for the window's fixed size.
    chrome_ = new WindowChrome(this, [this] { AfterWindowMove(); });
    chrome_->ApplyRoundedShape();
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Rgb(41, 43, 55));
    setPalette(pal);

    const QFont base = SkinFont("MS Sans Serif", 8);
    setFont(base);
    QFont bold = base;
    bold.setBold(true);

    const std::vector<QWidget*> frame = BuildFramePictures();
    BuildTitleStrip(base);
    BuildSongPanel();
    BuildSearchPanel(base);
    BuildCategoryPanel(bold);
    BuildCommandButtons(bold);
    ConnectBrowser();
    AddDragSources(frame);
    OrderTabs();
}

std::vector<QWidget*> TFormMain::BuildFramePictures() {
    // Title strip: a stretched background with its end pieces, the centre piece between
    // two ornaments, and the caps either side of the status line.
    std::vector<QWidget*> frame = {
        Picture(this, "TitleBack", 0, 1, 705, 37, true),
        Picture(this, "TitleEndLeft", 0, 0, 9, 31),
        Picture(this, "TitleEndRight", 696, 0, 9, 31),
        Picture(this, "TitleCentre", 200, 1, 289, 37),
        Picture(this, "OrnamentLeft", 168, 1, 32, 32),
        Picture(this, "OrnamentRight", 488, 1, 32, 32),
        Picture(this, "TitleCapLeft", 204, 2, 13, 24),
        Picture(this, "TitleCapRight", 473, 2, 13, 24),
    };
    // Border: the bottom strip and the two side lines.
    frame.push_back(Picture(this, "BottomLeft", 0, 457, 13, 18));
    frame.push_back(Picture(this, "BottomBack", 13, 457, 679, 18, true));
    frame.push_back(Picture(this, "BottomRight", 692, 457, 13, 18));
    frame.push_back(Picture(this, "SideLine", 0, 37, 1, 421, true));
    frame.push_back(Picture(this, "SideLine", 704, 37, 1, 421, true));
    return frame;
}

// The program's name, the status line, the progress bar and the title bar's buttons.
void TFormMain::BuildTitleStrip(const QFont& base) {
    Label2 = Place(new QLabel(this), "Label2", 24, 16, 120, 16);
    Label2->setFont(SkinFont("@Gulim", 9, true));
    Label2->setStyleSheet(QStringLiteral("color: rgb(255,255,0);"));
    Label2->setTextFormat(Qt::PlainText);

    // Between the title strip's end caps; a long status keeps clear of them.
    Notifier = Place(new TStatusPanel(this), "Notifier", 217, 4, 256, 20);
    Notifier->setAlignment(Qt::AlignCenter);
    QFont statusFont = base;
    statusFont.setBold(true);
    // The sans face that stands in for the old bitmap font runs a little wider; narrowed
    // slightly, a status of the full 46 characters fits the line instead of losing its ends.
    statusFont.setStretch(94);
    Notifier->setFont(statusFont);
    Notifier->setStyleSheet(QStringLiteral("color: rgb(245,255,91);"));
    // Status texts carry song titles and album names: shown as they are, never as markup.
    Notifier->setTextFormat(Qt::PlainText);

    ProgressBarItunes = Place(new TLumoProgressBar(this), "ProgressBarItunes", 224, 38, 257, 11);
    ProgressBarItunes->setRange(0, 100);
    ProgressBarItunes->setValue(0);

    XP_ButtonSmall1 =
        Place(MakeTitleBarButton(this, "GlyphMinimize"), "XP_ButtonSmall1", 616, 10, 18, 18);
    XP_ButtonSmall3 =
        Place(MakeTitleBarButton(this, "GlyphClose"), "XP_ButtonSmall3", 640, 10, 18, 18);
    connect(XP_ButtonSmall1, &QPushButton::clicked, this, [this] { XP_ButtonSmall1Click(); });
    connect(XP_ButtonSmall3, &QPushButton::clicked, this, [this] { XP_ButtonSmall3Click(); });
}

void TFormMain::BuildSongPanel() {
    Panel1 = MakePanel(this, "Panel1", 8, 56, 489, 377);
    AdvStringGridSong = Place(new TITunesStringGrid(Panel1), "AdvStringGridSong", 8, 8, 473, 361);
}

// The search box and the iPod selector (with the hidden play icon of the song rows).
void TFormMain::BuildSearchPanel(const QFont& base) {
    Panel3 = MakePanel(this, "Panel3", 504, 56, 193, 105);
    Image4 = Place(Picture(Panel3, "SearchLabel", 0, 0, 0, 0), "Image4", 13, 27, 32, 10);
    Image21 = Place(Picture(Panel3, "SearchFrame", 0, 0, 0, 0), "Image21", 49, 25, 126, 21);
    Edit1 = Place(new QLineEdit(Panel3), "Edit1", 50, 26, 124, 19);
    Edit1->setFrame(false);
    QFont editFont = base;
    editFont.setPointSize(10);
    Edit1->setFont(editFont);
    Image3 = Place(Picture(Panel3, "iPodLabel", 0, 0, 0, 0), "Image3", 19, 66, 19, 10);
    Image2 = Place(Picture(this, "PlayIcon", 0, 0, 0, 0), "Image2", 0, 0, 16, 16);
    Image2->setVisible(false);
    iPodSelectorCom = Place(new TSunSimpleComboBox(Panel3), "iPodSelectorCom", 49, 59, 127, 21);
    QPalette selectorPal = iPodSelectorCom->palette();
    selectorPal.setColor(QPalette::Text, Rgb(65, 67, 64));
    iPodSelectorCom->setPalette(selectorPal);
    // Only a choice in the open list loads; the wheel or an arrow key over the closed box
    // must not switch iPods.
    connect(new TComboChoice(iPodSelectorCom), &TComboChoice::Chosen, this,
            [this](int) { RunUnguarded([this] { iPodSelectorComCloseUp(); }); });
}

// The three tabs and the artist, album and file-type lists they switch between.
void TFormMain::BuildCategoryPanel(const QFont& bold) {
    Panel2 = MakePanel(this, "Panel2", 504, 176, 193, 225);
    LumoButtonSmall1 = Place(new TLumoButtonList(QStringLiteral("Artist"), Panel2),
                             "LumoButtonSmall1", 7, 12, 59, 20);
    LumoButtonSmall2 = Place(new TLumoButtonList(QStringLiteral("Album"), Panel2),
                             "LumoButtonSmall2", 66, 14, 60, 18);
    LumoButtonSmall3 = Place(new TLumoButtonList(QStringLiteral("File Type"), Panel2),
                             "LumoButtonSmall3", 126, 14, 61, 18);
    for (QPushButton* tab : {LumoButtonSmall1, LumoButtonSmall2, LumoButtonSmall3})
        tab->setFont(bold);
    ArtistList = Place(new TITunesStringGrid(Panel2), "ArtistList", 7, 32, 180, 185);
    AlbumList = Place(new TITunesStringGrid(Panel2), "AlbumList", 7, 32, 180, 185);
    FileTypeList = Place(new TITunesStringGrid(Panel2), "FileTypeList", 7, 32, 180, 185);
}

// Bottom row: the two push buttons between their end caps.
void TFormMain::BuildCommandButtons(const QFont& bold) {
    Picture(this, "ButtonCapLeft", 504, 413, 13, 29);
    Picture(this, "ButtonCapRight", 685, 413, 13, 29);
    XP_Button3 =
        Place(new TLumoButton(QStringLiteral("Option"), this), "XP_Button3", 573, 413, 56, 29);
    ButtonCopy =
        Place(new TLumoButton(QStringLiteral("Copy"), this), "ButtonCopy", 629, 413, 56, 29);
    for (QPushButton* b : {XP_Button3, ButtonCopy}) {
        b->setFont(bold);
        QPalette captionPal = b->palette();
        captionPal.setColor(QPalette::ButtonText, Rgb(245, 255, 91));
        b->setPalette(captionPal);
    }
    connect(XP_Button3, &QPushButton::clicked, this, [this] { XP_Button3Click(); });
    connect(ButtonCopy, &QPushButton::clicked, this, [this] { ButtonCopyClick(); });
}

// What moves the window besides its background: the title and status texts, the
// progress bar, the panels' own backgrounds, the search and selector pictures and the
// frame's pictures. Everything else on the window (grids, buttons, search box, selector)
// keeps its press.
void TFormMain::AddDragSources(const std::vector<QWidget*>& frame) {
    for (QWidget* source : std::initializer_list<QWidget*>{
             Label2, Notifier, ProgressBarItunes, Panel1, Panel2, Panel3, Image3, Image4, Image21})
        chrome_->AddDragSource(source);
    for (QWidget* picture : frame)
        chrome_->AddDragSource(picture);
}

// Tab runs through the window's controls from the song table on, in reading order, and
// reaches the title bar's buttons last: at start the keyboard is with the songs, and a
// Return or Space typed then never minimises or closes the program.
void TFormMain::OrderTabs() {
    QWidget* const order[] = {
        AdvStringGridSong, Edit1,           iPodSelectorCom, LumoButtonSmall1, LumoButtonSmall2,
        LumoButtonSmall3,  ArtistList,      AlbumList,       FileTypeList,     XP_Button3,
        ButtonCopy,        XP_ButtonSmall1, XP_ButtonSmall3};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TFormMain::AfterWindowMove() {
    AdvStringGridSong->RepaintAll();
    for (TITunesStringGrid* list : {AlbumList, ArtistList, FileTypeList})
        if (list->isVisible())
            list->RepaintAll();
}

void TFormMain::XP_ButtonSmall1Click() {
    WindowChrome::MinimizeApplication();
}

std::string TFormMain::StatusText() const {
    return Notifier->text().toStdString();
}

void TFormMain::ShowStatus(const std::string& text) {
    std::string shown = text;
    if (Utf8Length(text) > static_cast<std::size_t>(kStatusMaxChars))
        shown = Utf8Left(text, kStatusMaxChars) + "...";
    Notifier->setText(QString::fromStdString(shown));
}

void TFormMain::LoadCurrentDrive() {
    // The song table's rows not yet read hold numbers of the songs about to go.
    AdvStringGridSong->WriteWaitingRows();
    iPod.SetDrivePath(ToUtf8(CurrentDrive));
    iPod.LoadDatabase();
    LoadSongsOfFiles();
}

void TFormMain::RunUnguarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        dialogs_.ShowError(this, kApplicationTitle, TopLevelErrorText(e.what()));
    }
}

void TFormMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TFormMain::FormShow() {
    Guard("FormShow:", [&] {
        Label2->setText(QStringLiteral("Korvello"));
        Label2->adjustSize();
        if (QScreen* screen = this->screen()) {
            const QRect area = screen->geometry();
            move(area.x() + (area.width() - width()) / 2,
                 area.y() + (area.height() - height()) / 2);
        }
        ArtistList->setVisible(true);
        AlbumList->setVisible(false);
        FileTypeList->setVisible(false);
        DisPlaySongsInit();
        DisPlayOtherInit();
        if (GetiPodDriver()) {
            SelectStartDrive();
            LoadCurrentDrive();
            DisPlaySongs(SongListMode::AllSongs, nullptr);
            DisPlayOther();
            ShowDatabaseProblem();
            // The copy of the database comes next, after the fill as always, but only once
            // the filled window is on the screen: on a large database it takes longer than
            // everything before it.
            backupDue_ = true;
        }
    });
    AdvStringGridSong->setFocus(Qt::OtherFocusReason);
}

void TFormMain::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!backupDue_ || backupQueued_)
        return;
    backupQueued_ = true;
    // Queued: the children of the window are painted and the window reaches the screen
    // before the copy starts.
    QTimer::singleShot(0, this, [this] { MakeDueBackup(); });
}

void TFormMain::MakeDueBackup() {
    if (!backupDue_)
        return;
    backupDue_ = false;
    Guard("FormShow:", [&] { BackupDatabase(); });
}

void TFormMain::SelectStartDrive() {
    if (startDrive_.empty())
        return;
    // Selector entries end with their drive: " [label]  f:".
    for (int i = 0; i < iPodSelectorCom->count(); ++i) {
        if (iPodSelectorCom->itemText(i).endsWith(QString::fromStdString(startDrive_))) {
            iPodSelectorCom->setCurrentIndex(i);
            CurrentDrive = ToUtf16(startDrive_);
            return;
        }
    }
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // Closed by the desktop (its own close button, a log-out) while copying: the same
    // question as the window's close button, and the same answer.
    // A Yes abandons the job; the window's own close() inside that answer is a no-op while
    // this close is under way, so this event itself must go on and close the window.
    if (CopyRunning && !closeConfirmed_) {
        XP_ButtonSmall3Click();
        if (!closeConfirmed_) {
            event->ignore();
            return;
        }
    }
    // Closed while the songs are read from their files: the reading ends at the next file.
    if (ScanRunning)
        ScanStopRequested = true;
    FormClose();
    QWidget::closeEvent(event);
}

void TFormMain::FormClose() {
    MakeDueBackup();
    WriteIniFile();
    WriteRegistry();
}

void TFormMain::WindowMessage(unsigned msg, std::intptr_t wParam, std::intptr_t /*lParam*/) {
    switch (msg) {
    case CM_PROGRESS:
        CMProgress(wParam);
        break;
    case CM_PROGRESSMAX:
        CMProgressMax(wParam);
        break;
    case CM_PROGRESSTEXT:
        CMProgressText(wParam);
        break;
    case CM_PROGRESSFINISH:
        CMProgressFinish(wParam);
        break;
    case WM_DEVICECHANGE:
        RunUnguarded([&] { WMDeviceChange(static_cast<unsigned>(wParam)); });
        break;
    default:
        break;
    }
}

void TFormMain::CMProgress(std::intptr_t wParam) {
    ProgressBarItunes->setValue(static_cast<int>(wParam));
}

void TFormMain::CMProgressMax(std::intptr_t wParam) {
    ProgressBarItunes->setMaximum(static_cast<int>(wParam));
}

void TFormMain::CMProgressText(std::intptr_t wParam) {
    const char* text = reinterpret_cast<const char*>(wParam);
    ShowStatus(text != nullptr ? std::string(text) : std::string());
}

void TFormMain::WatchDevices() {
    for (const WatchDescriptor& w : platform_.DeviceWatchDescriptors()) {
        if (w.fd < 0)
            continue;
        auto* notifier = new QSocketNotifier(
            w.fd, w.exceptional ? QSocketNotifier::Exception : QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] { OnDeviceNotifier(); });
        deviceNotifiers_.push_back(notifier);
    }
    // Take the drive map as it is now, so that only later additions count as arrivals.
    platform_.PollDeviceArrival();
}

void TFormMain::OnDeviceNotifier() {
    if (platform_.PollDeviceArrival())
        WindowMessage(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
}

} // namespace korvello
