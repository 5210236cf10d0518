// The program entry: the start-up question, library start, screen mode, records, settings file,
// stage clock, font, draw target, sheets and sounds, the frame loop, and the shutdown in order.
#pragma once

// Answer to the full-screen question from the command line: 1 for "--fullscreen", 0 for
// "--windowed" (the last one given counts), -1 when neither is there.
int ParseFullScreenSwitch(int argc, char **argv);
// The records in the order the game needs them, with the settings file read. 0.
int CreateGameRecords(void);
// Ends everything in order: the stage clock, the graphs, the records and the library. 0.
int ShutDownGame(void);
// Runs the game. -1 when the library cannot start (nothing else happens then), else 0.
int WinMain(int argc, char **argv);
