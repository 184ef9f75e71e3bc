#include "merge/SaveMergedImage.hpp"

#include "common/ExceptionCause.hpp"
#include "output/BitDepthConversion.hpp"
#include "output/ImageWriter.hpp"
#include "output/WritableImageName.hpp"

namespace tl {

namespace {

// The bits per channel the file at outputPath can hold of the bits asked for.
int bitsToWrite(const std::string& outputPath, int bitsPerChannel, const PassedOver& passedOver) {
    const int held = bitsTheFormatHolds(outputPath, bitsPerChannel);
    if (held == bitsPerChannel) return bitsPerChannel;
    if (passedOver)
        passedOver({Failure::Code::narrowerFormat, outputPath,
                    "The format of '" + outputPath +
                        "' holds 8 bits per channel only: the merged image is written with 8 bits instead of 16.\n"});
    return 8;
}

} // namespace

void saveMergedImage(cv::InputArray image, const std::string& outputPath, int bitsPerChannel,
                     const std::string& instantImagePath, const PassedOver& passedOver) {
    const int bits = image.empty() ? bitsPerChannel : bitsToWrite(outputPath, bitsPerChannel, passedOver);
    // The converted copy is the last large allocation of a merge: without room for it
    // nothing is written, and the reason is the conversion's.
    cv::Mat converted;
    try {
        converted = convertBitDepth(image, bits);
    } catch (const std::exception& lack) {
        if (!isMemoryFailure(lack)) throw;
        throw StepFailure({Failure::Code::imageUnwritable, outputPath,
                           "there was not enough memory to convert the light image to " + std::to_string(bits) +
                               " bits per channel"});
    }
    writeImage(outputPath, converted, instantImagePath, "Tessaline", passedOver);
}

} // namespace tl
