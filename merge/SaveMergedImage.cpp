#include "merge/SaveMergedImage.hpp"

#include "output/BitDepthConversion.hpp"
#include "output/ImageWriter.hpp"

bool saveMergedImage(cv::InputArray image, const std::string& outputPath, int bitsPerChannel,
                     const std::string& instantImagePath) {
    return writeImage(outputPath, convertBitDepth(image, bitsPerChannel), instantImagePath, "Tessaline");
}
