// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/ResultTexts.h"

namespace korvello {

std::string CopyFailedText(const std::string& reason) {
    std::string text = reason.empty() ? std::string("unknown error") : reason;
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return kCopyFailedPrefix + text + ".";
}

bool IsCopyFailedText(const std::string& outcome) {
    return outcome.starts_with(kCopyFailedPrefix);
}

bool IsResultText(const std::string& outcome) {
    return outcome.empty() || outcome.front() == ' ';
}

} // namespace korvello
