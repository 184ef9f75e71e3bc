#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace tl {

// Opens path for writing, created when missing, truncated or appended to, without ever
// blocking: a FIFO without a reader, a device or a folder is refused instead of waited on.
// Returns an open stream only for a regular file; nullptr otherwise (errno tells why).
std::FILE* openPlainFileForWriting(const std::string& path, bool append);

// Whether path is a regular file that this process can open for reading, found out
// without blocking on a FIFO.
bool isReadablePlainFile(const std::string& path);

// Whether path names a regular file (after following links) that this process may run.
bool isExecutableFile(const std::string& path);

// Writes all size bytes to the open descriptor, going on after a signal interrupts a write
// and after a short write. False when a write fails. Async-signal-safe: it calls write only.
bool writeWhole(int descriptor, const void* bytes, std::size_t size);

} // namespace tl
