#include "tests/support/screen_readback.h"

#include <cstdlib>
#include <cstring>

#include "lib/graphics/ddraw_display.h"
#include "lib/graphics/graphics_start.h"
#include "lib/graphics/screen.h"

const MEMIMG *ReadBackBackScreen(void)
{
    EndDirect3DWork();
    if (IsSurfaceRouteInUse() && LockScreenSurface(SCREEN_BACK) == 0) UnlockScreenSurface(SCREEN_BACK);
    return GetScreenMemImg(SCREEN_BACK);
}

int RouteFieldTolerance(void) { return IsDirect3DDrawUsable() ? 3 : 0; }

int IsDirect3DRouteExpected(void)
{
    const char *route = getenv("DAZAR_RENDER_ROUTE"), *driver = getenv("SDL_VIDEODRIVER");
    return route && strcmp(route, "d3d") == 0 && !(driver && strcmp(driver, "dummy") == 0);
}
