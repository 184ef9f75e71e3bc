#pragma once

#include "input/ImageLoader.hpp"

#include <opencv2/core.hpp>

#include <memory>
#include <string>

namespace tl {

// An ordered source of images, asked for one image at a time by its 0-based index.
class ImagesSequenceBase {
public:
    virtual ~ImagesSequenceBase() {}
    // The image at index. A file that cannot be opened or decoded throws a StepFailure
    // (Failure::Code::imageUnreadable); without memory to read it, std::bad_alloc or the
    // image library's out-of-memory cv::Exception is thrown: the caller cannot go on.
    virtual cv::Mat getImage(int index) = 0;
    // True asks the merge to stop taking images.
    virtual bool isStopped() = 0;
    // The file of the image at index, for reports; empty when the images come from no file.
    virtual std::string pathOf(int /*index*/) const { return ""; }
};

// The image source over a list of file paths, read at the given depth. Keeps only the
// paths: every getImage reads the file again.
class ImagesSequence : public ImagesSequenceBase {
public:
    ImagesSequence(const std::string* paths, int count, InputDepth depth = InputDepth::eightBit);
    cv::Mat getImage(int index) override;
    bool isStopped() override;
    std::string pathOf(int index) const override;

private:
    std::unique_ptr<std::string[]> paths;
    int count;
    InputDepth depth;
};

} // namespace tl
