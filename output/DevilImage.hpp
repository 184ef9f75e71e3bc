#pragma once

#include "common/Failure.hpp"

#include <opencv2/core.hpp>

namespace tl {

// Hands image to DevIL: generates a DevIL image, binds it and copies the pixels in
// with rows in DevIL's order. Returns the DevIL image name, which stays bound and
// belongs to the caller (ilDeleteImages), or -1 when DevIL cannot hold the image or
// refuses it. An element type DevIL has none for (depth code 7) is handed to passedOver
// as Failure::Code::elementTypeUnknown, whose detail is the line the merge program
// prints on its standard output.
int toDevilImage(cv::InputArray image, const PassedOver& passedOver = {});

} // namespace tl
