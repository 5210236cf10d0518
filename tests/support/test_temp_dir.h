// A fresh temporary directory per test: tests that write files (Log.txt, temp files) run in their own.
#pragma once
#include <string>

// Makes a new directory under the system's temporary directory and changes into it. 0 / -1.
int EnterFreshTempDir(void);
// The directory made by EnterFreshTempDir (empty before).
const char *GetFreshTempDir(void);
// Changes back to where the test started and removes the directory with everything in it. 0 / -1.
int LeaveFreshTempDir(void);
// The whole of a file the test wrote or read back, as bytes ("" when it cannot be read).
std::string ReadTestFile(const char *path);
