#include "tools/BracketFiles.hpp"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

using namespace tl;

// makeBracket FOLDER STOPS [WIDTH HEIGHT]: writes a tagged bracket of the generated scene
// with a moving object into FOLDER (created when missing) - one JPEG frame per value of
// STOPS, a comma-separated list of exposures in stops ("-2,0,2"; equal values make a
// burst), the middle one the instant image - and the truth as FOLDER/truth.pfm, the
// scene's radiance on the instant frame's scale. Prints the frame paths.
int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::fputs("usage: makeBracket FOLDER STOPS [WIDTH HEIGHT]\n", stderr);
        return 1;
    }
    BracketPlan plan;
    plan.stops.clear();
    std::istringstream list(argv[2]);
    for (std::string value; std::getline(list, value, ',');) plan.stops.push_back(std::atof(value.c_str()));
    plan.instant = (static_cast<int>(plan.stops.size()) - 1) / 2;
    if (argc == 5) plan.size = cv::Size(std::atoi(argv[3]), std::atoi(argv[4]));
    if (plan.stops.empty() || plan.stops.size() > 20 || plan.size.width < 64 || plan.size.height < 64 ||
        plan.size.width > 20000 || plan.size.height > 20000) {
        std::fputs("makeBracket: 1 to 20 frames of 64 to 20000 pixels a side\n", stderr);
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(argv[1], error);
    const auto paths = writeBracket(argv[1], plan);
    if (paths.empty() || !cv::imwrite(std::string(argv[1]) + "/truth.pfm", bracketTruth(plan))) {
        std::fprintf(stderr, "makeBracket: cannot write the frames into %s\n", argv[1]);
        return 1;
    }
    for (const auto& path : paths) std::puts(path.c_str());
    return 0;
}
