#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Scripted answers for the program's modal questions, so tests never block on a modal
// window: every call is recorded and answered from a queue (or a default).

#include "ui/Dialogs.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvello::test {

class FakeDialogs final : public IDialogs {
public:
    struct Call {
        std::string kind; // "ask", "error", "save", "modal", "folder", "info"
        std::string title;
        std::string text;
        std::string extra;
    };

    std::vector<Call> calls;
    std::deque<Answer> answers;                     // for AskYesNo; default No
    std::deque<std::optional<std::string>> saves;   // for SaveFile; default cancelled
    std::deque<std::optional<std::string>> folders; // for ChooseFolder; default cancelled
    std::function<void(QWidget*)> onModal;          // runs while a window is "shown"
    std::function<void()> onAsk;                    // runs while a question is open

    Answer AskYesNo(QWidget*, const std::string& text) override {
        calls.push_back({"ask", "", text, ""});
        if (onAsk)
            onAsk();
        if (answers.empty())
            return Answer::No;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowError(QWidget*, const std::string& title, const std::string& text) override {
        calls.push_back({"error", title, text, ""});
    }
    std::optional<std::string> SaveFile(QWidget*, const std::string& title,
                                        const std::string& proposedName,
                                        const std::string& extension) override {
        calls.push_back({"save", title, proposedName, extension});
        if (saves.empty())
            return std::nullopt;
        auto s = saves.front();
        saves.pop_front();
        return s;
    }
    void ShowModal(QWidget* window) override {
        calls.push_back({"modal", "", "", ""});
        if (onModal)
            onModal(window);
    }

    std::optional<std::string> ChooseFolder(QWidget*, const std::string& title,
                                            const std::string& proposedFolder) override {
        calls.push_back({"folder", title, proposedFolder, ""});
        if (folders.empty())
            return std::nullopt;
        auto f = folders.front();
        folders.pop_front();
        return f;
    }
    void ShowInfo(QWidget*, const std::string& title, const std::string& text) override {
        calls.push_back({"info", title, text, ""});
    }

    int Count(const std::string& kind) const {
        int n = 0;
        for (const auto& c : calls)
            n += c.kind == kind ? 1 : 0;
        return n;
    }
};

} // namespace korvello::test
