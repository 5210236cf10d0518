// JPEG and BMP pictures decode to the exact bytes; broken and hostile files are refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/image/loader_fixture.h"
#include "tests/support/hostile_files.h"

namespace {

// A JPEG written by libjpeg itself; tweak, when given, changes the settings before the writing starts.
std::vector<uint8_t> WriteJpeg(int w, int h, int components, const std::vector<uint8_t> &pixels, int quality,
                               void (*tweak)(jpeg_compress_struct *) = nullptr) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    if (tweak) tweak(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data()) + c.next_scanline * w * components;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    free(buffer);
    return out;
}

// libjpeg's own decode to BGR, the model the loader must match byte for byte.
std::vector<uint8_t> DecodeJpegPlainly(const std::vector<uint8_t> &file) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), file.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    std::vector<uint8_t> out(d.output_width * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = out.data() + d.output_scanline * d.output_width * 3;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return out;
}

using Loader = LoaderFixture;

TEST_F(Loader, JpegSolidGreyBlocksDecodeExactly) {
    std::vector<uint8_t> px(16 * 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) px[y * 16 + x] = x < 8 ? 40 : 200;
    ASSERT_EQ(0, Load(WriteJpeg(16, 8, 1, px, 100)));
    ASSERT_EQ(16, img.width);
    EXPECT_EQ(24, img.format.colorBitDepth);
    const uint8_t *row = static_cast<const uint8_t *>(img.pixels) + 3 * img.pitch;
    EXPECT_EQ(40, row[0]);
    EXPECT_EQ(40, row[2]);
    EXPECT_EQ(200, row[15 * 3 + 1]);
}

using Tweak = void (*)(jpeg_compress_struct *);
void Progressive(jpeg_compress_struct *c) { jpeg_simple_progression(c); }
void ArithmeticCoded(jpeg_compress_struct *c) { c->arith_code = TRUE; }
void ArithmeticProgressive(jpeg_compress_struct *c) { ArithmeticCoded(c), Progressive(c); }

// Huffman or arithmetic coded, sequential or progressive. An arithmetic-coded file is held by the
// picture limits alone: an arithmetic coder has no least number of bits per block to bound the picture
// by its file.
TEST_F(Loader, JpegColourMatchesLibjpegsOwnDecode) {
    std::vector<uint8_t> px(37 * 23 * 3);
    for (size_t i = 0; i < px.size(); ++i) px[i] = (uint8_t)(i * 37 % 251);
    for (Tweak tweak : {Tweak(nullptr), Progressive, ArithmeticCoded, ArithmeticProgressive}) {
        std::vector<uint8_t> file = WriteJpeg(37, 23, 3, px, 80, tweak);
        ASSERT_EQ(0, Load(file)) << (void *)tweak;
        EXPECT_EQ(DecodeJpegPlainly(file), Packed()) << (void *)tweak;
        DiscardGraphImage(&img);
    }
}

// Where the first marker of code (any marker for 0) begins at or after from; 0 when there is none.
size_t FindMarker(const std::vector<uint8_t> &f, uint8_t code, size_t from = 2) {
    for (size_t i = from; i + 1 < f.size(); ++i)
        if (f[i] == 0xFF && (code ? f[i + 1] == code : f[i + 1] != 0 && f[i + 1] != 0xFF)) return i;
    return 0;
}

// The first byte of the first scan's data, after its header.
size_t ScanData(const std::vector<uint8_t> &f) {
    size_t sos = FindMarker(f, 0xDA);
    return sos + 2 + (f[sos + 2] << 8 | f[sos + 3]);
}

// Midway between the first scan's data and the file's end, not inside a stuffed 0xFF 0x00.
size_t MidData(const std::vector<uint8_t> &f) {
    size_t mid = (ScanData(f) + f.size()) / 2;
    while (f[mid - 1] == 0xFF) ++mid;
    return mid;
}

