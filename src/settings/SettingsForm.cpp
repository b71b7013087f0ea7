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

void TFormMain::SetCopyNaming(TCopyNaming value) {
    CopyNaming = value;
}

void TFormMain::SetSkipCopiedFiles(bool value) {
    SkipCopiedFiles = value;
}

void TFormMain::SetWriteTagsToCopies(bool value) {
    WriteTagsToCopies = value;
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
    });
}

void TFormMain::ReadIniFile() {
    Guard("ReadIniFile:", [&] {
        const std::string file = SettingsFilePath(AppFolder);
        auto visible = [&](const char* key) {
            return ReadIniInteger(platform_, file, "Visible", key, 1) != 0;
        };
        iPodSelectorCom->setVisible(visible("iPodSelector"));
        Image3->setVisible(visible("iPodSelector"));
        Edit1->setVisible(visible("SearchBox"));
        Image4->setVisible(visible("SearchBox"));
        ArtistList->setVisible(visible("ArtistList"));
        AlbumList->setVisible(visible("AlbumList"));
        FileTypeList->setVisible(visible("FileTypeList"));
        for (std::string& width : ReadColumnWidths(platform_, file))
            ColumnWidths.push_back(std::move(width));
    });
}

void TFormMain::WriteIniFile() {
    Guard("WriteIniFile:", [&] {
        const std::string file = SettingsFilePath(AppFolder);
        for (int i = 0; i < kSongColumnCount; ++i)
            WriteIniInteger(platform_, file, "COLWIDTH", std::to_string(i),
                            AdvStringGridSong->ColWidths(i));
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
    dialogs_.ShowModal(formOption_);
}

} // namespace korvello
