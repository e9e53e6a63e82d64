// Soft images: 32-bit ARGB images in memory under handles.
#pragma once

int MakeSoftImage(int width, int height);
int RemoveSoftImageHandle(int handle);
