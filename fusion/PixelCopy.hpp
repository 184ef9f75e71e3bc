#pragma once

#include <opencv2/core.hpp>

#include <algorithm>

namespace tl {

// Copies every channel of the pixel at (fromRow, fromColumn) of exposure to (row, column)
// of output. The source is kept inside the image: a displacement found for a tile centre
// may reach beyond the image at a pixel far from that centre.
template <typename T>
inline void copyPixel(const cv::Mat& exposure, int fromRow, int fromColumn, cv::Mat& output,
                      int row, int column) {
    const int channels = exposure.channels();
    fromRow = std::clamp(fromRow, 0, exposure.rows - 1);
    fromColumn = std::clamp(fromColumn, 0, exposure.cols - 1);
    const T* from = exposure.ptr<T>(fromRow) + static_cast<size_t>(fromColumn) * channels;
    T* to = output.ptr<T>(row) + static_cast<size_t>(column) * channels;
    std::copy(from, from + channels, to);
}

} // namespace tl
