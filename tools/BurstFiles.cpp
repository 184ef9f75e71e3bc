#include "tools/BurstFiles.hpp"

#include "tools/BurstScene.hpp"

#include <opencv2/imgcodecs.hpp>

#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>

extern char** environ;

namespace tl {

namespace {

std::string framePath(const std::string& folder, int number) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame%02d.jpg", number);
    return folder + name;
}

// The tags of a handheld burst: one camera, one second, 1/125 s at f/4 and ISO 1600.
std::vector<std::string> cameraTags() {
    return {"-q",           "-overwrite_original",   "-Make=Tessaline Test Optics",
            "-Model=Burst Generator", "-ExposureTime=1/125", "-FNumber=4",
            "-ISO=1600",    "-FocalLength=35",       "-DateTimeOriginal=2024:06:01 18:30:00",
            "-Orientation#=1"};
}

} // namespace

bool runExiftool(const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>("exiftool")};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, "exiftool", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> writeBurst(const std::string& folder, cv::Size size, int frameCount,
                                    bool tags) {
    const BurstScene scene(size, frameCount);
    std::vector<std::string> paths;
    for (int i = 0; i < frameCount; ++i) {
        paths.push_back(framePath(folder, i + 1));
        if (!cv::imwrite(paths.back(), scene.frame(i), {cv::IMWRITE_JPEG_QUALITY, 92})) return {};
    }
    if (tags) {
        std::vector<std::string> arguments = cameraTags();
        arguments.insert(arguments.end(), paths.begin(), paths.end());
        runExiftool(arguments);
    }
    return paths;
}

} // namespace tl