// f with the bytes from..to replaced by bytes.
std::vector<uint8_t> Replace(std::vector<uint8_t> f, size_t from, size_t to, const std::vector<uint8_t> &bytes) {
    f.erase(f.begin() + (long)from, f.begin() + (long)to);
    f.insert(f.begin() + (long)from, bytes.begin(), bytes.end());
    return f;
}

// A progressive grey picture of scans scans: the DC, then each AC coefficient alone, its high bits first
// and its low bit after.
std::vector<uint8_t> ScansOf(int scans, const std::vector<uint8_t> &px) {
    static std::vector<jpeg_scan_info> script;
    script = {{1, {0}, 0, 0, 0, 0}};
    for (int k = 1; k < 64; ++k) script.push_back({1, {0}, k, k, 0, 1});
    for (int k = 1; k < 64; ++k) script.push_back({1, {0}, k, k, 1, 0});
    script.resize((size_t)scans);
    return WriteJpeg(64, 64, 1, px, 90, [](jpeg_compress_struct *c) {
        c->scan_info = script.data();
        c->num_scans = (int)script.size();
    });
}

// Damaged data is refused; a file whose data ends early, cut short or at its end marker, decodes as far
// as it goes and grey after, as viewers show it.
TEST_F(Loader, JpegDamagedIsRefusedAndShortAtItsEndIsShown) {
    std::vector<uint8_t> px(64 * 64 * 3, 90);
    for (size_t i = 0; i < px.size(); i += 7) px[i] = 250;
    auto write = [&px](Tweak tweak) { return WriteJpeg(64, 64, 3, px, 90, tweak); };
    std::vector<uint8_t> f = write(nullptr), p = write(Progressive), a = write(ArithmeticCoded);
    std::vector<uint8_t> r = write([](jpeg_compress_struct *c) { c->restart_interval = 1; });
    std::vector<uint8_t> pa = write(ArithmeticProgressive), adobe = write([](jpeg_compress_struct *c) {
        c->write_JFIF_header = FALSE;  // else the JFIF marker decides the colour space
        c->write_Adobe_marker = TRUE;
    });
    size_t mid = MidData(f), firstScanEnd = FindMarker(p, 0, ScanData(p));
    // ShownToTheCut: the top rows whole, grey from the cut on. An arithmetic decoder reads zeros past the
    // end of its data, as at the end of every scan (an encoder leaves its last zeros out): its file cut
    // short is whole above the cut and shows what those zeros code after it.
    enum { Refused, Shown, ShownAboveTheCut, ShownToTheCut };
    struct Case { const char *what; std::vector<uint8_t> file; int result; };
    const Case cases[] = {
        {"cut short in its data", Replace(f, mid, f.size(), {}), ShownToTheCut},
        {"data that ends early at its end marker", Replace(f, mid, f.size(), {0xFF, 0xD9}), ShownToTheCut},
        {"a progressive file cut short", Replace(p, MidData(p), p.size(), {}), Shown},
        {"a progressive file cut in the tables after a scan",
         Replace(p, FindMarker(p, 0xC4, firstScanEnd) + 21, p.size(), {}), Shown},
        {"a file with restart markers cut short", Replace(r, MidData(r), r.size(), {}), ShownToTheCut},
        {"as many scans as are taken", ScansOf(100, px), Shown},
        {"a scan more", ScansOf(101, px), Refused},
        {"an unknown JFIF version",
         write([](jpeg_compress_struct *c) { c->JFIF_major_version = 2; }), Shown},
        {"an unknown Adobe colour transform",
         Replace(adobe, FindMarker(adobe, 0xEE) + 15, FindMarker(adobe, 0xEE) + 16, {7}), Shown},
        {"cut in its headers", Replace(f, 20, f.size(), {}), Refused},
        {"only its start", Replace(f, 4, f.size(), {}), Refused},
        {"a frame header with no components", Replace(f, FindMarker(f, 0xC0) + 9, FindMarker(f, 0xC0) + 10, {0}),
         Refused},
        {"a bad Huffman code midway", Replace(f, mid, mid + 10, {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0}), Refused},
        {"a restart marker midway with no restart interval", Replace(f, mid, mid + 2, {0xFF, 0xD0}), Refused},
        {"a restart marker out of its turn", Replace(r, FindMarker(r, 0xD0) + 1, FindMarker(r, 0xD0) + 2, {0xD3}),
         Refused},
        {"bytes between a scan and the next marker",
         Replace(p, firstScanEnd, firstScanEnd, std::vector<uint8_t>(8, 0x55)), Refused},
        {"a scan whose data ends early at the next marker", Replace(p, firstScanEnd - 10, firstScanEnd, {}), Refused},
        {"arithmetic coding cut short", Replace(a, MidData(a), a.size(), {}), ShownAboveTheCut},
        {"progressive arithmetic coding cut short", Replace(pa, MidData(pa), pa.size(), {}), Shown},
        {"arithmetic coding cut in its headers", Replace(a, 20, a.size(), {}), Refused},
    };
    std::vector<uint8_t> whole = DecodeJpegPlainly(f), top(whole.begin(), whole.begin() + 192);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.result == Refused ? -1 : 0, Load(c.file));
        if (c.result >= ShownAboveTheCut) { EXPECT_EQ(top, Row(0)); }
        if (c.result == ShownToTheCut) { EXPECT_EQ(std::vector<uint8_t>(192, 128), Row(63)); }
        DiscardGraphImage(&img);
    }
}

