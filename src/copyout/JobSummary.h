#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The counts of a finished copy job, taken from its outcomes (the destination list after
// the job: a path, or a result text), and the one line that
// the report window and korvello-cli copy show them in.

#include "copyout/ResultTexts.h"

#include <string>
#include <vector>

namespace korvello {

struct TJobSummary {
    int copied = 0;
    int alreadyCopied = 0;
    int notFound = 0;
    int noSpace = 0;
    int failed = 0; // " Copy failed: <reason>." and any other result text
    int stopped = 0;
};

TJobSummary SummariseJob(const std::vector<std::string>& outcomes);

// "12 copied, 3 already copied, 1 not found, 0 not enough space, 0 failed, 0 stopped";
// with `omitZeros` the counts after "copied" that are zero are left out ("12 copied,
// 1 not found").
std::string JobSummaryText(const TJobSummary& summary, bool omitZeros = false);

// "2 leftover temporary files removed" (one: "1 leftover temporary file removed"): the
// temporary files of earlier jobs that did not end (killed, a pulled cable) that a job
// removed from the folders it wrote to. Empty for none.
std::string LeftoversText(int removed);

} // namespace korvello
