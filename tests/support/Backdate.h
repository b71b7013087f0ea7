#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Gives a file an older modification time: a file of the user's from before the job, which
// overwriting may replace, or a temporary file left by a job killed long ago (a file that
// changed as the job began is left alone).

#include <ctime>
#include <string>

#include <sys/time.h>

namespace korvello::test {

inline void Backdate(const std::string& path, std::time_t seconds = 60) {
    const timeval old[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
    ::utimes(path.c_str(), old);
}

} // namespace korvello::test
