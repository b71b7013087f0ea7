// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/FrmReport.h"

#include "browser/SongColumns.h"
#include "copyout/CopyNaming.h"
#include "copyout/JobSummary.h"
#include "copyout/Naming.h"
#include "copyout/Playlist.h"
#include "copyout/ReportRows.h"
#include "copyout/ResultTexts.h"
#include "core/ErrorLog.h"
#include "export/IpodPlaylists.h"
#include "export/LibraryFile.h"
#include "platform/Platform.h"
#include "ui/Dialogs.h"
#include "ui/LumoButton.h"
#include "ui/Skin.h"
#include "ui/SkinFrame.h"
#include "ui/SunPopupMenu.h"
#include "ui/WindowChrome.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableView>
#include <qdrawutil.h>

#include <ctime>

namespace korvello {

const char* const TFormReport::kHelpLines[14] = {
    "Most important of all, the flashing icon \"Do Not Disconnect \" on your ",
    "iPod goes away means your iPod had ejected from computer, that might ",
    "be the reason you can't copy songs correctly. ",
    "",
    "For keeping iPod connection: ",
    "iTunes old version user:",
    "Plug your iPod, run iTunes, go Edit->Preference select iPod-Music ",
    "check \"Enable Disk Use\". Eject and re-plug your iPod, ",
    "note the \"Do Not Disconnect \"  icon did not disappear, then open ",
    "Korvello to copy your songs out.",
    "",
    "iTunes 7 user:",
    "Plug your iPod, run iTunes,  in \"devices\" - click your iPod, in ",
    "\"summary-options\", select \"enable disk use\"."};

namespace {
constexpr int kWidth = 431;
constexpr int kHeight = 296;
constexpr int kHelpHeight = 201;

// The report's header row is one table row high, whatever height the style would give it,
// and looks like the song table's: raised sky-blue cells with bold black captions.
class ReportHeader : public QHeaderView {
public:
    explicit ReportHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
        setFont(SkinFont("Tahoma", 8, true));
    }
    QSize sizeHint() const override { return {QHeaderView::sizeHint().width(), kGridRowHeight}; }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        if (!rect.isValid())
            return;
        painter->save();
        const QBrush fill(SkinHeaderColour());
        qDrawWinButton(painter, rect, QPalette(SkinHeaderColour()), false, &fill);
        painter->setFont(font());
        painter->setPen(Qt::black);
        painter->drawText(rect.adjusted(3, 0, -3, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          model()->headerData(logicalIndex, Qt::Horizontal).toString());
        painter->restore();
    }
};

// Chosen rows in the grids' mark colour (the view's palette gives it); the current cell,
// which the keys move, wears a dotted navy frame instead of the style's coloured one.
class ReportDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem plain = option;
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
        if (!(option.state & QStyle::State_HasFocus))
            return;
        painter->save();
        painter->setPen(QPen(SkinFrameColour(), 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};
} // namespace

TFormReport::TFormReport(IPlatform& platform, QWidget* mainWindow)
    : QDialog(mainWindow), platform_(platform), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("FormReport"));
    setWindowTitle(QStringLiteral("Copy Report"));
    setFixedSize(kWidth, kHeight);
    // No system frame; the rounded outline follows the window's height as the help text
    // opens and closes.
    chrome_ = new WindowChrome(this, [this] { AfterWindowMove(); });
    chrome_->SetFollowResize(true);
    chrome_->ApplyRoundedShape();
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(219, 219, 229));
    setPalette(pal);
    setFont(SkinFont("MS Sans Serif", 8));

    // The widgets in their Tab and stacking order.
    BuildFrame();
    BuildTable();
    BuildTableMenu();
    BuildHelpLink();
    BuildSummary();
    BuildButtons();
    BuildTitleButtons();
    BuildHelpText();
}

// The drawn frame: title strip, bottom strip and the right side line; all of them move
// the window.
void TFormReport::BuildFrame() {
    std::vector<QWidget*> frame = AddTitleStrip(this, QStringLiteral("Copy Report"));
    for (QWidget* picture : AddBottomStrip(this))
        frame.push_back(picture);
    frame.push_back(AddSideLine(this, true));
    for (QWidget* picture : frame)
        chrome_->AddDragSource(picture);
}