// A declared picture its file cannot code is refused before libjpeg or the picture take memory for it:
// each 8 x 8 block takes two bits at the least in a sequential scan, one in a progressive DC scan. The
// hostile files are 16384 x 4096 grey pictures with tables that code a grey block in those bits and a
// few bytes of scan data; the same headers of a 1024 x 1024 picture (16384 blocks) with their data cut
// short load from a file of 4096 and 2048 bytes, and are refused a byte short of that.
TEST_F(Loader, JpegBeyondWhatItsFileCanCodeIsRefusedUnallocated) {
    struct Case { const char *name; size_t dataBytes; size_t boundBytes; };
    for (Case c : {Case{"cut_16384x4096.jpg", 8, 4096}, Case{"progressive_16384x4096.jpg", 10, 2048}}) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> hostile = ReadHostileFile(c.name);
        ASSERT_GT(hostile.size(), 100u);
        size_t largest = LargestAllocationDuring([&] { EXPECT_EQ(-1, Load(hostile)); });
        EXPECT_LT(largest, 1u << 20);  // 0 where allocations are not watched
        std::vector<uint8_t> small(hostile.begin(), hostile.end() - (long)c.dataBytes);
        size_t frame = FindMarker(small, 0xC2) ? FindMarker(small, 0xC2) : FindMarker(small, 0xC0);
        small[frame + 5] = 4;  // 1024 rows
        small[frame + 7] = 4;  // 1024 columns
        small.resize(c.boundBytes - 1, 0);
        EXPECT_EQ(-1, Load(small));
        small.push_back(0);
        ASSERT_EQ(0, Load(small));
        EXPECT_EQ(1024, img.width);
        EXPECT_EQ(std::vector<uint8_t>(3 * 1024, 128), Row(1023));
        DiscardGraphImage(&img);
    }
}

