#include "merge/WorkerLauncher.hpp"

bool startImageWorker(ImageWorkerFunction function, int bitsPerChannel, const cv::Mat& image,
                      MergeEngine* engine, pthread_t* handle) {
    return startWorker([=] { function(bitsPerChannel, image, engine); }, handle);
}
