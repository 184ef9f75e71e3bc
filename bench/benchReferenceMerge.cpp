// The reference merge at camera resolution: a bracket (-4 to +4 stops) and a burst (all at
// -2 stops) of five 24-megapixel JPEG frames with EXIF tags (tools/BracketFiles), each merged
// into a Radiance file by the patch merge with ghost removal off (ghost threshold 1000 %,
// ghosting power 0, as the real program by position) and by the reference merge (the real
// program by name with its defaults). Each run is a separate process: wall time, processor
// time and peak memory are its own. Three
// runs of each; the summary gives medians and the ratios the targets are stated in
// (reference at most 2.5 times the patch merge's time, peak at most 1.5 GB).
#include "bench/MeasuredRun.hpp"
#include "tools/BracketFiles.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tl {

namespace {

namespace fs = std::filesystem;

constexpr int runs = 3;

struct Set {
    std::string name;
    std::vector<std::string> frames;
};

Set writeSet(const std::string& name, const fs::path& folder, std::vector<double> stops) {
    fs::create_directories(folder / "app");
    BracketPlan plan;
    plan.size = cv::Size(6000, 4000);
    plan.stops = std::move(stops);
    plan.instant = 2;
    return {name, writeBracket(folder.string(), plan)};
}

Figures patchMerge(const Set& set, const fs::path& folder) {
    std::vector<std::string> arguments{"1000", "0", "2", "0", "0", "0", "9", (folder / "progress").string(),
                                       (folder / "app").string(), (folder / "patch.hdr").string(), "32", set.frames[2],
                                       std::to_string(set.frames.size())};
    arguments.insert(arguments.end(), set.frames.begin(), set.frames.end());
    return runMeasured(TL_TESSALINE_BIN, arguments);
}

Figures referenceMerge(const Set& set, const fs::path& folder) {
    std::vector<std::string> arguments{"-o", (folder / "reference.hdr").string(), "--threads", "2", "--instant",
                                       set.frames[2]};
    arguments.insert(arguments.end(), set.frames.begin(), set.frames.end());
    return runMeasured(TL_TESSALINE_BIN, arguments);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Medians {
    double wall, cpu, peak;
};

Medians mediansOf(const std::vector<Figures>& figures) {
    std::vector<double> wall, cpu, peak;
    for (const Figures& f : figures) {
        wall.push_back(f.wall);
        cpu.push_back(f.cpu);
        peak.push_back(f.peakMiB);
    }
    return {median(wall), median(cpu), median(peak)};
}

} // namespace

} // namespace tl

using namespace tl;

int main() {
    const fs::path root = fs::temp_directory_path() / ("benchReferenceMerge-" + std::to_string(getpid()));
    const std::vector<Set> sets = {writeSet("bracket -4..+4", root / "bracket", {-4, -2, 0, 2, 4}),
                                   writeSet("burst at -2", root / "burst", {-2, -2, -2, -2, -2})};
    std::printf("%-16s %-10s %9s %9s %10s\n", "set (medians)", "merge", "wall s", "cpu s", "peak MiB");
    bool met = true;
    for (const Set& set : sets) {
        if (set.frames.empty()) return 1;
        const fs::path folder = fs::path(set.frames.front()).parent_path();
        std::vector<Figures> patch, reference;
        for (int run = 0; run < runs; ++run) {
            patch.push_back(patchMerge(set, folder));
            reference.push_back(referenceMerge(set, folder));
        }
        const bool ok = std::all_of(patch.begin(), patch.end(), [](const Figures& f) { return f.ok; }) &&
                        std::all_of(reference.begin(), reference.end(), [](const Figures& f) { return f.ok; });
        const Medians p = mediansOf(patch), r = mediansOf(reference);
        std::printf("%-16s %-10s %9.2f %9.2f %10.0f\n", set.name.c_str(), "patch", p.wall, p.cpu, p.peak);
        std::printf("%-16s %-10s %9.2f %9.2f %10.0f\n", set.name.c_str(), "reference", r.wall, r.cpu, r.peak);
        std::printf("%-16s reference / patch: %.2f (target at most 2.5); peak %.0f MiB (target at most 1536)%s\n",
                    set.name.c_str(), r.wall / p.wall, r.peak, ok ? "" : "; a run failed");
        met = met && ok && r.wall <= 2.5 * p.wall && r.peak <= 1536;
    }
    fs::remove_all(root);
    std::printf(met ? "every target met\n" : "a target missed\n");
    return met ? 0 : 1;
}
