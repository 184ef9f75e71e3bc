#pragma once

#include <opencv2/core.hpp>

// Hands image to DevIL: generates a DevIL image, binds it and copies the pixels in
// with rows in DevIL's order. Returns the DevIL image name, which stays bound and
// belongs to the caller (ilDeleteImages), or -1 when DevIL cannot hold the image
// (depth code 7 is reported on standard output) or refuses it.
int toDevilImage(cv::InputArray image);
