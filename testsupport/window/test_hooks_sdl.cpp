// Test hooks: SDL events pushed into the real event path, the presented frames kept and counted,
// and virtual joysticks for pad tests.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/kernel/standin_hooks.h"
#include "platform/window/window_internal.h"
#include "testsupport/window/window_test.h"

int WTestPushWindowEvent(WHandle window, int kind)
{
    static const uint8_t kEvents[] = {0, SDL_WINDOWEVENT_CLOSE, SDL_WINDOWEVENT_FOCUS_LOST,
                                      SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_EXPOSED,
                                      SDL_WINDOWEVENT_MINIMIZED, SDL_WINDOWEVENT_RESTORED};
    SDL_Event event{};
    if (kind == W_TEST_DISPLAY_CHANGED) {
        if (!SDL_WasInit(SDL_INIT_EVENTS)) return -1;
        event.type = SDL_DISPLAYEVENT;
        event.display.event = SDL_DISPLAYEVENT_CONNECTED;
        return SDL_PushEvent(&event) == 1 ? 0 : -1;
    }
    WWindowRecord *record = WLookupWindow(window);
    if (!record || kind < W_TEST_CLOSE || kind > W_TEST_RESTORED) return -1;
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = record->sdlId;
    event.window.event = kEvents[kind];
    return SDL_PushEvent(&event) == 1 ? 0 : -1;
}

int WTestHasDisplayFocus(WHandle window)
{
    const char *driver = SDL_GetCurrentVideoDriver();
    if (driver && (strcmp(driver, "dummy") == 0 || strcmp(driver, "offscreen") == 0)) return 1;
    WWindowRecord *record = WLookupWindow(window);
    return record && (SDL_GetWindowFlags(record->sdl) & SDL_WINDOW_INPUT_FOCUS) ? 1 : 0;
}

int WTestPushKey(int dikCode, int down)
{
    SDL_Scancode scancode = WScancodeOfDik(dikCode);
    if (scancode == SDL_SCANCODE_UNKNOWN || !SDL_WasInit(SDL_INIT_EVENTS)) return -1;
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
    return SDL_PushEvent(&event) == 1 ? 0 : -1;
}

// ================================================================================================
// presented frames
// ================================================================================================

// The last frame and the present count of the window in each slot; a new window in the slot starts
// afresh. Owner thread for presents, any thread for reads.
struct KeptFrame {
    WHandle window;
    uint8_t *pixels;  // packed
    int width, height, bits;
    uint64_t presents;
};
static KeptFrame sFrames[W_MAX_WINDOWS];
static std::mutex sFrameMutex;

// The slot's entry for a live window, or null. Frame mutex held.
static KeptFrame *FrameOf(WHandle window)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record) return nullptr;
    KeptFrame *kept = &sFrames[record - gWin.windows];
    if (kept->window != window) {
        free(kept->pixels);
        *kept = KeptFrame{window, nullptr, 0, 0, 0, 0};
    }
    return kept;
}

// Forgets the kept picture: a frame that could not be read back is not an older one.
static void DropFrame(KeptFrame *kept)
{
    free(kept->pixels);
    kept->pixels = nullptr;
    kept->width = kept->height = kept->bits = 0;
}

// Keeps the picture of width x height that a drawable of dw x dh shows (rows of 0xAARRGGBB words from
// the top, `stride` words apart) packed in its own format: the picture is placed as a present places
// it, scaled to fit with its aspect kept and centred, and each of its pixels is read where the centre
// of its footprint lands. 0 / -1 (nothing of it shows or was read, no memory: the kept picture is then
// forgotten, as it is not an older frame). Frame mutex held.
static int KeepShown(KeptFrame *kept, const uint32_t *shown, ptrdiff_t stride, int dw, int dh, int width,
                     int height, int bits)
{
    if (!shown || dw <= 0 || dh <= 0 || width <= 0 || height <= 0 || (bits != 16 && bits != 32))
        return DropFrame(kept), -1;
    // The scale is the smaller ratio of drawable to picture, kept as the fraction num / den.
    int64_t num = dw, den = width;
    if ((int64_t)dh * width < (int64_t)dw * height) num = dh, den = height;
    const int64_t fw = width * num / den, fh = height * num / den;
    if (fw <= 0 || fh <= 0) return DropFrame(kept), -1;
    const int64_t left = (dw - fw) / 2, top = (dh - fh) / 2;
    const size_t bytes = (size_t)(bits / 8);
    if (!kept->pixels || kept->width != width || kept->height != height || kept->bits != bits) {
        DropFrame(kept);
        kept->pixels = (uint8_t *)malloc((size_t)width * (size_t)height * bytes);
        if (!kept->pixels) return -1;
        kept->width = width, kept->height = height, kept->bits = bits;
    }
    for (int y = 0; y < height; y++) {
        const uint32_t *row = shown + stride * (ptrdiff_t)(top + (2 * y + 1) * fh / (2 * height));
        uint8_t *out = kept->pixels + (size_t)y * (size_t)width * bytes;
        for (int x = 0; x < width; x++) {
            uint32_t c = row[left + (2 * x + 1) * fw / (2 * width)];
            if (bits == 16) {
                uint16_t p = (uint16_t)(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F));
                memcpy(out + 2 * (size_t)x, &p, 2);
            } else {
                c &= 0x00FFFFFF;
                memcpy(out + 4 * (size_t)x, &c, 4);
            }
        }
    }
    return 0;
}

