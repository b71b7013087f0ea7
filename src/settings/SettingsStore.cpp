// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include "core/ErrorLog.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace korvello {

bool ReadRegistryFlag(IPlatform& platform, const char* name, bool def) {
    const RegValue value = platform.RegQueryValue(kRegistryKey, name);
    if (value.type != RegType::Dword)
        return def;
    return value.dword != 0;
}

void WriteRegistryFlag(IPlatform& platform, const char* name, bool value) {
    if (!platform.RegCreateKey(kRegistryKey) ||
        !platform.RegSetDword(kRegistryKey, name, value ? 1u : 0u))
        throw EKorvelloError(std::string("Failed to set data for '") + name + "'");
}

TCopyNaming ReadCopyNaming(IPlatform& platform) {
    const RegValue value = platform.RegQueryValue(kRegistryKey, kValueCopyNaming);
    if (value.type != RegType::String)
        return kDefaultCopyNaming;
    std::string why;
    return ParseCopyNaming(value.text, why).value_or(kDefaultCopyNaming);
}

void WriteCopyNaming(IPlatform& platform, const TCopyNaming& naming) {
    if (!platform.RegCreateKey(kRegistryKey) ||
        !platform.RegSetString(kRegistryKey, kValueCopyNaming, CopyNamingWord(naming)))
        throw EKorvelloError(std::string("Failed to set data for '") + kValueCopyNaming + "'");
}

std::string SettingsFilePath(const std::string& appFolder) {
    return appFolder + "\\" + kSettingsFileName;
}

std::int32_t ReadIniInteger(IPlatform& platform, const std::string& file,
                            const std::string& section, const std::string& key, std::int32_t def) {
    const std::string text = platform.GetPrivateProfileString(section, key, "", file);
    std::int32_t value = 0;
    if (!TryStrToInt(text, value, /*allowHex=*/true))
        return def;
    return value;
}

void WriteIniInteger(IPlatform& platform, const std::string& file, const std::string& section,
                     const std::string& key, std::int32_t value) {
    if (!platform.WritePrivateProfileString(section, key, std::to_string(value), file))
        throw EKorvelloError("Unable to write to " + file);
}

std::vector<std::string> ReadColumnWidths(IPlatform& platform, const std::string& file) {
    std::vector<std::string> widths;
    widths.reserve(kSongColumnCount);
    for (int i = 0; i < kSongColumnCount; ++i) {
        std::int32_t w =
            ReadIniInteger(platform, file, "COLWIDTH", std::to_string(i), kDefaultColumnWidth);
        if (i == kIconColumn)
            w = 0;
        widths.push_back(std::to_string(w));
    }
    return widths;
}

} // namespace korvello
