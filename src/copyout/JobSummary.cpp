// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/JobSummary.h"

#include <utility>

namespace korvello {

TJobSummary SummariseJob(const std::vector<std::string>& outcomes) {
    TJobSummary s;
    for (const std::string& outcome : outcomes) {
        if (!IsResultText(outcome))
            ++s.copied;
        else if (outcome == kAlreadyCopied)
            ++s.alreadyCopied;
        else if (outcome == kSongNotFound)
            ++s.notFound;
        else if (outcome == kDiskSpaceNotEnough)
            ++s.noSpace;
        else if (outcome == kCopyTerminated)
            ++s.stopped;
        else
            ++s.failed;
    }
    return s;
}

std::string JobSummaryText(const TJobSummary& s, bool omitZeros) {
    std::string text = std::to_string(s.copied) + " copied";
    const std::pair<int, const char*> rest[] = {{s.alreadyCopied, " already copied"},
                                                {s.notFound, " not found"},
                                                {s.noSpace, " not enough space"},
                                                {s.failed, " failed"},
                                                {s.stopped, " stopped"}};
    for (const auto& [count, what] : rest) {
        if (count != 0 || !omitZeros)
            text += ", " + std::to_string(count) + what;
    }
    return text;
}

std::string LeftoversText(int removed) {
    if (removed <= 0)
        return {};
    return std::to_string(removed) + " leftover temporary file" + (removed == 1 ? "" : "s") +
           " removed";
}

} // namespace korvello
