// Helpers shared by the test programs.
#pragma once
#include <string>

// The bytes of a file, or an empty string when it cannot be read.
std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// A path inside the source tree (fixtures), from the KORVEL_SOURCE_DIR the test runner sets.
std::string SourcePath(const std::string& relative);
// Starts the log in the current folder without starting the library (the run-time DLL
// table is loaded, since the log's time stamps need winmm).
void StartTestLog();
// The log of the current folder ("Log.txt").
std::string ReadLog();
// The log with the "%d:" stamps removed from each line start, for exact comparisons.
std::string ReadLogWithoutStamps();