// Title and outcome of each song, in rows as high as the grids of the main window.
void TFormReport::BuildTable() {
    Reporter = new QTableView(this);
    Reporter->setObjectName(QStringLiteral("Reporter"));
    Reporter->setGeometry(8, 40, 409, 153);
    rows_ = new ReportRows(platform_, Reporter);
    Reporter->setModel(rows_);
    Reporter->setHorizontalHeader(new ReportHeader(Reporter));
    Reporter->verticalHeader()->setVisible(false);
    Reporter->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Rows as high as the header: the style's minimum (taller than 16 pixels for most
    // fonts) would otherwise win, and fewer rows would show.
    Reporter->verticalHeader()->setMinimumSectionSize(kGridRowHeight);
    Reporter->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
    Reporter->setSelectionBehavior(QAbstractItemView::SelectRows);
    Reporter->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Reporter->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Reporter->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Reporter->setAlternatingRowColors(true);
    QPalette tablePal = Reporter->palette();
    tablePal.setColor(QPalette::AlternateBase, QColor(219, 219, 229));
    tablePal.setColor(QPalette::Base, QColor(237, 243, 254));
    Reporter->setPalette(tablePal);
    ApplySkinListLook(Reporter);
    Reporter->setItemDelegate(new ReportDelegate(Reporter));
    Reporter->setColumnWidth(0, 166);
    Reporter->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Reporter, &QTableView::doubleClicked, this,
            [this](const QModelIndex&) { OpenDirClick(); });
}

void TFormReport::BuildTableMenu() {
    SunPopupreport = new TSunPopupMenu(Reporter);
    SunPopupreport->setObjectName(QStringLiteral("SunPopupreport"));
    SunPopupreport->addAction(QStringLiteral("Open directory"), this, [this] { OpenDirClick(); })
        ->setObjectName(QStringLiteral("SelectAllAlbum"));
    SunPopupreport
        ->addAction(QStringLiteral("Save playlist..."), this, [this] { SavePlaylistClick(); })
        ->setObjectName(QStringLiteral("SavePlaylist"));
    SunPopupreport
        ->addAction(QStringLiteral("Save iPod playlists..."), this,
                    [this] { SaveIpodPlaylistsClick(); })
        ->setObjectName(QStringLiteral("SaveIpodPlaylists"));
    SunPopupreport
        ->addAction(QStringLiteral("Save library file..."), this,
                    [this] { SaveLibraryFileClick(); })
        ->setObjectName(QStringLiteral("SaveLibraryFile"));
    connect(Reporter, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        SunPopupreport->popup(Reporter->viewport()->mapToGlobal(pos));
    });
}

// "Why ...?" opens and closes the help text below it.
void TFormReport::BuildHelpLink() {
    Label1 = new QLabel(QStringLiteral("Why \"This song not found in your iPod.\"?"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(24, 204);
    Label1->adjustSize();
    Label1->setStyleSheet(QStringLiteral("color: blue; text-decoration: underline;"));
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);
}

// The counts of the job, in the gap between the help link and the buttons.
void TFormReport::BuildSummary() {
    SummaryLabel = new QLabel(this);
    SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
    SummaryLabel->setGeometry(24, 220, kWidth - 2 * 24, 12);
    SummaryLabel->setFont(SkinFont("MS Sans Serif", 7));
    SummaryLabel->setTextFormat(Qt::PlainText);
}

// The two buttons sit on a panel anchored to the bottom edge.
void TFormReport::BuildButtons() {
    buttonPanel_ = new QFrame(this);
    buttonPanel_->setGeometry(0, 235, kWidth, 29);
    OpenDir = new TLumoButton(QStringLiteral("Open Directory"), buttonPanel_);
    OpenDir->setObjectName(QStringLiteral("OpenDir"));
    OpenDir->setGeometry(120, 0, 96, 29);
    CloseButton = new TLumoButton(QStringLiteral("Close"), buttonPanel_);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CloseButton->setGeometry(237, 0, 92, 29);
    for (QPushButton* button : {OpenDir, CloseButton}) {
        button->setFont(SkinFont("MS Sans Serif", 8, true));
        QPalette captionPal = button->palette();
        captionPal.setColor(QPalette::ButtonText, QColor(245, 255, 91));
        button->setPalette(captionPal);
    }
    connect(OpenDir, &QPushButton::clicked, this, [this] { OpenDirClick(); });
    connect(CloseButton, &QPushButton::clicked, this, [this] { CloseButtonClick(); });
}

// Title-strip buttons: minimise the whole application, close the report.
void TFormReport::BuildTitleButtons() {
    MinimizeButton = MakeTitleBarButton(this, "GlyphMinimize");
    MinimizeButton->setObjectName(QStringLiteral("MinimizeButton"));
    MinimizeButton->setGeometry(345, 6, 18, 18);
    MinimizeButton->setToolTip(QStringLiteral("Minimize"));
    connect(MinimizeButton, &QPushButton::clicked, this,
            [] { WindowChrome::MinimizeApplication(); });
    TitleCloseButton = MakeTitleBarButton(this, "GlyphClose");
    TitleCloseButton->setObjectName(QStringLiteral("TitleCloseButton"));
    TitleCloseButton->setGeometry(369, 6, 18, 18);
    TitleCloseButton->setToolTip(QStringLiteral("Close"));
    connect(TitleCloseButton, &QPushButton::clicked, this, [this] { CloseButtonClick(); });
}

// The help text, hidden until the help link is clicked.
void TFormReport::BuildHelpText() {
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(48, 232, 345, kHelpHeight);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    // Small enough that the help text's lines fit the box's width.
    Memo1->setFont(SkinFont("MS Sans Serif", 7));
    QStringList lines;
    for (const char* line : kHelpLines)
        lines << QString::fromUtf8(line);
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    Memo1->setVisible(false);
}

bool TFormReport::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease)
        Label1Click();
    return QDialog::eventFilter(watched, event);
}

