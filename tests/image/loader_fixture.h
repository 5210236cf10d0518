// A test fixture that decodes pictures from memory and checks that nothing tracked is left behind.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "lib/core/memory.h"
#include "lib/image/image_loader.h"

class LoaderFixture : public ::testing::Test {
protected:
    void SetUp() override { blocks = GetTrackedBlockCount(); }
    void TearDown() override {
        DiscardGraphImage(&img);
        EXPECT_EQ(blocks, GetTrackedBlockCount());
    }
    int Load(const std::vector<uint8_t> &file) { return LoadGraphImageFromMemory(file.data(), file.size(), &img); }
    // Row y without its padding.
    std::vector<uint8_t> Row(int y) const {
        const uint8_t *p = static_cast<const uint8_t *>(img.pixels) + y * img.pitch;
        return std::vector<uint8_t>(p, p + img.width * img.format.pixelByte);
    }
    // Every row without padding, top first.
    std::vector<uint8_t> Packed() const {
        std::vector<uint8_t> out;
        for (int y = 0; y < img.height; ++y) {
            std::vector<uint8_t> r = Row(y);
            out.insert(out.end(), r.begin(), r.end());
        }
        return out;
    }
    GraphImage img = {};
    int blocks = 0;
};