// A colour JPEG of w x h (three components, none subsampled) in exactly bytes bytes, coded as the
// hostile grey files are: one code a bit long for DC category 0 and one for end of block, so that each
// block is grey 128 in the fewest bits; its scan data zeros up to the end marker.
std::vector<uint8_t> LeastColourJpeg(uint8_t sof, int w, int h, size_t bytes) {
    std::vector<uint8_t> f = {0xFF, 0xD8};
    auto segment = [&f](uint8_t marker, const std::vector<uint8_t> &data) {
        f.insert(f.end(), {0xFF, marker, (uint8_t)((data.size() + 2) >> 8), (uint8_t)(data.size() + 2)});
        f.insert(f.end(), data.begin(), data.end());
    };
    std::vector<uint8_t> quantizer(65, 1), tables(2 * 18, 0);
    quantizer[0] = 0, tables[18] = 0x10;
    tables[1] = tables[19] = 1;  // DC table 0 and AC table 0: one code of length 1, for symbol 0
    std::vector<uint8_t> frame = {8, (uint8_t)(h >> 8), (uint8_t)h, (uint8_t)(w >> 8), (uint8_t)w, 3};
    for (uint8_t id = 1; id <= 3; ++id) frame.insert(frame.end(), {id, 0x11, 0});
    segment(0xDB, quantizer);
    segment(sof, frame);
    segment(0xC4, tables);
    segment(0xDA, {3, 1, 0, 2, 0, 3, 0, 0, (uint8_t)(sof == 0xC2 ? 0 : 63), 0});
    f.resize(bytes - 2, 0);
    f.insert(f.end(), {0xFF, 0xD9});
    return f;
}

// ---- BMP ----------------------------------------------------------------------------------------
void Put16(std::vector<uint8_t> &v, uint32_t x) { v.push_back((uint8_t)x); v.push_back((uint8_t)(x >> 8)); }
void Put32(std::vector<uint8_t> &v, uint32_t x) { Put16(v, x & 0xFFFF); Put16(v, x >> 16); }

// A BMP with a 40-byte information header; extra (masks, palette) follows the header.
std::vector<uint8_t> Bmp(int w, int h, int bpp, uint32_t compression, const std::vector<uint8_t> &extra,
                         const std::vector<uint8_t> &rows, int colours = 0) {
    std::vector<uint8_t> v = {'B', 'M'};
    uint32_t offset = 14 + 40 + (uint32_t)extra.size();
    Put32(v, offset + (uint32_t)rows.size());
    Put32(v, 0);
    Put32(v, offset);
    Put32(v, 40);
    Put32(v, (uint32_t)w);
    Put32(v, (uint32_t)h);
    Put16(v, 1);
    Put16(v, (uint32_t)bpp);
    Put32(v, compression);
    Put32(v, (uint32_t)rows.size());
    Put32(v, 2835);
    Put32(v, 2835);
    Put32(v, (uint32_t)colours);
    Put32(v, 0);
    v.insert(v.end(), extra.begin(), extra.end());
    v.insert(v.end(), rows.begin(), rows.end());
    return v;
}

TEST_F(Loader, Bmp24BottomUpWithPaddedRows) {
    // Stored bottom row first; each row 2 pixels (6 bytes) padded to 8.
    std::vector<uint8_t> rows = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    ASSERT_EQ(0, Load(Bmp(2, 2, 24, 0, {}, rows)));
    EXPECT_EQ((std::vector<uint8_t>{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}), Packed());
}

TEST_F(Loader, Bmp32TopDown) {
    std::vector<uint8_t> rows = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(0, Load(Bmp(1, -2, 32, 0, {}, rows)));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}), Packed());
    EXPECT_EQ(0u, img.format.alphaMask);
}

TEST_F(Loader, BmpPalettePicturesOfOneFourAndEightBits) {
    std::vector<uint8_t> pal = {10, 20, 30, 0, 40, 50, 60, 0};
    ASSERT_EQ(0, Load(Bmp(10, 1, 1, 0, pal, {0xA5, 0x40, 0, 0}, 2)));
    EXPECT_EQ((std::vector<uint8_t>{1, 0, 1, 0, 0, 1, 0, 1, 0, 1}), Packed());
    EXPECT_EQ(0xFF3C3228u, img.format.palette[1]);  // stored blue, green, red
    DiscardGraphImage(&img);
    ASSERT_EQ(0, Load(Bmp(3, 1, 4, 0, pal, {0x10, 0x10, 0, 0}, 2)));
    EXPECT_EQ((std::vector<uint8_t>{1, 0, 1}), Packed());
    DiscardGraphImage(&img);
    ASSERT_EQ(0, Load(Bmp(2, 1, 8, 0, pal, {1, 0, 0, 0}, 2)));
    EXPECT_EQ((std::vector<uint8_t>{1, 0}), Packed());
    EXPECT_EQ(1, img.format.pixelByte);
}

