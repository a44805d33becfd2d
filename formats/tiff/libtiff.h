// libtiff names its handle type TIFF, which is also the ImageFileType value; include libtiff
// through this header, which renames the handle type to TiffFile.
#pragma once

#define TIFF TiffFile
#include <tiffio.h>
#undef TIFF
