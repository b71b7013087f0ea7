// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry for `make fuzz`: a database file's bytes go through everything the
// reader does with them (inflating an iTunesCDB, finding the track list, walking the
// tracks), built with AddressSanitizer and UBSan. Beyond what the sanitizers catch, an
// input stops the run when its walk spends more than the allowance the reader promises,
// holds more records than the image can, or inflates past the limit.
#include "musicdb/DatabaseReader.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

using namespace korvello;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    std::vector<std::uint8_t> inflated;
    std::span<const std::uint8_t> image = file;
    if (IsCompressedDatabase(file)) {
        std::string problem;
        auto result = InflateDatabase(file, problem);
        if (!result) {
            if (problem.empty())
                std::abort(); // a refusal always says why
            return 0;
        }
        if (static_cast<std::int64_t>(result->size()) >
            InflateLimit(static_cast<std::int64_t>(size)))
            std::abort();
        inflated = std::move(*result);
        image = inflated;
    }

    TDataSetTable table{};
    if (!ReadDataSets(image, table))
        return 0;
    TTrackWalkContext context;
    context.drivePath = "e:";
    // Some files "exist", so the size texts are made too.
    context.sizeOf = [](const std::string& location) -> std::optional<std::int64_t> {
        if (location.size() % 3 == 0)
            return static_cast<std::int64_t>(location.size()) * 40000;
        return std::nullopt;
    };
    std::vector<TSong> songs;
    const TWalkCost cost = ParseTracks(image, table[0], context, songs);
    const auto imageSize = static_cast<std::int64_t>(image.size());
    if (cost.objectSteps > WalkAllowance(imageSize) || cost.stringBytes > WalkAllowance(imageSize))
        std::abort();
    if (static_cast<std::int64_t>(songs.size()) > imageSize / kMinTrackBytes)
        std::abort();
    return 0;
}
