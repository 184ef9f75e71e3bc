#include "merge/MergeCommand.hpp"

#include "diag/ApplicationFolder.hpp"
#include "diag/Log.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/MergeEngine.hpp"
#include "merge/SaveMergedImage.hpp"

#include <cstdio>

int runMergeCommand(const MergeSettings& settings) {
    useApplicationFolder(settings.applicationFolder);
    // From here on everything a library prints lands in the log file.
    if (!std::freopen(logPath().c_str(), "a", stdout)) reportRedirectionFailure();

    const ImageList list = buildImageList(settings);
    const int count = static_cast<int>(list.paths.size());
    ImagesSequence sequence(list.paths.data(), count);
    MergeEngine engine;
    cv::Mat result;
    if (!engine.run(result, sequence, list.instantIndex, count, settings)) return 1;
    saveMergedImage(result, settings.outputPath, settings.outputBits,
                    list.paths[list.instantIndex]);
    return 0;
}
