// Message boxes, desktop facts, cursor and screen saver, and the single-instance lock file.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/kernel/kernel.h"
#include "platform/window/window_internal.h"

// ================================================================================================
// message boxes
// ================================================================================================

// 1 when a box could be shown: a display exists and the video driver is not a headless one.
static int CanShowBox(void)
{
    const char *driver = SDL_GetCurrentVideoDriver();
    if (!driver) driver = getenv("SDL_VIDEODRIVER");
    if (driver && (strcmp(driver, "dummy") == 0 || strcmp(driver, "offscreen") == 0)) return 0;
    return getenv("DISPLAY") || getenv("WAYLAND_DISPLAY");
}

// The answer a script gives, or 0 when the box is to be asked.
static int ScriptedAnswer(uint32_t type)
{
    int yesNo = (type & 0x0F) == W_MB_YESNO;
    const char *answer = getenv("DAZAR_FULLSCREEN_ANSWER");
    if (answer && strcasecmp(answer, "yes") == 0) return yesNo ? W_IDYES : W_IDOK;
    if (answer && strcasecmp(answer, "no") == 0) return yesNo ? W_IDNO : W_IDOK;
    if (!CanShowBox()) return yesNo ? W_IDNO : W_IDOK;
    return 0;
}

struct BoxCall {
    const SDL_MessageBoxData *data;
    int pressed;
};

static void AskWithBox(void *data)
{
    BoxCall *box = (BoxCall *)data;
    if (SDL_ShowMessageBox(box->data, &box->pressed) != 0) box->pressed = 0;
}

// Shows the box with UTF-8 texts.
static int ShowBox(WHandle owner, const char *text, const char *caption, uint32_t type)
{
    int answer = ScriptedAnswer(type);
    if (answer) return answer;
    int yesNo = (type & 0x0F) == W_MB_YESNO;
    SDL_MessageBoxButtonData buttons[2];
    if (yesNo) {
        buttons[0] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, W_IDYES, "Yes"};
        buttons[1] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, W_IDNO, "No"};
    } else {
        buttons[0] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, W_IDOK, "OK"};
    }
    WWindowRecord *record = WLookupWindow(owner);
    SDL_MessageBoxData data{SDL_MESSAGEBOX_INFORMATION, record ? record->sdl : nullptr, caption, text,
                            yesNo ? 2 : 1, buttons, nullptr};
    BoxCall box = {&data, 0};
    if (WRunOnDisplay(AskWithBox, &box) != 0 || box.pressed <= 0) return yesNo ? W_IDNO : W_IDOK;
    return box.pressed;
}

int WMessageBoxA(WHandle owner, const char *text, const char *caption, uint32_t type)
{
    static char textUtf8[4096], captionUtf8[1024];
    if (KMultiByteToUtf8(text ? text : "", textUtf8, sizeof textUtf8) <= 0) textUtf8[0] = 0;
    if (KMultiByteToUtf8(caption ? caption : "", captionUtf8, sizeof captionUtf8) <= 0) captionUtf8[0] = 0;
    return ShowBox(owner, textUtf8, captionUtf8, type);
}

