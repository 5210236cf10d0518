// Writes memory images and pictures as PNG files (24-bit RGB), for the demo's shots, its generated
// sprite sheet and the tests that compare against reference pictures.
#pragma once
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "lib/graphics/memimg.h"
#include "lib/image/color_format.h"
#include "lib/image/image_loader.h"

// Writes rows of 0xRRGGBB pixels (width x height) to path. 0 / -1.
inline int WritePngRgb(const char *path, const uint32_t *rgb, int width, int height)
{
    FILE *file = fopen(path, "wb");
    if (!file) return -1;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        fclose(file);
        return -1;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row((size_t)width * 3);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            uint32_t p = rgb[(size_t)y * width + x];
            row[x * 3] = (png_byte)(p >> 16);
            row[x * 3 + 1] = (png_byte)(p >> 8);
            row[x * 3 + 2] = (png_byte)p;
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fclose(file) == 0 ? 0 : -1;
}

// 0xRRGGBB of pixel x of a row of pixels in format (narrow channels widened by their top bits).
inline uint32_t ReadPixelRgb(const ColorFormatRecord *format, const uint8_t *row, int x)
{
    uint32_t value = 0;
    memcpy(&value, row + (size_t)x * format->pixelByte, format->pixelByte);  // little-endian pixels
    int r, g, b, a;
    UnpackPixelColor(format, value, &r, &g, &b, &a);
    return (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
}

// 0xRRGGBB of every pixel of a direct-colour image (R5G6B5 or X8R8G8B8).
inline std::vector<uint32_t> MemImgToRgb(const MEMIMG *image)
{
    std::vector<uint32_t> out((size_t)image->width * image->height);
    for (int y = 0; y < image->height; y++)
        for (int x = 0; x < image->width; x++)
            out[(size_t)y * image->width + x] = ReadPixelRgb(image->shared->format, GetMemImgRow(image, y), x);
    return out;
}

// Writes a memory image as a PNG file. 0 / -1.
inline int WriteMemImgPng(const char *path, const MEMIMG *image)
{
    std::vector<uint32_t> rgb = MemImgToRgb(image);
    return WritePngRgb(path, rgb.data(), image->width, image->height);
}

// The largest distance, in steps of format's channel widths, between the fields of two 0xRRGGBB
// colours (8-bit channels whose top bits are the fields).
inline int FieldStepsApart(const ColorFormatRecord *format, uint32_t a, uint32_t b)
{
    const int widths[3] = {format->redWidth, format->greenWidth, format->blueWidth};
    int most = 0;
    for (int c = 0; c < 3; c++) {
        int drop = 8 - (widths[c] ? widths[c] : 8), shift = 16 - 8 * c;
        int d = (int)(((a >> shift) & 0xFF) >> drop) - (int)(((b >> shift) & 0xFF) >> drop);
        most = d > most ? d : -d > most ? -d : most;
    }
    return most;
}

// Counts the pixels of image more than tolerance steps per field away from the picture at path
// (decoded by the library's loader), and where the first one is. -1 when the picture cannot be read
// or its size differs.
inline int CountPixelsDifferingFromPng(const char *path, const MEMIMG *image, int tolerance, int *firstX, int *firstY)
{
    GraphImage reference = {};
    if (LoadGraphImageFromFile(path, &reference) != 0)
        return -1;
    int differing = -1;
    *firstX = *firstY = -1;
    if (reference.width == image->width && reference.height == image->height) {
        std::vector<uint32_t> actual = MemImgToRgb(image);
        differing = 0;
        for (int y = 0; y < image->height; y++) {
            const uint8_t *row = (const uint8_t *)reference.pixels + (size_t)y * reference.pitch;
            for (int x = 0; x < image->width; x++) {
                uint32_t expected = ReadPixelRgb(&reference.format, row, x);
                if (FieldStepsApart(image->shared->format, actual[(size_t)y * image->width + x], expected) > tolerance &&
                    differing++ == 0)
                    *firstX = x, *firstY = y;
            }
        }
    }
    DiscardGraphImage(&reference);
    return differing;
}
