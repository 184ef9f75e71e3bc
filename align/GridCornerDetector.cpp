#include "align/GridCornerDetector.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace tl {

namespace {

// The cell on its own: the detector then sees no pixel of the neighbouring cells.
cv::Mat greyCell(const cv::Mat& cell) {
    if (cell.channels() == 1) return cell.clone();
    cv::Mat grey;
    cv::cvtColor(cell, grey, cv::COLOR_BGR2GRAY);
    return grey;
}

} // namespace

std::vector<cv::KeyPoint> detectGridCorners(const cv::Mat& image, const cv::Mat& mask,
                                            cv::GFTTDetector& detector, int maxTotal,
                                            int gridRows, int gridColumns) {
    std::vector<cv::KeyPoint> corners;
    const int cells = gridRows * gridColumns;
    if (maxTotal < cells) return corners;
    const size_t perCell = static_cast<size_t>(maxTotal / cells);
    for (int cy = 0; cy < gridRows; ++cy) {
        const cv::Range rows(cy * image.rows / gridRows, (cy + 1) * image.rows / gridRows);
        for (int cx = 0; cx < gridColumns; ++cx) {
            const cv::Range columns(cx * image.cols / gridColumns, (cx + 1) * image.cols / gridColumns);
            if (rows.size() == 0 || columns.size() == 0) continue;
            std::vector<cv::KeyPoint> found;
            detector.detect(greyCell(image(rows, columns)), found, mask.empty() ? cv::Mat() : mask(rows, columns));
            // The detector returns its corners strongest first.
            found.resize(std::min(found.size(), perCell));
            for (cv::KeyPoint& corner : found) {
                corner.pt += cv::Point2f(static_cast<float>(columns.start), static_cast<float>(rows.start));
                corners.push_back(corner);
            }
        }
    }
    return corners;
}

} // namespace tl