// The record hook: every present counts, and one through memory is kept as the window's renderer is
// about to show it, read whole (bars too) with the renderer's placement of the picture put back after.
// It runs inside the present's guarded call, which a broken connection leaves from any call that
// reaches the display: the picture is read before the frame lock is taken, into a buffer of the
// thread's that nothing on the way out has to free.
static void RecordPresent(const void *entry)
{
    const WPresentRecord *present = (const WPresentRecord *)entry;
    static thread_local std::vector<uint32_t> shown;
    SDL_Renderer *renderer = present->pixels ? WLookupWindow(present->window)->renderer : nullptr;
    int dw = 0, dh = 0, read = 0;
    if (renderer && SDL_GetRendererOutputSize(renderer, &dw, &dh) == 0 && dw > 0 && dh > 0) {
        shown.resize((size_t)dw * (size_t)dh);
        int lw = 0, lh = 0;
        SDL_RenderGetLogicalSize(renderer, &lw, &lh);
        SDL_RenderSetLogicalSize(renderer, 0, 0);  // the read covers the viewport: make it the whole output
        read = SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, shown.data(), dw * 4) == 0;
        SDL_RenderSetLogicalSize(renderer, lw, lh);
    }
    std::lock_guard<std::mutex> hold(sFrameMutex);
    KeptFrame *kept = FrameOf(present->window);
    if (!kept) return;
    kept->presents++;
    if (present->pixels)
        KeepShown(kept, read ? shown.data() : nullptr, dw, dw, dh, present->width, present->height,
                  present->bitsPerPixel);
}

int WTestKeepShownFrame(WHandle window, const uint32_t *shown, ptrdiff_t stride, int dw, int dh, int width,
                        int height, int bitsPerPixel)
{
    std::lock_guard<std::mutex> hold(sFrameMutex);
    KeptFrame *kept = FrameOf(window);
    return kept ? KeepShown(kept, shown, stride, dw, dh, width, height, bitsPerPixel) : -1;
}

int WTestGetPresentedFrame(WHandle window, const void **pixels, int *width, int *height, int *bitsPerPixel)
{
    std::lock_guard<std::mutex> hold(sFrameMutex);
    KeptFrame *kept = FrameOf(window);
    if (!kept || !kept->pixels) return -1;
    if (pixels) *pixels = kept->pixels;
    if (width) *width = kept->width;
    if (height) *height = kept->height;
    if (bitsPerPixel) *bitsPerPixel = kept->bits;
    return 0;
}

uint64_t WTestGetPresentCount(WHandle window)
{
    std::lock_guard<std::mutex> hold(sFrameMutex);
    KeptFrame *kept = FrameOf(window);
    return kept ? kept->presents : 0;
}

// ================================================================================================
// virtual pads
// ================================================================================================

static SDL_Joystick *sTestPads[W_MAX_PADS];
static std::mutex sTestPadMutex;

int WTestAttachPad(int buttons)
{
    std::lock_guard<std::mutex> hold(sTestPadMutex);
    if (!SDL_WasInit(SDL_INIT_JOYSTICK) || buttons < 0 || buttons > 32) return -1;
    for (int i = 0; i < W_MAX_PADS; i++) {
        if (sTestPads[i]) continue;
        int device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, buttons, 1);
        if (device < 0) return -1;
        sTestPads[i] = SDL_JoystickOpen(device);
        if (!sTestPads[i]) {
            SDL_JoystickDetachVirtual(device);
            return -1;
        }
        return i;
    }
    return -1;
}

// The test's joystick, or null.
static SDL_Joystick *TestPad(int testPad)
{
    return testPad >= 0 && testPad < W_MAX_PADS ? sTestPads[testPad] : nullptr;
}

int WTestSetPadButton(int testPad, int button, int down)
{
    std::lock_guard<std::mutex> hold(sTestPadMutex);
    SDL_Joystick *pad = TestPad(testPad);
    if (!pad) return -1;
    return SDL_JoystickSetVirtualButton(pad, button, down ? SDL_PRESSED : SDL_RELEASED) == 0 ? 0 : -1;
}

int WTestSetPadAxis(int testPad, int axis, int value)
{
    std::lock_guard<std::mutex> hold(sTestPadMutex);
    SDL_Joystick *pad = TestPad(testPad);
    if (!pad) return -1;
    if (value < -32768) value = -32768;
    if (value > 32767) value = 32767;
    return SDL_JoystickSetVirtualAxis(pad, axis, (Sint16)value) == 0 ? 0 : -1;
}

int WTestDetachPad(int testPad)
{
    std::lock_guard<std::mutex> hold(sTestPadMutex);
    SDL_Joystick *pad = TestPad(testPad);
    if (!pad) return -1;
    SDL_JoystickID instance = SDL_JoystickInstanceID(pad);
    SDL_JoystickClose(pad);
    sTestPads[testPad] = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); i++) {
        if (SDL_JoystickGetDeviceInstanceID(i) == instance) return SDL_JoystickDetachVirtual(i) == 0 ? 0 : -1;
    }
    return -1;
}

// ---- installed before main, whenever a program links this file ------------------------------------
static const StandInHooks kHooks = {nullptr, nullptr, RecordPresent};
static int InstallHooks(void)
{
    StandInSetHooks(STAND_IN_WINDOW, &kHooks);
    return 0;
}
[[maybe_unused]] static const int sInstalled = InstallHooks();