TEST_F(Loader, Bmp16FiveFiveFiveAndBitFields) {
    ASSERT_EQ(0, Load(Bmp(2, 1, 16, 0, {}, {0x1F, 0x7C, 0xE0, 0x03})));
    EXPECT_EQ(0x7C00u, img.format.redMask);
    EXPECT_EQ((std::vector<uint8_t>{0x1F, 0x7C, 0xE0, 0x03}), Packed());
    DiscardGraphImage(&img);
    std::vector<uint8_t> masks;
    Put32(masks, 0xF800);
    Put32(masks, 0x07E0);
    Put32(masks, 0x001F);
    ASSERT_EQ(0, Load(Bmp(1, 1, 16, 3, masks, {0x34, 0x12, 0, 0})));
    EXPECT_EQ(0xF800u, img.format.redMask);
    EXPECT_EQ(6, img.format.greenWidth);
    DiscardGraphImage(&img);
    std::vector<uint8_t> gap;
    Put32(gap, 0xF0F0);
    Put32(gap, 0x0F00);
    Put32(gap, 0x000F);
    EXPECT_EQ(-1, Load(Bmp(1, 1, 16, 3, gap, {0, 0, 0, 0})));
}

TEST_F(Loader, BmpBrokenOrHostileIsRefused) {
    std::vector<uint8_t> rows = {1, 2, 3, 0, 4, 5, 6, 0};
    std::vector<uint8_t> good = Bmp(1, 2, 24, 0, {}, rows);
    std::vector<uint8_t> cut(good.begin(), good.end() - 3);
    EXPECT_EQ(-1, Load(cut));
    EXPECT_EQ(-1, Load(Bmp(100000, 1, 24, 0, {}, rows)));
    EXPECT_EQ(-1, Load(Bmp(1, -2147483647 - 1, 24, 0, {}, rows)));
    EXPECT_EQ(-1, Load(Bmp(0, 2, 24, 0, {}, rows)));
    EXPECT_EQ(-1, Load(Bmp(1, 2, 8, 1, {}, rows)));   // run-length data that ends before its picture
    EXPECT_EQ(-1, Load(Bmp(1, 2, 7, 0, {}, rows)));
    std::vector<uint8_t> far = good;
    far[10] = 0xFF;
    far[11] = 0xFF;  // pixels past the end of the file
    EXPECT_EQ(-1, Load(far));
    std::vector<uint8_t> head(good.begin(), good.begin() + 20);
    EXPECT_EQ(-1, Load(head));
}

// A declared picture its file cannot give is refused before its pixels are allocated: stored rows that
// are not all there, run-length data that ends before its picture does.
TEST_F(Loader, BmpBeyondWhatItsFileHoldsIsRefusedUnallocated) {
    if (!CanWatchAllocations()) GTEST_SKIP() << "allocations are watched in the sanitized build only";
    std::vector<uint8_t> pal(256 * 4, 0), rowEnds, moves;
    for (int i = 0; i < 4095; i++) rowEnds.insert(rowEnds.end(), {0, 0});
    for (int i = 0; i < 16; i++) moves.insert(moves.end(), {0, 2, 0, 255});
    struct Case { const char *what; std::vector<uint8_t> file; };
    const Case cases[] = {
        {"stored rows missing", ReadHostileFile("empty_16384x4096.bmp")},
        {"one stored row of many", Bmp(16384, 1024, 24, 0, {}, std::vector<uint8_t>(16384 * 3, 7))},
        {"fewer row ends than rows, no end code", Bmp(16, 4096, 8, 1, pal, {0, 0, 0, 0}, 256)},
        {"a row end short of the last row", Bmp(16384, 4096, 8, 1, pal, rowEnds, 256)},
        {"moves that stop short of the last row", Bmp(16384, 4096, 8, 1, pal, moves, 256)},
    };
    for (const Case &c : cases) {
        ASSERT_GT(c.file.size(), 50u) << c.what;
        size_t largest = LargestAllocationDuring([&] { EXPECT_EQ(-1, Load(c.file)) << c.what; });
        EXPECT_LT(largest, 4u << 20) << c.what;
    }
    // As many row ends as rows make a whole picture, index 0 throughout.
    rowEnds.resize(4096 * 2);
    ASSERT_EQ(0, Load(Bmp(16, 4096, 8, 1, pal, rowEnds, 256)));
}

