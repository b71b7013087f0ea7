#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// TFormOption, the options window: shows or hides song-table columns at once, and sets
// the two behaviour flags (play on double-click, overwrite existing files) and the two
// settings of organised copies (how copies are named, skipping songs already copied) and
// whether copies get the iPod's tags, which take effect when the user presses "Save".

#include "copyout/CopyNaming.h"

#include <QDialog>

#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QGroupBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace korvello {

class TFormMain;
class WindowChrome;

class TFormOption : public QDialog {
    Q_OBJECT

public:
    explicit TFormOption(TFormMain& main);

    bool InitialPlaySong = false;
    bool InitialOverWrite = false;
    void SetInitialPlaySong(bool value) { InitialPlaySong = value; }
    void SetInitialOverWrite(bool value) { InitialOverWrite = value; }
    TCopyNaming InitialCopyNaming = kDefaultCopyNaming;
    bool InitialSkipCopied = false;
    void SetInitialCopyNaming(const TCopyNaming& value) { InitialCopyNaming = value; }
    void SetInitialSkipCopied(bool value) { InitialSkipCopied = value; }
    bool InitialWriteTags = false;
    void SetInitialWriteTags(bool value) { InitialWriteTags = value; }
    bool InitialListUnlisted = false;
    void SetInitialListUnlisted(bool value) { InitialListUnlisted = value; }

    QGroupBox* XP_GroupBox1 = nullptr;
    QListWidget* SunCheckListBoxCols = nullptr;
    QGroupBox* XP_GroupBox2 = nullptr;
    QCheckBox* PlaySong = nullptr;
    QCheckBox* OverWrite = nullptr;
    QLabel* NameCopiesLabel = nullptr; // "Name copies"
    QComboBox* NameCopies = nullptr;   // the presets (kNamingPresets), editable
    QCheckBox* SkipCopied = nullptr;   // "Skip songs already copied"
    QCheckBox* WriteTags = nullptr;    // "Write the iPod's tags into copies"
    // "Also list songs the database does not name", below the two groups (neither has room)
    QCheckBox* ListUnlisted = nullptr;
    QPushButton* XP_Button2 = nullptr;       // Restore Default
    QPushButton* OpenDir = nullptr;          // Save
    QPushButton* XP_Button1 = nullptr;       // Cancel
    QPushButton* LumoButtonSmall1 = nullptr; // title bar: minimise the application
    QPushButton* LumoButtonSmall2 = nullptr; // title bar: close, as Cancel

    // The frameless rounded outline and the move by dragging the background; the title
    // and bottom strip pictures join with Chrome().AddDragSource(picture).
    WindowChrome& Chrome() { return *chrome_; }

    void FormShow();
    void SunCheckListBoxColsClickCheck();
    void OpenDirClick();
    void XP_Button1Click();
    void XP_Button2Click();
    void LumoButtonSmall1Click();
    void LumoButtonSmall2Click();
    // The naming the drop-down shows or the user typed; nothing, with `why` set, for a
    // template that cannot be used.
    std::optional<TCopyNaming> ChosenCopyNaming(std::string& why) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The constructor's steps, one area of the window each.
    void BuildFrame();
    void BuildColumnsGroup();
    void BuildGeneralGroup();
    void BuildButtons();
    void BuildTitleButtons();
    void OrderTabs();
    void ShowCopyNaming(const TCopyNaming& naming);

    TFormMain& main_;
    WindowChrome* chrome_ = nullptr;
    bool filling_ = false; // ticks set from code do not count as the user's
};

} // namespace korvello
