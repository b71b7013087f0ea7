#include "core/FrmMain.h"

#include "browser/ITunesStringGrid.h"
#include "copyout/CopyThread.h"
#include "copyout/FrmReport.h"
#include "copyout/WorkerMessageBridge.h"
#include "core/ErrorLog.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "settings/FrmOption.h"
#include "ui/Dialogs.h"
#include "ui/WindowChrome.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSocketNotifier>

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
    return panel;
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
        AdvStringGridSong->SetColCount(12);
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
    Guard("TFormMainDestroy:", [&] {
        // A worker still running at exit was abandoned by the close question; it stops
        // at its next check without writing or sending anything more.
        if (CopyThread)
            CopyThread->Abandon();
        CopyThread.reset();
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

    QFont base(QStringLiteral("MS Sans Serif"));
    base.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Noto Sans"), QStringLiteral("Noto Sans CJK JP")});
    base.setPointSize(8);
    setFont(base);

    // Title strip.
    Label2 = Place(new QLabel(this), "Label2", 24, 16, 120, 16);
    QFont titleFont(QStringLiteral("Gulim"));
    titleFont.setFamilies({QStringLiteral("Gulim"), QStringLiteral("DejaVu Sans")});
    titleFont.setPointSize(9);
    titleFont.setBold(true);
    Label2->setFont(titleFont);
    Label2->setStyleSheet(QStringLiteral("color: rgb(255,255,0);"));
    Label2->setTextFormat(Qt::PlainText);

    Notifier = Place(new QLabel(this), "Notifier", 217, 4, 256, 20);
    Notifier->setAlignment(Qt::AlignCenter);
    QFont bold = base;
    bold.setBold(true);
    Notifier->setFont(bold);
    Notifier->setStyleSheet(QStringLiteral("color: rgb(245,255,91);"));
    // Status texts carry song titles and album names: shown as they are, never as markup.
    Notifier->setTextFormat(Qt::PlainText);

    ProgressBarItunes = Place(new QProgressBar(this), "ProgressBarItunes", 224, 38, 257, 11);
    ProgressBarItunes->setRange(0, 100);
    ProgressBarItunes->setValue(0);
    ProgressBarItunes->setTextVisible(false);

    XP_ButtonSmall1 =
        Place(new QPushButton(QStringLiteral("_"), this), "XP_ButtonSmall1", 616, 10, 18, 18);
    XP_ButtonSmall3 =
        Place(new QPushButton(QStringLiteral("x"), this), "XP_ButtonSmall3", 640, 10, 18, 18);
    connect(XP_ButtonSmall1, &QPushButton::clicked, this, [this] { XP_ButtonSmall1Click(); });
    connect(XP_ButtonSmall3, &QPushButton::clicked, this, [this] { XP_ButtonSmall3Click(); });

    // Song area.
    Panel1 = MakePanel(this, "Panel1", 8, 56, 489, 377);
    AdvStringGridSong = Place(new TITunesStringGrid(Panel1), "AdvStringGridSong", 8, 8, 473, 361);

    // Search and device panel.
    Panel3 = MakePanel(this, "Panel3", 504, 56, 193, 105);
    Image4 = Place(new QLabel(QStringLiteral("Search"), Panel3), "Image4", 13, 27, 32, 10);
    Image21 = Place(new QLabel(Panel3), "Image21", 49, 25, 126, 21);
    Image21->setFrameShape(QFrame::Box);
    Edit1 = Place(new QLineEdit(Panel3), "Edit1", 50, 26, 124, 19);
    Edit1->setFrame(false);
    QFont editFont = base;
    editFont.setPointSize(10);
    Edit1->setFont(editFont);
    Image3 = Place(new QLabel(QStringLiteral("iPod"), Panel3), "Image3", 19, 66, 19, 10);
    for (QLabel* label : {Image3, Image4}) {
        QFont small = base;
        small.setPixelSize(9);
        label->setFont(small);
        label->setTextFormat(Qt::PlainText);
    }
    iPodSelectorCom = Place(new QComboBox(Panel3), "iPodSelectorCom", 49, 59, 127, 21);
    iPodSelectorCom->setEditable(false);
    iPodSelectorCom->setStyleSheet(QStringLiteral("color: rgb(65,67,64);"));
    connect(iPodSelectorCom, qOverload<int>(&QComboBox::activated), this,
            [this](int) { RunUnguarded([this] { iPodSelectorComCloseUp(); }); });

    // Category panel.
    Panel2 = MakePanel(this, "Panel2", 504, 176, 193, 225);
    LumoButtonSmall1 =
        Place(new QPushButton(QStringLiteral("Artist"), Panel2), "LumoButtonSmall1", 7, 12, 59, 20);
    LumoButtonSmall2 =
        Place(new QPushButton(QStringLiteral("Album"), Panel2), "LumoButtonSmall2", 66, 14, 60, 18);
    LumoButtonSmall3 = Place(new QPushButton(QStringLiteral("File Type"), Panel2),
                             "LumoButtonSmall3", 126, 14, 61, 18);
    ArtistList = Place(new TITunesStringGrid(Panel2), "ArtistList", 7, 32, 180, 185);
    AlbumList = Place(new TITunesStringGrid(Panel2), "AlbumList", 7, 32, 180, 185);
    FileTypeList = Place(new TITunesStringGrid(Panel2), "FileTypeList", 7, 32, 180, 185);

    // Bottom row.
    XP_Button3 =
        Place(new QPushButton(QStringLiteral("Option"), this), "XP_Button3", 573, 413, 56, 29);
    ButtonCopy =
        Place(new QPushButton(QStringLiteral("Copy"), this), "ButtonCopy", 629, 413, 56, 29);
    for (QPushButton* b : {XP_Button3, ButtonCopy}) {
        b->setFont(bold);
    }
    connect(XP_Button3, &QPushButton::clicked, this, [this] { XP_Button3Click(); });
    connect(ButtonCopy, &QPushButton::clicked, this, [this] { ButtonCopyClick(); });

    ConnectBrowser();

    // What moves the window besides its background: the title and status texts, the
    // progress bar, the panels' own backgrounds and the search and selector pictures.
    // Everything else on the window (grids, buttons, search box, selector) keeps its press.
    for (QWidget* source : std::initializer_list<QWidget*>{
             Label2, Notifier, ProgressBarItunes, Panel1, Panel2, Panel3, Image3, Image4, Image21})
        chrome_->AddDragSource(source);
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
    iPod.SetDrivePath(ToUtf8(CurrentDrive));
    iPod.LoadDatabase();
}

void TFormMain::RunUnguarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        std::string text = e.what();
        // The application's error box ends its text with a full stop when the text's
        // last character sorts after ".".
        if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
            text += ".";
        dialogs_.ShowError(this, kApplicationTitle, text);
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
            LoadCurrentDrive();
            DisPlaySongs(SongListMode::AllSongs, nullptr);
            DisPlayOther();
            BackupDatabase();
        }
    });
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // Closed by the desktop (its own close button, a log-out) while copying: the same
    // question as the window's close button, and the same answer.
    if (CopyRunning && !closeConfirmed_) {
        event->ignore();
        XP_ButtonSmall3Click();
        return;
    }
    FormClose();
    QWidget::closeEvent(event);
}

void TFormMain::FormClose() {
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
