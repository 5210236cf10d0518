// Fuzz target: one picture file through the image loaders (PNG, JPEG, BMP).
// fuzz_image --make-seeds DIR writes the JPEG seeds into DIR, as the tree keeps no good JPEG file: a
// colour one with restart markers, a progressive one and an arithmetic-coded progressive one, 4:2:0,
// written by libjpeg.
#include <cstdio>
#include <jpeglib.h>

#include <cstring>
#include <string>

#include "lib/image/image_loader.h"
#include "tools/fuzz/fuzz_input.h"

// A 40 x 24 picture of colour bands to path, progressive (arithmetic-coded when asked) or with a
// restart every two MCUs. 0 / 1.
static int WriteJpegSeed(const char *path, bool progressive, bool arithmetic = false)
{
    FILE *file = fopen(path, "wb");
    if (!file)
        return 1;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file);
    c.image_width = 40;
    c.image_height = 24;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 75, TRUE);
    c.arith_code = arithmetic;
    if (progressive)
        jpeg_simple_progression(&c);
    else
        c.restart_interval = 2;
    jpeg_start_compress(&c, TRUE);
    JSAMPLE row[40 * 3];
    while (c.next_scanline < c.image_height) {
        for (int i = 0; i < 40 * 3; ++i)
            row[i] = (JSAMPLE)(i * 7 + c.next_scanline * 11);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return fclose(file) == 0 ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--make-seeds") == 0) {
        std::string dir = argv[2];
        return WriteJpegSeed((dir + "/restarts.jpg").c_str(), false) |
               WriteJpegSeed((dir + "/progressive.jpg").c_str(), true) |
               WriteJpegSeed((dir + "/arithmetic.jpg").c_str(), true, true);
    }
    return RunFuzzInput(argc, argv, [](const uint8_t *data, size_t size) {
        GraphImage image;
        if (LoadGraphImageFromMemory(data, size, &image) == 0)
            DiscardGraphImage(&image);
    });
}