void TFormReport::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Coming back from minimised is no new showing: the table and the window's place stay.
    if (!event->spontaneous())
        FormShow();
}

void TFormReport::AfterWindowMove() {
    Reporter->viewport()->update();
    Reporter->horizontalHeader()->viewport()->update();
}

void TFormReport::FormShow() {
    rows_->Fill(TitleList, TargetList);
    if (mainWindow_ != nullptr) {
        const QRect main = mainWindow_->geometry();
        move(main.left() + (main.width() - width()) / 2,
             main.top() + (main.height() - height()) / 2);
    }
    Reporter->setColumnWidth(1, Reporter->width() - Reporter->columnWidth(0));
    Reporter->viewport()->update();
    ShowSummary();
    buttonPanel_->move(0, height() - kHeight + 235);
    chrome_->ApplyRoundedShape();
}

void TFormReport::ShowSummary() {
    const TJobSummary summary =
        SummariseJob(TargetList != nullptr ? *TargetList : std::vector<std::string>());
    const std::string leftovers = LeftoversText(LeftoversRemoved);
    const std::string tail = leftovers.empty() ? std::string() : "; " + leftovers;
    QString text = QString::fromStdString(JobSummaryText(summary) + tail);
    SummaryLabel->setToolTip(text);
    // The counts that are not zero when all six do not fit.
    if (SummaryLabel->fontMetrics().horizontalAdvance(text) > SummaryLabel->width())
        text = QString::fromStdString(JobSummaryText(summary, /*omitZeros=*/true) + tail);
    SummaryLabel->setText(text);
}

void TFormReport::SavePlaylistClick() {
    Guard("SavePlaylistClick:", [&] {
        if (Dialogs == nullptr || TitleList == nullptr || TargetList == nullptr)
            return;
        const std::string proposed = platform_.DisplayPath(
            (JobFolder.ends_with('\\') ? JobFolder : JobFolder + "\\") + kPlaylistFileName);
        const std::optional<std::string> chosen = AskFileToSave("Save playlist", proposed, ".m3u8");
        if (!chosen)
            return;
        const std::string path = platform_.ToProgramPath(*chosen);
        static const std::vector<std::string> kNone;
        const std::string text = PlaylistText(
            *chosen, PlaylistOfJob(platform_, *TitleList, ArtistList ? *ArtistList : kNone,
                                   *TargetList, FoundList ? *FoundList : kNone));
        std::string error;
        if (!WritePlaylistFile(platform_, path, text, *TargetList, error)) {
            TLogClass::WriteLog("SavePlaylistClick:cannot write " + *chosen + ": " + error);
            Dialogs->ShowError(this, "Korvello A",
                               "Cannot write the playlist " + *chosen + ": " + error);
        }
    });
}

