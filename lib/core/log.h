// The library's log: "Log.txt" in the start directory, mirrored to the debugger output.
#pragma once

// Appends text as given; "\n" becomes CR LF and every new line starts with "<ms>:" and one TAB per
// indent level. Adds no line end: a text without "\n" is continued by the next. Returns -1 always,
// so an error path can be `return WriteLog("... in Func\n");`.
int WriteLog(const char *text);

// Formats into a 1024-byte buffer (truncated, never overflowed), appends "\n", writes as WriteLog. -1.
int WriteLogFormat(const char *format, ...) __attribute__((format(printf, 1, 2)));

// One TAB more / less at the start of every following line (never below none). 0.
int IncreaseLogIndent(void);
int DecreaseLogIndent(void);

// Opens "Log.txt" in dir (emptied) and starts the millisecond clock of the line stamps. 0 / -1.
// Before it is opened, texts go only to the debugger output.
int OpenLogFile(const char *dir);
// Closes the log file; later texts go only to the debugger output. 0.
int CloseLogFile(void);
