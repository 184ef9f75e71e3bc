#include "merge/WorkerLauncher.hpp"

#include <memory>

namespace {

struct ImageWorkerBlock {
    ImageWorkerFunction function;
    int bitsPerChannel;
    cv::Mat image;
    MergeEngine* engine;
};

struct WorkerBlock {
    WorkerFunction function;
    int value;
    MergeEngine* engine;
};

void* runImageWorker(void* argument) {
    std::unique_ptr<ImageWorkerBlock> block(static_cast<ImageWorkerBlock*>(argument));
    block->function(block->bitsPerChannel, block->image, block->engine);
    return nullptr;  // the block and its image reference go with the unique_ptr
}

void* runWorker(void* argument) {
    std::unique_ptr<WorkerBlock> block(static_cast<WorkerBlock*>(argument));
    block->function(block->value, block->engine);
    return nullptr;
}

// Creates a joinable thread for entry; the block is the thread's when this succeeds and
// stays with the caller (who frees it) when it fails.
template <typename Block>
bool startJoinable(void* (*entry)(void*), std::unique_ptr<Block>& block, pthread_t* handle) {
    *handle = pthread_t{};
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_JOINABLE);
    const bool started = pthread_create(handle, &attributes, entry, block.get()) == 0;
    pthread_attr_destroy(&attributes);
    if (started) block.release();
    return started;
}

} // namespace

bool startImageWorker(ImageWorkerFunction function, int bitsPerChannel, const cv::Mat& image,
                      MergeEngine* engine, pthread_t* handle) {
    auto block = std::make_unique<ImageWorkerBlock>(
        ImageWorkerBlock{function, bitsPerChannel, image, engine});
    return startJoinable(runImageWorker, block, handle);
}

bool startWorker(WorkerFunction function, int value, MergeEngine* engine, pthread_t* handle) {
    auto block = std::make_unique<WorkerBlock>(WorkerBlock{function, value, engine});
    return startJoinable(runWorker, block, handle);
}
