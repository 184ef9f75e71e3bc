#pragma once

#include <opencv2/core.hpp>

#include <memory>
#include <string>

// An ordered source of images, asked for one image at a time by its 0-based index.
class ImagesSequenceBase {
public:
    virtual ~ImagesSequenceBase() {}
    // The image at index, or an empty image (already reported) when it cannot be read.
    virtual cv::Mat getImage(int index) = 0;
    // True asks the merge to stop taking images.
    virtual bool isStopped() = 0;
};

// The image source over a list of file paths. Keeps only the paths: every getImage
// reads the file again.
class ImagesSequence : public ImagesSequenceBase {
public:
    ImagesSequence(const std::string* paths, int count);
    cv::Mat getImage(int index) override;
    bool isStopped() override;

private:
    std::unique_ptr<std::string[]> paths;
    int count;
};