// Each bound at its edge, watching the allocations: a file that holds its picture loads; one a block of
// three components short of it (a JPEG's 2041 blocks a component in a file that codes 2040 of each, at
// two bits a block sequential and one progressive) or a byte short (a BMP's stored rows) is refused
// before the picture is allocated.
TEST_F(Loader, BoundsAtTheirEdgeTakeAFileThatHoldsItsPictureAndNoLess) {
    auto jpeg = [](uint8_t sof, int blocks) { return LeastColourJpeg(sof, 8 * blocks, 8, 2040 * 3 * (sof == 0xC0 ? 2 : 1) / 8); };
    auto bmp = [](size_t rowBytes) { return Bmp(16384, 256, 1, 0, std::vector<uint8_t>(8, 0), std::vector<uint8_t>(rowBytes, 0), 2); };
    struct Case { const char *what; std::vector<uint8_t> holds, lacks; size_t picture; };
    const Case cases[] = {
        {"a sequential colour JPEG", jpeg(0xC0, 2040), jpeg(0xC0, 2041), 8 * 2041 * 8 * 3},
        {"a progressive colour JPEG", jpeg(0xC2, 2040), jpeg(0xC2, 2041), 8 * 2041 * 8 * 3},
        {"a one-bit BMP", bmp(2048 * 256), bmp(2048 * 256 - 1), 16384 * 256},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(0, Load(c.holds));
        DiscardGraphImage(&img);
        size_t largest = LargestAllocationDuring([&] { EXPECT_EQ(-1, Load(c.lacks)); });
        EXPECT_LT(largest, c.picture);  // 0 where allocations are not watched
    }
}

// A picture of w x h pixels of index 0 but for the dots {x, y from the top, index}.
std::vector<uint8_t> Dots(int w, int h, std::initializer_list<std::array<int, 3>> dots) {
    std::vector<uint8_t> v((size_t)w * h, 0);
    for (const auto &d : dots) v[(size_t)d[1] * w + d[0]] = (uint8_t)d[2];
    return v;
}

