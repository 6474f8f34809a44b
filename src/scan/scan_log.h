// Reading the acquisition log "output.log" into the scan table.
#pragma once

#include "run_state.h"

// Code for a log that cannot be opened.
constexpr int kScanLogOpenFailed = -10;

// Reads the log at `path` into `table` (every field but nshot).  Returns 0,
// or kScanLogOpenFailed after printing "cannot open output.log \n".
int ReadScanLog(ScanTable& table, const char* path = "output.log");

// The frame-count and full-turn checks; sets nshot and prints the count line.
// Returns 0, or 1 after printing why the log is refused.
int CheckScanTable(ScanTable& table);
