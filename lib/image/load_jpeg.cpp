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
#define JPEG_MAX_SCANS 100  // far more than encoders write

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

// libjpeg's warnings. Damaged data is refused as an error is; only data that ends early at the file's
// end marker (or at the end of a file cut short) decodes, grey from there on, as viewers show it. An
// unknown JFIF version or Adobe colour transform is a note, not damage.
static void JpegEmitMessage(j_common_ptr cinfo, int level) {
    int code = cinfo->err->msg_code;
    if (level >= 0 || code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM) return;
    if (code == JWRN_HIT_MARKER && reinterpret_cast<j_decompress_ptr>(cinfo)->unread_marker == JPEG_EOI) return;
    // The same end met where a restart marker was due, or after bytes that are no marker (a file cut
    // in the tables between two scans): the decoder goes on to the end marker.
    if (code == JWRN_MUST_RESYNC && cinfo->err->msg_parm.i[0] == JPEG_EOI) return;
    if (code == JWRN_EXTRANEOUS_DATA && cinfo->err->msg_parm.i[1] == JPEG_EOI) return;
    JpegErrorExit(cinfo);
}

// Called between the steps of the decode. Every scan walks all the blocks of its components, and a scan
// of runs of empty blocks takes a few bytes: without a limit a file of some hundred kilobytes holding
// thousands of them keeps the decode busy for a minute.
static void WatchJpegScans(j_common_ptr cinfo) {
    int scans = reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number;
    if (scans <= JPEG_MAX_SCANS) return;
    WriteLogFormat("JPEG のスキャンが多すぎます %d", scans);
    longjmp(reinterpret_cast<JpegErrorManager *>(cinfo->err)->jump, 1);
}

static void InitJpegSource(j_decompress_ptr) {}

// Refills the buffer. The stream's end gives an end marker, as libjpeg's own sources do, so that a file
// cut short ends as one whose data ends early at its end marker.
static boolean FillJpegSource(j_decompress_ptr cinfo) {
    static const JOCTET kEnd[2] = {0xFF, JPEG_EOI};
    auto *src = reinterpret_cast<JpegStreamSource *>(cinfo->src);
    size_t got = src->stream->functions.read(src->buffer, 1, JPEG_SOURCE_BUFFER, src->stream->data);
    src->base.next_input_byte = got > 0 ? src->buffer : kEnd;
    src->base.bytes_in_buffer = got > 0 ? got : sizeof kEnd;
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

// 0 when the file's bytes can code every 8 x 8 block of the picture its header declares, a logged -1
// before libjpeg or the picture takes memory for them. A Huffman-coded block takes at least two bits in
// a sequential scan (a DC code and an end-of-block code, each a bit at the least) and one bit in a
// progressive file's first DC scan. An arithmetic coder has no such floor: a few bytes may code any
// picture, so such a file is held by the picture limits alone, as a PNG's inflated data is.
static int CheckJpegHolds(j_decompress_ptr cinfo, int64_t fileBytes) {
    if (cinfo->arith_code) return 0;
    uint64_t blocks = 0;
    for (int i = 0; i < cinfo->num_components; ++i)
        blocks += (uint64_t)cinfo->comp_info[i].width_in_blocks * cinfo->comp_info[i].height_in_blocks;
    if (blocks * (cinfo->progressive_mode ? 1 : 2) <= (uint64_t)fileBytes * 8) return 0;
    return WriteLog("JPEG の画素が途中で切れています\n");
}

// The decode proper; libjpeg errors leave through the jump point of LoadJpegImage.
__attribute__((noinline)) static int DecodeJpeg(jpeg_decompress_struct *cinfo, int64_t fileBytes, GraphImage *out) {
    jpeg_read_header(cinfo, TRUE);
    if (cinfo->image_width > IMAGE_MAX_SIDE || cinfo->image_height > IMAGE_MAX_SIDE ||
        (uint64_t)cinfo->image_width * cinfo->image_height > IMAGE_MAX_PIXELS)
        return WriteLogFormat("JPEG 画像が大きすぎます %u x %u", cinfo->image_width, cinfo->image_height);
    if (CheckJpegHolds(cinfo, fileBytes) != 0) return -1;
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
    jpeg_progress_mgr progress;
    memset(&cinfo, 0, sizeof cinfo);
    memset(&progress, 0, sizeof progress);
    progress.progress_monitor = WatchJpegScans;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = JpegErrorExit;
    err.base.emit_message = JpegEmitMessage;
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
        cinfo.progress = &progress;
        int64_t fileBytes = GetImageStreamBytesFrom(stream, 0);
        result = fileBytes < 0 ? WriteLog("JPEG ファイルの大きさが分かりません\n") : DecodeJpeg(&cinfo, fileBytes, out);
    }
    jpeg_destroy_decompress(&cinfo);
    if (result != 0) DiscardGraphImage(out);
    return result;
}
