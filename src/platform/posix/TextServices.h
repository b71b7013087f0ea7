#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Locale-aware text services on ICU: the collation that compares names without regard to
// letter case, sort keys in that order, and Unicode case conversion and folding.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

struct UCollator;

namespace korvello::posix {

// Case-folded form of a UTF-8 name, for matching file names without regard to letter
// case ("iTunesDB" and "ITUNESDB" fold alike). ASCII names take a fast path.
std::string FoldCase(std::string_view text);

// Lower and upper case of a UTF-8 text in the root locale: file names must not change
// with the user's language (the Turkish dotless i).
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);

// The ICU locale name for collation taken from the environment (LC_ALL, LC_COLLATE, LANG);
// empty (the root collation) for "C", "POSIX" or nothing set.
std::string CollationLocaleFromEnvironment();

// One collator at secondary strength: letters, digits and accents count, letter case
// does not. Calls from several threads are serialised.
class Collation {
public:
    explicit Collation(const std::string& locale);
    ~Collation();
    Collation(const Collation&) = delete;
    Collation& operator=(const Collation&) = delete;

    int Compare(std::string_view a, std::string_view b);
    std::string SortKey(std::string_view text);

private:
    struct CollatorCloser {
        void operator()(UCollator* collator) const;
    };
    std::mutex mutex_;
    std::unique_ptr<UCollator, CollatorCloser> collator_;
};

} // namespace korvello::posix
