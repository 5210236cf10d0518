// The library's log: "Log.txt" in the start directory, line stamps, indentation, CR LF line ends.
#include "lib/core/log.h"

#include "lib/core/helpers.h"
#include "platform/kernel/kernel.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#define LOG_FORMAT_BUFFER_SIZE 1024
#define LOG_OUTPUT_CHUNK 1024

static std::mutex g_logLock;
static KHandle g_logFile = K_INVALID_HANDLE;
static uint32_t g_startTime;      // KGetTime at open: the stamps count from here
static int g_indent;
static int g_atLineStart = 1;     // the next byte begins a line and gets the stamp

// Bytes on their way to the file and the debugger output, flushed in chunks.
struct LogOutput {
    char bytes[LOG_OUTPUT_CHUNK + 1];
    int length;
};

// Writes the collected bytes out and empties the buffer. The log lock is held.
static void FlushLogOutput(LogOutput *out)
{
    if (out->length == 0)
        return;
    out->bytes[out->length] = 0;
    if (g_logFile != K_INVALID_HANDLE) {
        // At the file's end, not our own offset: a second copy started beside us without the
        // double-start check empties the file, and writing past its new end would leave a run of NUL
        // bytes before our lines.
        KSetFilePointer(g_logFile, 0, K_FILE_END);
        uint32_t done;
        KWriteFile(g_logFile, out->bytes, (uint32_t)out->length, &done);
    }
    KOutputDebugString(out->bytes);
    out->length = 0;
}

static void PutLogBytes(LogOutput *out, const char *bytes, int n)
{
    for (int i = 0; i < n; i++) {
        if (out->length == LOG_OUTPUT_CHUNK)
            FlushLogOutput(out);
        out->bytes[out->length++] = bytes[i];
    }
}

// The "<ms>:" stamp and the indentation TABs of a new line.
static void PutLineStart(LogOutput *out)
{
    char stamp[32];
    int n = snprintf(stamp, sizeof stamp, "%d:", (int)(KGetTime() - g_startTime));
    PutLogBytes(out, stamp, n);
    for (int i = 0; i < g_indent; i++)
        PutLogBytes(out, "\t", 1);
}

int WriteLog(const char *text)
{
    if (!text)
        return -1;
    std::lock_guard<std::mutex> guard(g_logLock);
    LogOutput out;
    out.length = 0;
    for (const char *p = text; *p; p++) {
        // The stamp waits for the line's first byte, so a text ending in "\n" leaves no dangling stamp.
        if (g_atLineStart) {
            PutLineStart(&out);
            g_atLineStart = 0;
        }
        if (*p == '\n') {
            PutLogBytes(&out, "\r\n", 2);
            g_atLineStart = 1;
        } else {
            PutLogBytes(&out, p, 1);
        }
    }
    FlushLogOutput(&out);
    return -1;
}

// Length of text cut back so that it does not end in the lead byte of a broken two-byte character.
static int WholeCharacterLength(const char *text, int length)
{
    int i = 0;
    while (i < length) {
        int lead = IsShiftJisLeadByte((unsigned char)text[i]);
        if (lead && i + 1 >= length)
            return i;
        i += lead ? 2 : 1;
    }
    return length;
}

int WriteLogFormat(const char *format, ...)
{
    if (!format)
        return -1;
    char buffer[LOG_FORMAT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    // Room is left for the "\n"; a longer text is cut, never written past the buffer.
    int n = vsnprintf(buffer, sizeof buffer - 1, format, args);
    va_end(args);
    if (n < 0)
        n = 0;
    if (n > (int)sizeof buffer - 2)
        n = WholeCharacterLength(buffer, (int)sizeof buffer - 2);
    buffer[n] = '\n';
    buffer[n + 1] = 0;
    return WriteLog(buffer);
}

int IncreaseLogIndent(void)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    g_indent++;
    return 0;
}

int DecreaseLogIndent(void)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    if (g_indent > 0)
        g_indent--;
    return 0;
}

int OpenLogFile(const char *dir)
{
    char path[K_MAX_PATH];
    if (!dir)
        dir = "";
    size_t length = strlen(dir);
    const char *separator = length && dir[length - 1] != '/' && dir[length - 1] != '\\' ? "/" : "";
    int n = snprintf(path, sizeof path, "%s%sLog.txt", dir, separator);
    std::lock_guard<std::mutex> guard(g_logLock);
    if (g_logFile != K_INVALID_HANDLE)
        KCloseHandle(g_logFile);
    g_logFile = K_INVALID_HANDLE;
    g_startTime = KGetTime();
    g_indent = 0;
    g_atLineStart = 1;
    if (n < 0 || n >= (int)sizeof path) {
        KOutputDebugString("Log.txt path is too long\n");
        return -1;
    }
    g_logFile = KCreateFile(path, K_GENERIC_WRITE, K_CREATE_ALWAYS);
    if (g_logFile == K_INVALID_HANDLE) {
        KOutputDebugString("Log.txt cannot be opened\n");
        return -1;
    }
    return 0;
}

int CloseLogFile(void)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    if (g_logFile != K_INVALID_HANDLE)
        KCloseHandle(g_logFile);
    g_logFile = K_INVALID_HANDLE;
    return 0;
}
