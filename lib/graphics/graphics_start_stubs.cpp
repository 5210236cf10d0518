// Graphics start and end until the screens are built: no DirectDraw object can be made, so the start
// switches to software rendering, and there is no screen to clear, restore or refresh yet.
#include "lib/core/library.h"
#include "lib/core/log.h"
#include "lib/d3d/d3d_hooks.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/graphics_start.h"
#include "lib/graphics/memimg.h"

static int sSoftwareRendering;  // 1 once graphics run in software

int QuerySoftwareRenderingSetting(void)
{
    return sSoftwareRendering;
}

// DirectDraw start: no stand-in for it yet, so only software rendering can start.
static int StartDirectDraw(void)
{
    if (!sSoftwareRendering) return -1;
    BuildMemImgBlendTables();
    return 0;
}

// Graphics management: 3D drawing is usable when Direct3D answers.
static int InitializeGraphicsManagement(void)
{
    if (G_D3D_ClearSurface3DData() != -1) WriteLog("３Ｄグラフィック描画機能を使用します\n");
    else WriteLog("３Ｄグラフィック描画機能は使用しません\n");
    return 0;
}

int StartGraphicsSystem(void)
{
    if (StartDirectDraw() != 0) {
        WriteLog("ソフトウエアレンダリングモードに変更します\n");
        sSoftwareRendering = 1;
        if (StartDirectDraw() != 0) ExitWithError("DirectDraw の初期化に失敗しました");
    }
    InitializeGraphicsManagement();
    ResetDrawSettings();
    return 0;
}

int ClearBothScreens(void) { return 0; }

int EndGraphicsSystem(void)
{
    G_D3D_Terminate();
    sSoftwareRendering = 0;
    return 0;
}

int IsDirectDrawInUse(void) { return 0; }
int TestAndRestoreSurfaces(void) { return 0; }
int RestoreDisplay(void) { return 0; }
int ReadScreenColorFormat(void) { return 0; }
int RefreshWindowFromBackBuffer(void) { return 0; }
