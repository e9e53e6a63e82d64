// The viewer's input files: "grid.txt" and the three float64 data files.
#pragma once

// The issue lines the viewer can show.
extern const char* const GRID_FILE_MISSING_TEXT;
extern const char* const GRID_SIZE_REFUSED_TEXT;
extern const char* const GRID_TOO_LARGE_TEXT;

// Reads the settings file (normally "grid.txt") into VIEWER.grid. The issue lines are reset
// first; a missing file sets issue line 1 and leaves the settings unchanged; a width or row
// count the viewer cannot use sets issue line 2 and keeps the 64 x 32 default. Returns -1
// when the file could not be opened, else 0.
int ReadGridSettings(const char* path);

// Sets the three issue lines to "\n" (no issue).
void ClearIssueLines();

// 1 when an issue line is set (the issue screen has something to show).
int HasIssueLines();

// Reads the three data files into data 1, 2 and 3, sets the vectors-available flag and brings
// the three arrays into display orientation.
void LoadGridData();

// Reorders one R x W array in place, as the orientation mode says, through the scratch array.
void ReorientGrid(double* grid);
