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

void ReadIniIntegers(IPlatform& platform, const std::string& file, std::vector<IniInteger>& keys) {
    std::vector<ProfileKey> texts;
    texts.reserve(keys.size());
    for (const IniInteger& k : keys)
        texts.push_back({k.section, k.key, ""});
    platform.GetPrivateProfileStrings(texts, file);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::int32_t value = 0;
        if (TryStrToInt(texts[i].value, value, /*allowHex=*/true))
            keys[i].value = value;
    }
}

void WriteIniIntegers(IPlatform& platform, const std::string& file,
                      const std::vector<IniInteger>& keys) {
    std::vector<ProfileKey> texts;
    texts.reserve(keys.size());
    for (const IniInteger& k : keys)
        texts.push_back({k.section, k.key, std::to_string(k.value)});
    if (!platform.WritePrivateProfileStrings(texts, file))
        throw EKorvelloError("Unable to write to " + file);
}

std::vector<IniInteger> ColumnWidthKeys() {
    std::vector<IniInteger> keys;
    keys.reserve(kSongColumnCount);
    for (int i = 0; i < kSongColumnCount; ++i)
        keys.push_back({"COLWIDTH", std::to_string(i), kDefaultColumnWidth});
    return keys;
}

std::vector<std::string> ColumnWidthTexts(const std::vector<IniInteger>& widthKeys) {
    std::vector<std::string> widths;
    widths.reserve(widthKeys.size());
    for (std::size_t i = 0; i < widthKeys.size(); ++i)
        widths.push_back(
            std::to_string(static_cast<int>(i) == kIconColumn ? 0 : widthKeys[i].value));
    return widths;
}

} // namespace korvello
