// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the settings store: read at construction, written at close.
#include "browser/ITunesStringGrid.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "platform/Platform.h"
#include "settings/FrmOption.h"
#include "settings/SettingsStore.h"
#include "ui/Dialogs.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace korvello {

void TFormMain::SetPlayOnDoubleClick(bool value) {
    PlayOnDoubleClick = value;
}

void TFormMain::SetOverwriteExisting(bool value) {
    OverwriteExisting = value;
}

void TFormMain::SetCopyNaming(const TCopyNaming& value) {
    CopyNaming = value;
}

void TFormMain::SetSkipCopiedFiles(bool value) {
    SkipCopiedFiles = value;
}

void TFormMain::SetWriteTagsToCopies(bool value) {
    WriteTagsToCopies = value;
}

void TFormMain::SetListUnlistedFiles(bool value) {
    if (ListUnlistedFiles == value)
        return;
    ListUnlistedFiles = value;
    // The songs of the iPod are listed afresh, unless a copy job is working on them.
    if (CopyRunning || ScanRunning || iPod.DrivePath().empty() || !iPod.DatabaseStatus().Readable())
        return;
    LoadCurrentDrive();
    DisPlaySongs(SongListMode::AllSongs, nullptr);
    DisPlayOther();
}

void TFormMain::ReadRegistry() {
    Guard("ReadRegistry:", [&] {
        // A key that cannot be opened or created leaves every value at its default.
        platform_.RegCreateKey(kRegistryKey);
        PlayOnDoubleClick = ReadRegistryFlag(platform_, kValuePlaySong, false);
        OverwriteExisting = ReadRegistryFlag(platform_, kValueOverwrite, true);
        CopyNaming = ReadCopyNaming(platform_);
        SkipCopiedFiles = ReadRegistryFlag(platform_, kValueSkipCopied, false);
        WriteTagsToCopies = ReadRegistryFlag(platform_, kValueWriteTags, false);
        ListUnlistedFiles = ReadRegistryFlag(platform_, kValueListUnlisted, false);
        AppFolder = platform_.AppFolder();
        TLogClass::SetAppFolder(AppFolder);
    });
}

void TFormMain::WriteRegistry() {
    Guard("WriteRegistry:", [&] {
        WriteRegistryFlag(platform_, kValuePlaySong, PlayOnDoubleClick);
        WriteRegistryFlag(platform_, kValueOverwrite, OverwriteExisting);
        WriteCopyNaming(platform_, CopyNaming);
        WriteRegistryFlag(platform_, kValueSkipCopied, SkipCopiedFiles);
        WriteRegistryFlag(platform_, kValueWriteTags, WriteTagsToCopies);
        WriteRegistryFlag(platform_, kValueListUnlisted, ListUnlistedFiles);
    });
}

void TFormMain::ReadIniFile() {
    Guard("ReadIniFile:", [&] {
        // One read of the file for every key, however large the file has grown.
        const std::string file = SettingsFilePath(AppFolder);
        std::vector<IniInteger> keys = {{"Visible", "iPodSelector", 1},
                                        {"Visible", "SearchBox", 1},
                                        {"Visible", "ArtistList", 1},
                                        {"Visible", "AlbumList", 1},
                                        {"Visible", "FileTypeList", 1}};
        const std::vector<IniInteger> widthKeys = ColumnWidthKeys();
        keys.insert(keys.end(), widthKeys.begin(), widthKeys.end());
        ReadIniIntegers(platform_, file, keys);
        auto visible = [&](std::size_t index) {
            return keys[index].value != 0;
        };
        iPodSelectorCom->setVisible(visible(0));
        Image3->setVisible(visible(0));
        Edit1->setVisible(visible(1));
        Image4->setVisible(visible(1));
        ArtistList->setVisible(visible(2));
        AlbumList->setVisible(visible(3));
        FileTypeList->setVisible(visible(4));
        const std::vector<IniInteger> widths(keys.begin() + 5, keys.end());
        for (std::string& width : ColumnWidthTexts(widths))
            ColumnWidths.push_back(std::move(width));
    });
}

void TFormMain::WriteIniFile() {
    Guard("WriteIniFile:", [&] {
        // One rewrite of the file for all twelve widths.
        std::vector<IniInteger> keys = ColumnWidthKeys();
        for (int i = 0; i < kSongColumnCount; ++i)
            keys[static_cast<std::size_t>(i)].value = AdvStringGridSong->ColWidths(i);
        WriteIniIntegers(platform_, SettingsFilePath(AppFolder), keys);
    });
}

} // namespace korvello

namespace korvello {

void TFormMain::XP_Button3Click() {
    if (formOption_ == nullptr)
        return;
    formOption_->SetInitialOverWrite(OverwriteExisting);
    formOption_->SetInitialPlaySong(PlayOnDoubleClick);
    formOption_->SetInitialCopyNaming(CopyNaming);
    formOption_->SetInitialSkipCopied(SkipCopiedFiles);
    formOption_->SetInitialWriteTags(WriteTagsToCopies);
    formOption_->SetInitialListUnlisted(ListUnlistedFiles);
    dialogs_.ShowModal(formOption_);
}

} // namespace korvello
