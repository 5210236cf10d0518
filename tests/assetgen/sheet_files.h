// The sprite sheets as libpng reads them, for the asset tests: checked headers, RGB pixels, frames.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include "tests/assetgen/asset_files.h"

struct Sheet {
  int width = 0, height = 0, across = 0;
  std::vector<uint8_t> rgb;
};

// Reads a sheet with libpng after checking its header: 8-bit RGB, no alpha, not interlaced.
inline bool LoadSheet(const SheetSpec& spec, Sheet& out) {
  std::string path = AssetDir() + "/png/" + spec.file;
  std::vector<uint8_t> b = ReadBytes(path);
  if (b.size() < 33 || png_sig_cmp(b.data(), 0, 8) != 0) return false;
  EXPECT_EQ(b[24], 8) << spec.file << " bit depth";
  EXPECT_EQ(b[25], PNG_COLOR_TYPE_RGB) << spec.file << " colour type";
  EXPECT_EQ(b[28], 0) << spec.file << " interlace";
  png_image im{};
  im.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&im, b.data(), b.size())) return false;
  im.format = PNG_FORMAT_RGB;
  out.rgb.resize(PNG_IMAGE_SIZE(im));
  if (!png_image_finish_read(&im, nullptr, out.rgb.data(), 0, nullptr)) return false;
  out.width = int(im.width);
  out.height = int(im.height);
  out.across = spec.across;
  return true;
}

// The 32 x 32 frame `index`, as packed 0xRRGGBB pixels.
inline std::vector<uint32_t> Frame(const Sheet& s, int index) {
  std::vector<uint32_t> f;
  int ox = (index % s.across) * 32, oy = (index / s.across) * 32;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const uint8_t* p = &s.rgb[(size_t(oy + y) * s.width + ox + x) * 3];
      f.push_back((uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]);
    }
  return f;
}