// Run-length pictures: stored rows bottom first; each case's pixels are listed top row first.
TEST_F(Loader, BmpRunLengthPicturesOfEightAndFourBits) {
    std::vector<uint8_t> pal(16 * 4, 0);
    struct Case { const char *what; int w, h, bits; std::vector<uint8_t> runs, pixels; };
    const Case cases[] = {
        {"runs, a row end, pixels as they are with their pad", 3, 2, 8,
         {2, 5, 1, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1}, {1, 2, 3, 5, 5, 7}},
        {"a move right and up; skipped pixels keep index 0", 4, 3, 8,
         {1, 9, 0, 2, 2, 1, 1, 8, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 8, 9, 0, 0, 0}},
        {"four bits: a run alternates its nibbles", 5, 1, 4, {5, 0x12, 0, 1}, {1, 2, 1, 2, 1}},
        {"four bits as they are, padded to a word", 4, 1, 4, {1, 0xF0, 0, 3, 0x34, 0x50, 0, 1}, {15, 3, 4, 5}},
        {"runs past the right edge are cut there", 2, 1, 8, {200, 4, 0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, {4, 4}},
        {"a move past the last row ends the picture", 2, 2, 8, {1, 6, 0, 2, 0, 9, 7, 7}, {0, 0, 6, 0}},
        {"the end marker may be left out after the last row", 1, 1, 8, {1, 3, 0, 0}, {3}},
        {"a run, then the end of the picture, whatever its height", 1, 600, 8, {1, 3, 0, 1},
         Dots(1, 600, {{0, 599, 3}})},
        {"moves of 255 rows", 4, 600, 8, {2, 5, 0, 2, 1, 255, 0, 2, 0, 255, 1, 7, 0, 1},
         Dots(4, 600, {{0, 599, 5}, {1, 599, 5}, {3, 89, 7}})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(0, Load(Bmp(c.w, c.h, c.bits, c.bits == 8 ? 1 : 2, pal, c.runs, 16)));
        EXPECT_EQ(c.pixels, Packed());
        EXPECT_EQ(1, img.format.pixelByte);
        DiscardGraphImage(&img);
    }
    // Refused: data that ends first, a top-down or wrong-depth run-length picture.
    EXPECT_EQ(-1, Load(Bmp(2, 2, 8, 1, pal, {2, 1, 0, 0, 1}, 16)));
    EXPECT_EQ(-1, Load(Bmp(2, 2, 8, 1, pal, {0, 4, 1, 2}, 16)));
    EXPECT_EQ(-1, Load(Bmp(2, -2, 8, 1, pal, {0, 1}, 16)));
    EXPECT_EQ(-1, Load(Bmp(2, 2, 4, 1, pal, {0, 1}, 16)));
    EXPECT_EQ(-1, Load(Bmp(2, 2, 8, 2, pal, {0, 1}, 16)));
}

// ---- BMP files written by netpbm and ImageMagick (tests/image/fixtures/make_bmp_fixtures.sh) -------
// The red, green, blue triples of a plain-text PPM picture, top row first.
std::vector<uint32_t> ReadPpm(const std::string &path, int *w, int *h) {
    std::vector<uint32_t> px;
    FILE *f = fopen(path.c_str(), "r");
    int max = 0;
    if (!f || fscanf(f, "P3 %d %d %d", w, h, &max) != 3) {
        if (f) fclose(f);
        return px;
    }
    int r, g, b;
    while (fscanf(f, "%d %d %d", &r, &g, &b) == 3) px.push_back((uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b);
    fclose(f);
    return px;
}

std::vector<uint8_t> ReadFile(const std::string &path) {
    std::vector<uint8_t> bytes;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    int c;
    while ((c = fgetc(f)) != EOF) bytes.push_back((uint8_t)c);
    fclose(f);
    return bytes;
}

TEST_F(Loader, BmpFilesOfAnOutsideWriterDecodeToTheirPicture) {
    const char *source = getenv("DAZAR_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::string dir = std::string(source) + "/tests/image/fixtures/";
    struct Case { const char *bmp, *ppm; int depth; };
    for (Case c : {Case{"colours24.bmp", "colours.ppm", 24}, Case{"colours8.bmp", "colours.ppm", 8},
                   Case{"colours4.bmp", "colours.ppm", 8}, Case{"colours24os2.bmp", "colours.ppm", 24},
                   Case{"colours8os2.bmp", "colours.ppm", 8}, Case{"twotone1.bmp", "twotone.ppm", 8},
                   Case{"swirl8rle.bmp", "swirl.ppm", 8}}) {
        SCOPED_TRACE(c.bmp);
        int w = 0, h = 0;
        std::vector<uint32_t> want = ReadPpm(dir + c.ppm, &w, &h);
        ASSERT_EQ(want.size(), (size_t)(w * h));
        ASSERT_EQ(0, Load(ReadFile(dir + c.bmp)));
        ASSERT_EQ(w, img.width);
        ASSERT_EQ(h, img.height);
        EXPECT_EQ(c.depth, img.format.colorBitDepth);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t *p = static_cast<const uint8_t *>(img.pixels) + y * img.pitch + x * img.format.pixelByte;
                uint32_t got = img.format.pixelByte == 1 ? img.format.palette[*p] & 0xFFFFFF
                                                        : (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
                EXPECT_EQ(want[(size_t)(y * w + x)], got) << x << "," << y;
            }
        DiscardGraphImage(&img);
    }
}

}  // namespace
