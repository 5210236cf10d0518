// The folder the program runs in. The game reads its data files ("png", "wav", "voice", "mid") from
// the current folder and writes "HiScore.dat" and "Log.txt" there; a player who starts it from
// another folder expects it to find its data all the same, as it would beside the program.
#pragma once
#include <cstddef>

// The file whose presence marks a folder with the game's data.
#define GAME_DATA_PROBE "png/Player.png"

// Where to run: "" (stay) when currentDir holds the data, else the first of the program's own folder
// and the build's "assets" folder beside it (programDir/../assets) that does, written to out.
// 0, or -1 when none holds it or the path does not fit (out is then "").
int FindGameFolder(const char *currentDir, const char *programDir, char *out, size_t size);
// Moves into the folder FindGameFolder picks for the running program and says so on stderr; when
// there is none, says on stderr why the field will be empty and silent, and keeps that text for
// GetGameFolderProblem. 0 / -1.
int EnterGameFolder(void);
// The reason EnterGameFolder failed ("" when it did not), for the log once the library writes it.
const char *GetGameFolderProblem(void);
