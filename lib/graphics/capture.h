// Copies of the draw target into a graph, and the window repaint that saves the back screen.
#pragma once

#include "lib/graphics/graph.h"

// Copies (x1, y1)-(x2, y2) of the draw target (clipped to it and to the graph's size) to the graph's
// top-left: a texture graph through the Direct3D renderer, else the software capture. Direct3D
// work ends first. 0 / -1 (bad graph, lost or busy surfaces).
int CaptureDrawTargetToGraph(int x1, int y1, int x2, int y2, int graph, int clientFlag);
// The software capture: a blit between two display surfaces, else a copy of the locked pixels
// (converted when the formats differ). 0 / -1.
int CaptureDrawTargetSoftware(int x1, int y1, int x2, int y2, GraphRecord *graph);
// Saves the back screen into a graph of the screen's size, refreshes the window and draws the saved
// copy back. 0 / -1.
int RedrawSavedScreen(void);
