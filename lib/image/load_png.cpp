// PNG pictures through libpng, read over a stream.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/file/stream.h"
#include "lib/image/image_loader.h"

#define PNG_CHUNK_CACHE_MAX 128           // ancillary chunks kept at most
#define PNG_CHUNK_MALLOC_MAX (8u << 20)   // bytes libpng may take for one chunk
#define PNG_MAX_INFLATE_RATIO 1032        // deflate gives at most this many bytes per byte it reads

// What a decode owns; kept in memory the error exit can reach after its jump.
struct PngLoadState {
    StreamRecord *stream;
    png_structp png;
    png_infop info;
    png_bytep *rows;     // row pointers into out's pixels
    GraphImage *out;
};

int TestPngImage(const unsigned char *head, size_t headSize) {
    return headSize >= 8 && png_sig_cmp(head, 0, 8) == 0;
}

// libpng asks for bytes; a short read is a truncated file.
static void ReadPngBytes(png_structp png, png_bytep data, png_size_t length) {
    StreamRecord *s = static_cast<StreamRecord *>(png_get_io_ptr(png));
    if (s->functions.read(data, 1, length, s->data) != length) png_error(png, "truncated file");
}

static void PngErrorExit(png_structp png, png_const_charp message) {
    WriteLogFormat("PNG の読み込みでエラーが発生しました: %s", message ? message : "");
    png_longjmp(png, 1);
}

static void PngWarning(png_structp, png_const_charp) {}

// The bytes of image data the file's IDAT chunks hold, summed over the chunk list up to IEND or the
// file's end; a chunk counts no more than the bytes the file has left after its header, whatever
// length it claims. The read position is kept.
static uint64_t SumPngImageData(StreamRecord *s) {
    int64_t size = GetImageStreamBytesFrom(s, 0), at = s->functions.tell(s->data);
    uint64_t sum = 0;
    if (size < 0) return 0;
    uint8_t head[8];
    int64_t chunk = 8;  // after the signature
    while (s->functions.seek(s->data, chunk, 0) == 0 && s->functions.read(head, 1, 8, s->data) == 8) {
        uint32_t length = (uint32_t)head[0] << 24 | (uint32_t)head[1] << 16 | (uint32_t)head[2] << 8 | head[3];
        int64_t left = size - chunk - 8;
        if (memcmp(head + 4, "IDAT", 4) == 0) sum += (uint64_t)(length < left ? length : left);
        if (memcmp(head + 4, "IEND", 4) == 0) break;
        chunk += 12 + (int64_t)length;
    }
    s->functions.seek(s->data, at, 0);
    return sum;
}

// 0 when the file's image data can inflate to the picture's rows, a logged -1 before anything is
// allocated for them.
static int CheckPngHolds(PngLoadState *st, png_uint_32 w, png_uint_32 h) {
    uint64_t bits = (uint64_t)w * h * png_get_channels(st->png, st->info) * png_get_bit_depth(st->png, st->info);
    if (bits / 8 / PNG_MAX_INFLATE_RATIO <= SumPngImageData(st->stream)) return 0;
    return WriteLog("PNG の画素が途中で切れています\n");
}

// The output of a picture of colour type and depth: grey pictures without transparency stay one
// byte per pixel (a grey ramp palette); everything else becomes BGR or BGRA bytes.
static int SetPngTransforms(png_structp png, png_infop info, ColorFormatRecord *format) {
    int colorType = png_get_color_type(png, info);
    int depth = png_get_bit_depth(png, info);
    bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) || trns;
    if (depth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && !trns) {
        if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        uint32_t ramp[256];
        for (uint32_t i = 0; i < 256; ++i) ramp[i] = 0xFF000000u | (i * 0x010101u);
        MakePaletteColorFormat(format, ramp, 256);
        return 1;
    }
    png_set_expand(png);  // palette to RGB, tRNS to alpha, low-bit grey to 8 bits
    if (depth < 8) png_set_packing(png);
    if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (alpha) return MakeColorFormatFromMasks(format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u) == 0 ? 4 : -1;
    return MakeColorFormatFromMasks(format, 24, 0xFF0000, 0xFF00, 0xFF, 0) == 0 ? 3 : -1;
}

// The decode proper; on any libpng error it leaves through the jump point of LoadPngImage.
__attribute__((noinline)) static int DecodePng(PngLoadState *st) {
    png_structp png = st->png;
    png_set_read_fn(png, st->stream, ReadPngBytes);
    png_set_user_limits(png, IMAGE_MAX_SIDE, IMAGE_MAX_SIDE);
    // Chunk lengths come from the file: bound what libpng takes for one chunk and how many it keeps,
    // and pass over the ancillary chunks nothing here reads instead of reading them into memory.
    png_set_chunk_cache_max(png, PNG_CHUNK_CACHE_MAX);
    png_set_chunk_malloc_max(png, PNG_CHUNK_MALLOC_MAX);
    static const png_byte kUnread[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0"
                                      "sCAL\0sPLT\0sRGB\0sTER\0tEXt\0tIME\0zTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnread, (int)(sizeof kUnread / 5));
    png_read_info(png, st->info);
    png_uint_32 w = png_get_image_width(png, st->info), h = png_get_image_height(png, st->info);
    if ((uint64_t)w * h > IMAGE_MAX_PIXELS) return WriteLogFormat("PNG 画像が大きすぎます %u x %u", w, h);
    if (CheckPngHolds(st, w, h) != 0) return -1;
    ColorFormatRecord format;
    int bytes = SetPngTransforms(png, st->info, &format);
    if (bytes < 0) return -1;
    if (png_get_interlace_type(png, st->info) != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
    png_read_update_info(png, st->info);
    if (png_get_rowbytes(png, st->info) != (size_t)w * bytes) return WriteLog("PNG の行の長さが想定と違います\n");
    if (AllocGraphImagePixels(st->out, &format, (int)w, (int)h) != 0) return -1;
    st->rows = static_cast<png_bytep *>(DZ_ALLOC(sizeof(png_bytep) * h));
    if (st->rows == nullptr) return -1;
    for (png_uint_32 y = 0; y < h; ++y)
        st->rows[y] = static_cast<png_bytep>(st->out->pixels) + (size_t)y * st->out->pitch;
    png_read_image(png, st->rows);
    png_read_end(png, nullptr);
    return 0;
}

int LoadPngImage(StreamRecord *stream, GraphImage *out) {
    memset(out, 0, sizeof(*out));
    PngLoadState st = {stream, nullptr, nullptr, nullptr, out};
    st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, PngErrorExit, PngWarning);
    if (st.png == nullptr) return WriteLog("PNG の読み込み構造体が作れません in LoadPngImage\n");
    st.info = png_create_info_struct(st.png);
    int result = -1;
    if (st.info != nullptr && setjmp(png_jmpbuf(st.png)) == 0) result = DecodePng(&st);
    png_destroy_read_struct(&st.png, st.info ? &st.info : nullptr, nullptr);
    FreeMemoryTracked(st.rows);
    if (result != 0) DiscardGraphImage(out);
    return result;
}
