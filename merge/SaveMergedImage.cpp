#include "merge/SaveMergedImage.hpp"

#include "diag/Log.hpp"
#include "output/BitDepthConversion.hpp"
#include "output/ImageWriter.hpp"
#include "output/WritableImageName.hpp"

namespace {

// The bits per channel the file at outputPath can hold of the bits asked for.
int bitsToWrite(const std::string& outputPath, int bitsPerChannel) {
    const int held = bitsTheFormatHolds(outputPath, bitsPerChannel);
    if (held == bitsPerChannel) return bitsPerChannel;
    reportWarning("saveMergedImage", "The format of '" + outputPath +
                                       "' holds 8 bits per channel only: the merged image is written with 8 bits "
                                       "instead of 16.\n");
    return 8;
}

} // namespace

bool saveMergedImage(cv::InputArray image, const std::string& outputPath, int bitsPerChannel,
                     const std::string& instantImagePath, std::string* failure) {
    const int bits = image.empty() ? bitsPerChannel : bitsToWrite(outputPath, bitsPerChannel);
    return writeImage(outputPath, convertBitDepth(image, bits), instantImagePath, "Tessaline", failure);
}
