// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace korvello {

namespace {
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
} // namespace

IDialogs::Answer QtDialogs::AskYesNo(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::Information, QApplication::applicationDisplayName(), Q(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    const int result = box.exec();
    if (result == QMessageBox::Yes)
        return Answer::Yes;
    if (result == QMessageBox::No)
        return Answer::No;
    return Answer::Closed;
}

void QtDialogs::ShowError(QWidget* parent, const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, Q(title), Q(text), QMessageBox::Ok, parent);
    // The text may carry a file name or a song title: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::optional<std::string> QtDialogs::SaveFile(QWidget* parent, const std::string& title,
                                               const std::string& proposedName,
                                               const std::string& extension) {
    QFileDialog dialog(parent, Q(title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The chosen file's folder is what matters; the copy settles clashes itself.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!extension.empty())
        dialog.setNameFilter(QStringLiteral("*") + Q(extension));
    dialog.selectFile(Q(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtDialogs::ChooseFolder(QWidget* parent, const std::string& title,
                                                   const std::string& proposedFolder) {
    QFileDialog dialog(parent, Q(title), Q(proposedFolder));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

void QtDialogs::ShowInfo(QWidget* parent, const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Information, Q(title), Q(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtDialogs::ShowModal(QWidget* window) {
    if (auto* dialog = qobject_cast<QDialog*>(window)) {
        dialog->exec();
        return;
    }
    // A plain window: show it application-modal and wait until it is hidden or deleted.
    QPointer<QWidget> guard(window);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    QEventLoop loop;
    while (guard && guard->isVisible())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace korvello
