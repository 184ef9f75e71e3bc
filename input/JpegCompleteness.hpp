#pragma once

#include <string>

namespace tl {

// Whether bytes (a whole file) starting with a JPEG's start marker lack the end marker
// that closes its image: the file was cut short. libjpeg decodes such a file without an
// error, filling the rows it never reached with grey, and only warns ("Premature end of
// JPEG file") on standard error. The markers are followed segment by segment, and the
// entropy-coded data of each scan byte by byte, so that an end marker inside an embedded
// thumbnail does not count. Anything that is not a JPEG is not cut short.
bool isCutShortJpeg(const std::string& bytes);

} // namespace tl
