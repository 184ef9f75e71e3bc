#pragma once

// Readies OpenCV for a program, first thing in main, while the process has one thread and
// memory to spare: its parallel regions go to the project's own threads (see
// ImageLibraryThreads), and its image codecs register now. OpenCV registers them on
// first use otherwise, which loads GDAL's drivers, and GDAL ends the process when memory
// runs out half way through that.
void startImageLibrary();
