// The setting of a test that runs the whole program (WinMain) headless: a fresh temporary directory
// with links to the generated assets, and a stepped clock so that frame sleeps cost no real time.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_temp_dir.h"

// Enters a fresh temporary directory, links the asset folders of DAZAR_ASSET_DIR into it and installs
// the stepped clock. A failure says why.
::testing::AssertionResult EnterProgramRunDir(void);
// The game's services with the test's sleep and a library start that seeds the generator with seed
// after it, and its stage hooks with the test's frame drawing.
void InstallSeededRun(void (*sleep)(uint32_t milliseconds), int (*drawGameFrame)(void), uint32_t seed);
// Restores the real clock, goes back and removes the directory.
void LeaveProgramRunDir(void);
// The main window's last presented frame, R5G6B5 row after row; empty without one or in another depth.
std::vector<uint16_t> CapturePresented565(void);