// The file the user chose to save to, as they know it; nothing when they cancelled or would
// not replace an existing file. A path no drive holds is a failure of the command.
std::optional<std::string> TFormReport::AskFileToSave(const std::string& title,
                                                      const std::string& proposed,
                                                      const std::string& extension) {
    std::optional<std::string> chosen = Dialogs->SaveFile(this, title, proposed, extension);
    if (!chosen)
        return std::nullopt;
    const std::string path = platform_.ToProgramPath(*chosen);
    if (path.empty())
        throw EKorvelloError("no drive holds " + *chosen);
    if (platform_.StatName(path).kind != NameKind::Missing &&
        Dialogs->AskYesNo(this, *chosen + " already exists. Replace it?") != IDialogs::Answer::Yes)
        return std::nullopt;
    return chosen;
}

TJobCopies TFormReport::JobCopies() {
    static const std::vector<std::int32_t> kNoSongs;
    static const std::vector<std::string> kNone;
    return CopiesOfJob(platform_, Catalogue.songCount, PositionList ? *PositionList : kNoSongs,
                       TargetList ? *TargetList : kNone, FoundList ? *FoundList : kNone);
}

// The folder the job copied into, as the user knows it.
std::string TFormReport::ProposedFolder() {
    const std::string folder = JobFolder.ends_with('\\') ? JobFolder : JobFolder + "\\";
    std::string shown = platform_.DisplayPath(folder);
    while (shown.size() > 1 && shown.ends_with('/'))
        shown.pop_back();
    return shown;
}

void TFormReport::SaveIpodPlaylistsClick() {
    Guard("SaveIpodPlaylistsClick:", [&] {
        if (Dialogs == nullptr || TargetList == nullptr || !Catalogue.songAt)
            return;
        const std::optional<std::string> chosen =
            Dialogs->ChooseFolder(this, "Save iPod playlists", ProposedFolder());
        if (!chosen)
            return;
        const std::string folder = DestinationFolder(platform_, *chosen);
        if (folder.empty())
            throw EKorvelloError("no drive holds " + *chosen);
        const TPlaylistExport result =
            ExportIpodPlaylists(platform_, folder, Catalogue, JobCopies());
        std::string text = PlaylistExportText(result) + ".";
        for (const std::string& failure : result.failures) {
            TLogClass::WriteLog("SaveIpodPlaylistsClick:cannot write " + failure);
            text += "\nCannot write " + failure;
        }
        if (result.failures.empty())
            Dialogs->ShowInfo(this, "Korvello A", text);
        else
            Dialogs->ShowError(this, "Korvello A", text);
    });
}

void TFormReport::SaveLibraryFileClick() {
    Guard("SaveLibraryFileClick:", [&] {
        if (Dialogs == nullptr || TargetList == nullptr || !Catalogue.songAt)
            return;
        const std::optional<std::string> chosen =
            AskFileToSave("Save library file", ProposedFolder() + "/" + kLibraryFileName, ".xml");
        if (!chosen)
            return;
        const std::string path = platform_.ToProgramPath(*chosen);
        TLibraryExport counts;
        std::string error;
        if (!WriteLibraryFile(platform_, path, Catalogue, JobCopies(),
                              static_cast<std::int64_t>(std::time(nullptr)), counts, error)) {
            TLogClass::WriteLog("SaveLibraryFileClick:cannot write " + *chosen + ": " + error);
            Dialogs->ShowError(this, "Korvello A",
                               "Cannot write the library file " + *chosen + ": " + error);
            return;
        }
        Dialogs->ShowInfo(this, "Korvello A",
                          "Library file written: " + std::to_string(counts.tracks) +
                              (counts.tracks == 1 ? " song, " : " songs, ") +
                              std::to_string(counts.playlists) +
                              (counts.playlists == 1 ? " playlist." : " playlists."));
    });
}

void TFormReport::OpenDirClick() {
    Guard("Button2Click:", [&] {
        if (TargetList == nullptr)
            return;
        // The folder of the first entry that is a path: an entry that was not copied holds
        // a result text, which has no folder.
        for (const std::string& outcome : *TargetList) {
            if (!IsResultText(outcome)) {
                platform_.ShellOpen(DialogFolderPart(outcome));
                return;
            }
        }
    });
}

void TFormReport::Label1Click() {
    const bool visible = Memo1->isVisible();
    setFixedSize(width(), visible ? height() - kHelpHeight : height() + kHelpHeight);
    Memo1->setVisible(!visible);
    buttonPanel_->move(0, height() - kHeight + 235);
    chrome_->ApplyRoundedShape();
}

void TFormReport::CloseButtonClick() {
    update();
    accept();
}

} // namespace korvello
