#include "copyout/JobSummary.h"

#include "copyout/CopyThread.h"

namespace korvello {

bool IsOutcomeText(const std::string& outcome) {
    return outcome.empty() || outcome.front() == ' ';
}

TJobSummary SummariseJob(const std::vector<std::string>& outcomes) {
    TJobSummary s;
    for (const std::string& outcome : outcomes) {
        if (!IsOutcomeText(outcome))
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

std::string JobSummaryText(const TJobSummary& s) {
    return std::to_string(s.copied) + " copied, " + std::to_string(s.alreadyCopied) +
           " already copied, " + std::to_string(s.notFound) + " not found, " +
           std::to_string(s.noSpace) + " not enough space, " + std::to_string(s.failed) +
           " failed, " + std::to_string(s.stopped) + " stopped";
}

} // namespace korvello
