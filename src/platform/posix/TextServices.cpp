// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/TextServices.h"

#include "platform/Text.h"

#include <cstdlib>
#include <vector>

#include <unicode/ucol.h>
#include <unicode/ustring.h>

namespace korvello::posix {

namespace {

bool IsAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Runs an ICU case mapping (u_strToLower, u_strToUpper, u_strFoldCase shape) with a
// buffer that grows when ICU asks for more.
template <class Map> std::string MapCase(std::string_view text, Map map) {
    const std::u16string source = ToUtf16(text);
    std::u16string dest(source.size() + 8, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            map(reinterpret_cast<UChar*>(dest.data()), static_cast<int32_t>(dest.size()),
                reinterpret_cast<const UChar*>(source.data()), static_cast<int32_t>(source.size()),
                &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            dest.assign(static_cast<std::size_t>(length) + 1, u'\0');
            continue;
        }
        if (U_FAILURE(status))
            return std::string(text);
        dest.resize(static_cast<std::size_t>(length));
        return ToUtf8(dest);
    }
    return std::string(text);
}

} // namespace

std::string FoldCase(std::string_view text) {
    if (IsAscii(text)) {
        std::string out(text);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    return MapCase(text, [](UChar* d, int32_t dn, const UChar* s, int32_t sn, UErrorCode* e) {
        return u_strFoldCase(d, dn, s, sn, U_FOLD_CASE_DEFAULT, e);
    });
}

std::string LowerCase(std::string_view text) {
    return MapCase(text, [](UChar* d, int32_t dn, const UChar* s, int32_t sn, UErrorCode* e) {
        return u_strToLower(d, dn, s, sn, "", e);
    });
}

std::string UpperCase(std::string_view text) {
    return MapCase(text, [](UChar* d, int32_t dn, const UChar* s, int32_t sn, UErrorCode* e) {
        return u_strToUpper(d, dn, s, sn, "", e);
    });
}

std::string CollationLocaleFromEnvironment() {
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            name = value;
            break;
        }
    }
    // "de_DE.UTF-8@euro" -> "de_DE"
    const auto cut = name.find_first_of(".@");
    if (cut != std::string::npos)
        name.resize(cut);
    // ICU maps "C" to en_US_POSIX, whose collation orders by code point and tells "Rock"
    // from "rock" even at secondary strength; the root collation is the sensible choice.
    if (name == "C" || name == "POSIX")
        name.clear();
    return name;
}

void Collation::CollatorCloser::operator()(UCollator* collator) const {
    ucol_close(collator);
}

Collation::Collation(const std::string& locale) {
    UErrorCode status = U_ZERO_ERROR;
    collator_.reset(ucol_open(locale.c_str(), &status));
    if (U_FAILURE(status) || !collator_) {
        status = U_ZERO_ERROR;
        collator_.reset(ucol_open("", &status));
    }
    if (collator_)
        ucol_setStrength(collator_.get(), UCOL_SECONDARY);
}

Collation::~Collation() = default;

int Collation::Compare(std::string_view a, std::string_view b) {
    std::lock_guard lock(mutex_);
    if (!collator_)
        return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        ucol_strcollUTF8(collator_.get(), a.data(), static_cast<int32_t>(a.size()), b.data(),
                         static_cast<int32_t>(b.size()), &status);
    if (U_FAILURE(status))
        return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    return result == UCOL_LESS ? -1 : (result == UCOL_EQUAL ? 0 : 1);
}

std::string Collation::SortKey(std::string_view text) {
    const std::u16string source = ToUtf16(text);
    std::lock_guard lock(mutex_);
    if (!collator_)
        return std::string(text);
    std::vector<uint8_t> key(source.size() * 4 + 16);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int32_t length = ucol_getSortKey(
            collator_.get(), reinterpret_cast<const UChar*>(source.data()),
            static_cast<int32_t>(source.size()), key.data(), static_cast<int32_t>(key.size()));
        if (length <= 0)
            return {};
        if (static_cast<std::size_t>(length) > key.size()) {
            key.resize(static_cast<std::size_t>(length));
            continue;
        }
        // ICU ends the key with a zero byte; the byte order holds without it.
        const std::size_t used =
            static_cast<std::size_t>(length) - (key[static_cast<std::size_t>(length) - 1] == 0);
        return std::string(reinterpret_cast<const char*>(key.data()), used);
    }
    return {};
}

} // namespace korvello::posix
