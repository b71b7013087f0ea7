#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Every modal question, message box, file dialog and modal window showing of the program
// goes through this small interface, so tests script the answers and never block on a
// modal window. QtDialogs is the real one.

#include <optional>
#include <string>

class QWidget;

namespace korvello {

class IDialogs {
public:
    enum class Answer { Yes, No, Closed };

    virtual ~IDialogs() = default;
    // A question of the information kind with the buttons Yes and No.
    virtual Answer AskYesNo(QWidget* parent, const std::string& text) = 0;
    // An error box with a stop icon.
    virtual void ShowError(QWidget* parent, const std::string& title, const std::string& text) = 0;
    // The save-file dialog: title, proposed file name and one file-type filter (an
    // extension such as ".mp3", or empty for all files). Returns the confirmed Linux
    // path, or nothing when cancelled. It asks nothing about overwriting.
    virtual std::optional<std::string> SaveFile(QWidget* parent, const std::string& title,
                                                const std::string& proposedName,
                                                const std::string& extension) = 0;
    // Shows a window modally and returns when it was closed.
    virtual void ShowModal(QWidget* window) = 0;
    // The folder dialog: title and the folder it opens in (a Linux path). Returns the
    // chosen folder's Linux path, or nothing when cancelled.
    virtual std::optional<std::string> ChooseFolder(QWidget* parent, const std::string& title,
                                                    const std::string& proposedFolder) = 0;
    // A message of the information kind with an OK button.
    virtual void ShowInfo(QWidget* parent, const std::string& title, const std::string& text) = 0;
};

// The real dialogs: QMessageBox, QFileDialog and QDialog::exec.
class QtDialogs final : public IDialogs {
public:
    Answer AskYesNo(QWidget* parent, const std::string& text) override;
    void ShowError(QWidget* parent, const std::string& title, const std::string& text) override;
    std::optional<std::string> SaveFile(QWidget* parent, const std::string& title,
                                        const std::string& proposedName,
                                        const std::string& extension) override;
    void ShowModal(QWidget* window) override;
    std::optional<std::string> ChooseFolder(QWidget* parent, const std::string& title,
                                            const std::string& proposedFolder) override;
    void ShowInfo(QWidget* parent, const std::string& title, const std::string& text) override;
};

} // namespace korvello
