// The current folder as the file layer sees it.
#pragma once

int GetFileStreamDirectory(char* buffer);  // buffer of MAX_PATH characters
int SetFileStreamDirectory(const char* path);
