#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <vector>

// sideBySide OUTPUT WIDTH IMAGE...: the images, each scaled to WIDTH pixels across, side
// by side in one row, written to OUTPUT (its extension picks the format).
int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: sideBySide OUTPUT WIDTH IMAGE...\n", stderr);
        return 1;
    }
    const int width = std::atoi(argv[2]);
    std::vector<cv::Mat> row;
    for (int i = 3; i < argc; ++i) {
        const cv::Mat image = cv::imread(argv[i], cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
        if (image.empty() || width < 16 || width > 4000) {
            std::fprintf(stderr, "sideBySide: cannot read %s, or the width is not 16 to 4000\n", argv[i]);
            return 1;
        }
        cv::Mat scaled;
        cv::resize(image, scaled, {width, image.rows * width / image.cols}, 0, 0, cv::INTER_AREA);
        if (!row.empty() && scaled.rows != row.front().rows) cv::resize(scaled, scaled, {width, row.front().rows});
        row.push_back(scaled);
    }
    cv::Mat joined;
    cv::hconcat(row, joined);
    return cv::imwrite(argv[1], joined, {cv::IMWRITE_PNG_COMPRESSION, 9}) ? 0 : 1;
}
