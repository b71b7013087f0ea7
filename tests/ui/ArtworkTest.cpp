// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures compiled into the program are exactly what the generator draws now (so
// they can always be drawn again), at the sizes the windows lay them out for.
#include "Artwork.h"
#include "ui/Skin.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace korvello;

namespace {

TEST(Artwork, CompiledPicturesMatchTheGenerator) {
    const auto pictures = artwork::DrawAll();
    ASSERT_FALSE(pictures.empty());
    for (const auto& picture : pictures) {
        const std::string name = picture.name.toStdString();
        const QImage compiled = SkinImage(name.c_str());
        ASSERT_FALSE(compiled.isNull()) << name << " is not compiled in";
        EXPECT_EQ(compiled.convertToFormat(QImage::Format_ARGB32),
                  picture.image.convertToFormat(QImage::Format_ARGB32))
            << name << " differs from the generator: run the artwork target";
    }
}

TEST(Artwork, PicturesHaveTheSizesTheLayoutsUse) {
    const std::map<std::string, QSize> sizes = {
        {"LumoBUTTON", {80, 29}},        {"LumoBUTTONSMALL", {125, 22}},
        {"LumoBUTTONLIST", {80, 16}},    {"LumoProgress_GRAY", {4, 11}},
        {"LumoProgress_COLOR", {1, 10}}, {"LumoProgress_ARR", {4, 12}},
        {"COMBUTTONUP", {11, 11}},       {"COMBUTTONOVER", {11, 11}},
        {"TitleBack", {705, 37}},        {"TitleEndLeft", {9, 31}},
        {"TitleEndRight", {9, 31}},      {"TitleCentre", {289, 37}},
        {"OrnamentLeft", {32, 32}},      {"OrnamentRight", {32, 32}},
        {"TitleCapLeft", {13, 24}},      {"TitleCapRight", {13, 24}},
        {"PanelCornerTopLeft", {3, 3}},  {"PanelCornerBottomRight", {5, 4}},
        {"SearchLabel", {32, 10}},       {"SearchFrame", {126, 21}},
        {"iPodLabel", {19, 10}},         {"ButtonCapLeft", {13, 29}},
        {"BottomLeft", {13, 18}},        {"BottomBack", {679, 18}},
        {"BottomRight", {13, 18}},       {"SideLine", {1, 421}},
        {"PlayIcon", {16, 16}},
    };
    for (const auto& [name, size] : sizes) {
        const QImage image = SkinImage(name.c_str());
        EXPECT_EQ(image.size(), size) << name;
    }
    EXPECT_TRUE(SkinImage("NoSuchPicture").isNull());
}

} // namespace
