#pragma once

#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace tl {

// A fault that a step of either program found: what kind of fault it is, the file it
// concerns (empty when none) and the sentence that tells it, as the report gives it (for
// an image that could not be written, and a reference merge that could not be made, the
// reason, which the report frames). The step raises it where it finds the fault, as a
// StepFailure when the step cannot go on, or hands it to whoever follows the step when it
// can; the command layer of each program alone turns it into a report, an exit status and
// whatever else follows from it.
struct Failure {
    enum class Code {
        instantImageUnreadable,  // the instant image could not be read (an error of the reader)
        instantImageMissing,     // the instant image came back empty
        imageUnreadable,         // another image could not be read
        exposureLeftOut,         // an exposure that cannot join the instant image is left out
        unusableSamples,         // samples of an image that no light can have count as 0
        alignmentFailed,
        searchRadiusFailed,      // the automatic search radius could not be estimated
        compensationFailed,
        lightImageMemory,        // no memory for the light sum or the light image
        exposuresUnequal,        // exposures that the ghost threshold takes for movement
        narrowerFormat,          // the output format holds fewer bits than were asked for
        imageUnwritable,         // an image file could not be written (detail: why, as a clause)
        tagsNotCopied,           // a written file lacks the tags it should carry
        elementTypeUnknown,      // the image library has no element type for the image's
        videoUnusable,           // the video cannot be opened, or gives no frame window
        videoBrokenOff,          // the video ended before the frame window did
        frameUnwritable,         // a frame file or the list file cannot be written
        frameTagsNotPrepared,    // the video's tags could not be prepared once for all frames
        referenceMergeFailed,    // the reference merge could not be made: nothing was written
        maskUnwritable,          // a mask of the reference merge could not be written
        exposureDisputed,        // the EXIF tags and the images disagree on an exposure
        exposureNote,            // not a fault: the exposure a frame was merged at, for the log
    };

    Code code;
    std::string path;
    std::string detail;
};

// The one exception a step throws for a fault that ends it.
class StepFailure : public std::exception {
public:
    explicit StepFailure(Failure failure) : carried(std::move(failure)) {}
    const Failure& failure() const noexcept { return carried; }
    const char* what() const noexcept override { return carried.detail.c_str(); }

private:
    Failure carried;
};

// Whoever hears of the faults a step goes past while it goes on; the command layer passes
// them on to its reports in the order they come.
using PassedOver = std::function<void(const Failure&)>;

} // namespace tl
