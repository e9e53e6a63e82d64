// PNG files through libpng, read from a stream source.
#pragma once
#include "file/file_access.h"
#include "image/raster_image.h"

// The libpng reader's state: the stream and the position where its data ends.
struct PNG_READER_STATE {
  STREAM_SOURCE* stream;
  int end;
};

int LoadPngImage(STREAM_SOURCE* stream, RASTER_IMAGE* out);
// Installs the stream reader on a libpng read structure (of type png_structp).
int SetPngStreamReader(struct png_struct_def* png, PNG_READER_STATE* state, STREAM_SOURCE* stream);
