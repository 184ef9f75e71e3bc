
namespace tl {

#pragma once

// What both programs do first thing in main, while the process has one thread and memory
// to spare.

// Readies OpenCV: its parallel regions go to the project's own threads (see
// ImageLibraryThreads), and its image codecs register now. OpenCV registers them on
// first use otherwise, which loads GDAL's drivers, and GDAL ends the process when memory
// runs out half way through that.
void startImageLibrary();

// A write to a closed pipe (a standard error whose reader went away) and a write beyond
// the file-size limit (a full quota) end a process by signal unless it ignores them. Both
// programs ignore them, so that such a write fails like any other and takes the error path
// that reports it, instead of ending the run half way and leaving a partial file.
void ignoreFailedWriteSignals();

} // namespace tl
