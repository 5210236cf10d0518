// "HiScore.dat": hi-score, progress, music and effects settings, difficulty and the sixteen action
// buttons, as 21 little-endian 32-bit words (84 bytes) with no header, in the current directory.
#pragma once
#include <cstdint>

#define SETTINGS_FILE_NAME "HiScore.dat"
#define SETTINGS_FILE_TEMP_NAME "HiScore.dat.tmp"
#define SETTINGS_WORD_COUNT 21
#define SETTINGS_FILE_SIZE (SETTINGS_WORD_COUNT * 4)

// Default values of a missing file (the buttons keep what they hold).
#define DEFAULT_HI_SCORE 50
#define DEFAULT_PROGRESS 1

// Puts the defaults in the game state, then takes every whole word the file holds (a short file
// leaves the rest at the defaults; a missing one leaves all of them). Values are taken as stored. 0.
int LoadHiScoreFile(void);
// Writes the 84 bytes through a temporary file that replaces the old one, so a failed write leaves
// the old file whole. A failure is skipped silently. 0.
int SaveHiScoreFile(void);

// The 84 bytes of the current records.
void PackSettingsBytes(uint8_t bytes[SETTINGS_FILE_SIZE]);
// Takes the whole words among size bytes into the records (size may be below 84).
void UnpackSettingsBytes(const uint8_t *bytes, int size);

// The disk side, the library services' default: reads up to size bytes of "HiScore.dat" (the count,
// or -1 when it cannot be opened) / writes "HiScore.dat" whole through "HiScore.dat.tmp" (0 / -1).
int ReadSettingsFileFromDisk(uint8_t *bytes, int size);
int WriteSettingsFileToDisk(const uint8_t *bytes, int size);