// UTF-16 to UTF-8, truncated to size; unpaired surrogates become U+FFFD.
static void Utf16ToUtf8(const uint16_t *src, char *dst, int size)
{
    int at = 0;
    for (int i = 0; src && src[i]; i++) {
        uint32_t c = src[i];
        if (c >= 0xD800 && c < 0xDC00 && src[i + 1] >= 0xDC00 && src[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (src[i + 1] - 0xDC00);
            i++;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        char out[4];
        int n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (n == 1) out[0] = (char)c;
        else if (n == 2) { out[0] = (char)(0xC0 | (c >> 6)); out[1] = (char)(0x80 | (c & 0x3F)); }
        else if (n == 3) {
            out[0] = (char)(0xE0 | (c >> 12)); out[1] = (char)(0x80 | ((c >> 6) & 0x3F));
            out[2] = (char)(0x80 | (c & 0x3F));
        } else {
            out[0] = (char)(0xF0 | (c >> 18)); out[1] = (char)(0x80 | ((c >> 12) & 0x3F));
            out[2] = (char)(0x80 | ((c >> 6) & 0x3F)); out[3] = (char)(0x80 | (c & 0x3F));
        }
        if (at + n >= size) break;
        memcpy(dst + at, out, (size_t)n);
        at += n;
    }
    dst[at] = 0;
}

int WMessageBoxW(WHandle owner, const uint16_t *text, const uint16_t *caption, uint32_t type)
{
    static char textUtf8[4096], captionUtf8[1024];
    Utf16ToUtf8(text, textUtf8, sizeof textUtf8);
    Utf16ToUtf8(caption, captionUtf8, sizeof captionUtf8);
    return ShowBox(owner, textUtf8, captionUtf8, type);
}

// ================================================================================================
// desktop
// ================================================================================================

// The desktop's mode while the window system is started. SDL's video may outlive our end (it stays for
// a loaded OpenGL driver), so our own start count decides, not SDL's. 0 / -1.
static int GetDesktopMode(SDL_DisplayMode *mode)
{
    if (gWin.initCount <= 0 || !SDL_WasInit(SDL_INIT_VIDEO)) return -1;
    return SDL_GetDesktopDisplayMode(0, mode) == 0 ? 0 : -1;
}

// SDL reports XRGB8888 as 24 bits per pixel; the byte count tells a true 24-bit desktop apart.
int WGetDesktopBytesPerPixel(void)
{
    SDL_DisplayMode mode;
    if (GetDesktopMode(&mode) != 0) return 0;
    return SDL_BYTESPERPIXEL(mode.format);
}

int WGetSystemMetrics(int index)
{
    SDL_DisplayMode mode;
    if (GetDesktopMode(&mode) != 0) return 0;
    if (index == W_SM_CXSCREEN) return mode.w;
    if (index == W_SM_CYSCREEN) return mode.h;
    return 0;
}

// Above every handle WCreateWindow can give (those fit in 32 bits with a slot in the low byte).
WHandle WGetDesktopWindow(void)
{
    return (WHandle)0x7FFF0000;
}

// Cursor and screen saver go through the display: on a broken connection nothing is asked of it.
static void ShowSdlCursor(void *show)
{
    *(int *)show = SDL_ShowCursor(*(int *)show ? SDL_ENABLE : SDL_DISABLE) == SDL_ENABLE;
}

int WShowCursor(int show)
{
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
    return WRunOnDisplay(ShowSdlCursor, &show) == 0 ? show : 0;
}

static void SetSdlScreenSaver(void *disable)
{
    if (*(int *)disable) SDL_DisableScreenSaver();
    else SDL_EnableScreenSaver();
}

void WDisableScreenSaver(int disable)
{
    if (SDL_WasInit(SDL_INIT_VIDEO)) WRunOnDisplay(SetSdlScreenSaver, &disable);
}

// ================================================================================================
// single instance
// ================================================================================================

// Takes "dazar-<name in hex>.lock" in the user's runtime or temporary directory with flock, which
// the system drops when the process ends, however it ends.
int WAcquireInstanceLock(const char *name)
{
    if (!name) return -1;
    char dir[K_MAX_PATH];
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && strlen(runtime) < 200) snprintf(dir, sizeof dir, "%s/", runtime);
    else if (KGetTempPath(sizeof dir, dir) == 0) return -1;
    char path[K_MAX_PATH + 160];
    int at = snprintf(path, sizeof path, "%sdazar-", dir);
    for (int i = 0; name[i] && i < 60 && at < (int)sizeof path - 8; i++) {
        at += snprintf(path + at, sizeof path - (size_t)at, "%02x", (unsigned char)name[i]);
    }
    snprintf(path + at, sizeof path - (size_t)at, ".lock");
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return 0;
    }
    return fd + 1;
}

void WReleaseInstanceLock(int lock)
{
    if (lock <= 0) return;
    flock(lock - 1, LOCK_UN);
    close(lock - 1);
}
