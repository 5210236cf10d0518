// JPEG pictures through libjpeg, read over a stream with a source manager of our own.
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstring>

#include "lib/core/log.h"
#include "lib/file/stream.h"
#include "lib/image/image_loader.h"

#define JPEG_SOURCE_BUFFER 4096

// The error manager: libjpeg's fields first, then where to jump back to.
struct JpegErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
};

// The source manager over a stream.
struct JpegStreamSource {
    jpeg_source_mgr base;
    StreamRecord *stream;
    JOCTET buffer[JPEG_SOURCE_BUFFER];
};

int TestJpegImage(const unsigned char *head, size_t headSize) {
    return headSize >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

static void JpegErrorExit(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, message);
    WriteLogFormat("JPEG の読み込みでエラーが発生しました: %s", message);
    longjmp(reinterpret_cast<JpegErrorManager *>(cinfo->err)->jump, 1);
}

static void JpegOutputMessage(j_common_ptr) {}

static void InitJpegSource(j_decompress_ptr) {}

// Refills the buffer; the end of the stream before the picture's end is an error, not a grey tail.
static boolean FillJpegSource(j_decompress_ptr cinfo) {
    auto *src = reinterpret_cast<JpegStreamSource *>(cinfo->src);
    size_t got = src->stream->functions.read(src->buffer, 1, JPEG_SOURCE_BUFFER, src->stream->data);
    if (got == 0) ERREXIT(cinfo, JERR_INPUT_EOF);
    src->base.next_input_byte = src->buffer;
    src->base.bytes_in_buffer = got;
    return TRUE;
}

static void SkipJpegSource(j_decompress_ptr cinfo, long count) {
    auto *src = reinterpret_cast<JpegStreamSource *>(cinfo->src);
    while (count > 0) {
        if (src->base.bytes_in_buffer == 0) FillJpegSource(cinfo);
        size_t step = (size_t)count < src->base.bytes_in_buffer ? (size_t)count : src->base.bytes_in_buffer;
        src->base.next_input_byte += step;
        src->base.bytes_in_buffer -= step;
        count -= (long)step;
    }
}

static void TermJpegSource(j_decompress_ptr) {}

// The decode proper; libjpeg errors leave through the jump point of LoadJpegImage.
__attribute__((noinline)) static int DecodeJpeg(jpeg_decompress_struct *cinfo, GraphImage *out) {
    jpeg_read_header(cinfo, TRUE);
    if (cinfo->image_width > IMAGE_MAX_SIDE || cinfo->image_height > IMAGE_MAX_SIDE ||
        (uint64_t)cinfo->image_width * cinfo->image_height > IMAGE_MAX_PIXELS)
        return WriteLogFormat("JPEG 画像が大きすぎます %u x %u", cinfo->image_width, cinfo->image_height);
    cinfo->out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 3) return WriteLog("JPEG の出力形式が想定と違います\n");
    ColorFormatRecord format;
    MakeColorFormatFromMasks(&format, 24, 0xFF0000, 0xFF00, 0xFF, 0);
    if (AllocGraphImagePixels(out, &format, (int)cinfo->output_width, (int)cinfo->output_height) != 0) return -1;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = static_cast<JSAMPROW>(out->pixels) + (size_t)cinfo->output_scanline * out->pitch;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return 0;
}

int LoadJpegImage(StreamRecord *stream, GraphImage *out) {
    memset(out, 0, sizeof(*out));
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    JpegStreamSource src;
    memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = JpegErrorExit;
    err.base.output_message = JpegOutputMessage;
    int result = -1;
    if (setjmp(err.jump) == 0) {
        jpeg_create_decompress(&cinfo);
        src.base.init_source = InitJpegSource;
        src.base.fill_input_buffer = FillJpegSource;
        src.base.skip_input_data = SkipJpegSource;
        src.base.resync_to_restart = jpeg_resync_to_restart;
        src.base.term_source = TermJpegSource;
        src.base.next_input_byte = nullptr;
        src.base.bytes_in_buffer = 0;
        src.stream = stream;
        cinfo.src = &src.base;
        result = DecodeJpeg(&cinfo, out);
    }
    jpeg_destroy_decompress(&cinfo);
    if (result != 0) DiscardGraphImage(out);
    return result;
}
