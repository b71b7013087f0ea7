#pragma once
// TFormOption, the options window: shows or hides song-table columns at once, and sets
// the two behaviour flags (play on double-click, overwrite existing files), which take
// effect when the user presses "Save".

#include <QDialog>

class QCheckBox;
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

    QGroupBox* XP_GroupBox1 = nullptr;
    QListWidget* SunCheckListBoxCols = nullptr;
    QGroupBox* XP_GroupBox2 = nullptr;
    QCheckBox* PlaySong = nullptr;
    QCheckBox* OverWrite = nullptr;
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

protected:
    void showEvent(QShowEvent* event) override;

private:
    TFormMain& main_;
    WindowChrome* chrome_ = nullptr;
    bool filling_ = false; // ticks set from code do not count as the user's
};

} // namespace korvello
