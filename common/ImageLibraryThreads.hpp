
namespace tl {

#pragma once

// OpenCV's parallel regions (cv::parallel_for_, inside most of its functions) run on the
// project's own threads instead of OpenCV's TBB arena. That arena is made on first use
// and made again by every cv::setNumThreads; when making it fails for want of memory, its
// once-only initialisation stays pending for good, and every later parallel region, and
// every later cv::setNumThreads, spins waiting for it without end. Our threads are started
// once, when the first region needs them; a region runs on the calling thread alone when
// none could be started, and nothing that can fail is left half done between regions.
// A forked child, which inherits none of the threads, runs its regions on its own thread.

// Hands OpenCV's parallel regions to the project's threads, at most one per core. Call it
// once, first thing in main, while the process has one thread.
void runImageLibraryOnOwnThreads();

// While it lives, OpenCV's parallel regions run on the thread that enters them (where the
// project's threads run them): for work that already fills the cores with threads of its
// own, where inner threads would only compete for them. Nothing is allocated.
class ImageLibraryHeldToCallers {
public:
    ImageLibraryHeldToCallers();
    ~ImageLibraryHeldToCallers();
    ImageLibraryHeldToCallers(const ImageLibraryHeldToCallers&) = delete;
    ImageLibraryHeldToCallers& operator=(const ImageLibraryHeldToCallers&) = delete;

private:
    int previous;
};

} // namespace tl
