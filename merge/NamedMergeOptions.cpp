#include "merge/NamedMergeOptions.hpp"

#include "cli/NamedOptions.hpp"
#include "cli/NumberText.hpp"
#include "cli/OptionChecks.hpp"
#include "common/FileExtension.hpp"
#include "common/SameFile.hpp"
#include "common/TaskGroup.hpp"
#include "output/WritableImageName.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <thread>

namespace tl {

namespace {

const char* const description =
    "Merges a burst or an exposure bracket of photographs of one scene into one\n"
    "high-dynamic-range image that shows the moment of the instant image: whatever\n"
    "moved between the photographs appears once, where the instant image has it.";

const char* const positionalUsage =
    "tessaline GHOST_THRESHOLD GHOSTING_POWER THREADS 0 ALIGN 0 TILE_SIZE PROGRESS_FILE APP_FOLDER OUTPUT BITS "
    "INSTANT_IMAGE N IMAGE...";

const char* const footer =
    "The instant image is the middle IMAGE unless --instant names one (of an even\n"
    "number, the earlier of the two in the middle). --threads is the number of cores\n"
    "unless given, and at most that: more threads buy nothing. --bits is 32 (float)\n"
    "for .hdr, .exr and .pfm files and 8 for any other unless given; --bits 32 with\n"
    ".tif gives a float TIFF.\n"
    "\n"
    "Methods: reference (the default) brings every photograph onto the instant\n"
    "image's scale - exposures from the EXIF tags checked against the images, or\n"
    "--ev; the camera's curve fitted to the photographs - and leaves out, pixel by\n"
    "pixel, whatever disagrees with the instant image by more than the noise; .hdr,\n"
    ".exr and .pfm files hold linear light on the instant image's scale, 8- and\n"
    "16-bit files a rendering through the camera's curve with the highlights rolled\n"
    "off. patch (chosen by --threshold, --ghosting-power or --tile too) is the front\n"
    "end's merge of bursts of equal exposures: an exposure that differs from the\n"
    "instant image is patched from its matching parts; the ghost test compares pixel\n"
    "values, so merge a bracket with it only at a high --threshold (when the EXIF\n"
    "tags show exposures more than half a stop apart it warns and names one).\n"
    "\n"
    "Named options or positions: a call that names no -o or --output and whose first\n"
    "argument is a number (and not a file) is read by position, as the front end\n"
    "calls the program (the second usage): every number must be one as a whole, N\n"
    "is the number of images that follow, GHOSTING_POWER below 0 asks for an\n"
    "automatic search radius, ALIGN 1 aligns, and reports go to\n"
    "APP_FOLDER/TessalineLog.txt. Any other call is read by the names above.\n"
    "\n"
    "Reports go to standard error, and to DIR/TessalineLog.txt with --log-dir.\n"
    "\n"
    "Exit status: 0 merged; 1 the merge failed, or a call by position cannot be\n"
    "read; 2 a usage error of the named options, or an output that is one of the\n"
    "images or that cannot be written (nothing is written).\n"
    "\n"
    "Examples:\n"
    "  $ tessaline -o merged.hdr burst/*.jpg\n"
    "  $ tessaline -o merged.tif --bits 16 --instant burst/frame03.jpg burst/*.jpg\n"
    "  $ tessaline -o preview.jpg --align --log-dir . burst/*.jpg\n"
    "  $ tessaline -o merged.hdr --masks . burst/*.jpg\n"
    "  $ tessaline -o patched.hdr --method patch --threshold 10 burst/*.jpg";

// The values as given, converted once every check has passed.
struct Given {
    std::string output;
    std::string instant;
    std::string threshold = "10";
    std::string ghostingPower = "2";
    bool align = false;
    std::string threads;
    std::string tile = "9";
    std::string bits;
    std::string progress;
    std::string logFolder;
    std::vector<std::string> images;
    std::string method;
    std::string stops;
    std::string masks;
    bool patchOptionGiven = false;  // --threshold, --ghosting-power or --tile
};

CLI::Validator ghostingPowerValue() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text == "auto") return "";
            const std::string problem = numberAtLeast(0)(text);
            return problem.empty() ? "" : "'" + text + "' is neither a percentage of 0 or more nor auto";
        },
        "");
}

CLI::Validator bitsValue() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            return text == "8" || text == "16" || text == "32" ? "" : "'" + text + "' is not 8, 16 or 32";
        },
        "");
}

// The instant image as it is spelt among the images when it is one of them, so that it
// is merged once; otherwise as given, or the middle image when none is given.
std::string instantPath(const Given& g) {
    if (g.instant.empty()) return g.images[(g.images.size() - 1) / 2];
    for (const std::string& image : g.images) {
        std::error_code error;
        if (std::filesystem::equivalent(image, g.instant, error)) return image;
    }
    return g.instant;
}

// The exposures of --ev, one decimal number per comma; nothing when one is not a number.
std::optional<std::vector<double>> stopsOf(const std::string& list) {
    std::vector<double> stops;
    std::size_t begin = 0;
    while (begin <= list.size()) {
        const std::size_t end = std::min(list.find(',', begin), list.size());
        const std::optional<double> value = decimalNumber(list.substr(begin, end - begin));
        if (!value || !std::isfinite(*value) || std::fabs(*value) > 64) return std::nullopt;
        stops.push_back(*value);
        begin = end + 1;
    }
    return stops;
}

// --method as asked, or by the options given: the patch merge's own options choose it,
// the reference merge is the default. The reference merge takes none of them, the patch
// merge neither --ev nor --masks.
std::string chosenMethod(const Given& g) {
    const std::string method = g.method.empty() ? (g.patchOptionGiven ? "patch" : "reference") : g.method;
    if (method == "reference" && g.patchOptionGiven)
        throw CLI::ValidationError("--method", "the reference merge takes no --threshold, --ghosting-power or --tile; "
                                               "they belong to --method patch");
    if (method == "patch" && (!g.stops.empty() || !g.masks.empty()))
        throw CLI::ValidationError("--method", "the patch merge takes no --ev or --masks; they belong to "
                                               "--method reference");
    return method;
}

void refuseStopsThatDoNotFit(const Given& g) {
    if (g.stops.empty()) return;
    const std::optional<std::vector<double>> stops = stopsOf(g.stops);
    if (!stops)
        throw CLI::ValidationError("--ev", "'" + g.stops + "' is not a comma-separated list of exposures in stops");
    if (stops->size() != g.images.size())
        throw CLI::ValidationError("--ev", "'" + g.stops + "' gives " + std::to_string(stops->size()) +
                                               " exposures for " + std::to_string(g.images.size()) + " images");
}

// A checked number as a float; a double beyond the float range becomes the largest float.
float asFloat(const std::string& text) { return clampedToFloat(*decimalNumber(text)); }

// A checked whole number as an int.
int asInt(const std::string& text) { return clampedToInt(*wholeNumber(text)); }

// A merge never replaces one of its own images: running the same call twice in the
// burst's folder would otherwise merge the first result in and replace it, and naming a
// photograph as the output would replace the photograph.
void refuseOutputAmongImages(const Given& g) {
    std::vector<std::string> images = g.images;
    if (!g.instant.empty()) images.push_back(g.instant);
    for (const std::string& image : images)
        if (samePath(g.output, image))
            throw CLI::ValidationError("--output", "'" + g.output + "' is one of the images ('" + image +
                                                       "'); name another file for the merged image");
}

// The output's format checked at the bits asked for, before a merge of minutes: a PNG
// holds no float samples, so --bits 32 with .png is refused, naming the bits it holds and
// the formats that hold 32.
void refuseDepthTheFormatCannotHold(const Given& g) {
    const int bits = g.bits.empty() ? defaultOutputBits(g.output) : asInt(g.bits);
    if (isWritableImageName(g.output, bits)) return;
    std::string held;
    for (const int other : {8, 16, 32})
        if (other != bits && isWritableImageName(g.output, other)) held += (held.empty() ? "" : " or ") + std::to_string(other);
    throw CLI::ValidationError("--bits", "'" + g.output + "' cannot hold " + std::to_string(bits) +
                                             " bits per channel" + (held.empty() ? "" : ", only " + held) + " (" +
                                             extensionList(writableExtensions(bits)) + " hold " +
                                             std::to_string(bits) + ")");
}

void addOptions(CLI::App& app, Given& g) {
    app.add_option("-o,--output", g.output, "the merged image; its extension picks the format")
        ->required()->type_name("FILE")->check(fileInExistingFolder())->check(writableImageName())
        ->check(writableTarget());
    app.add_option("--instant", g.instant, "the instant image (default: the middle IMAGE)")
        ->type_name("FILE")->check(existingFile());
    app.add_option("--method", g.method, "reference (the default): the instant image's moment,\n"
                                         "whatever disagrees with it left out; patch: every\n"
                                         "exposure patched from its matching parts")
        ->type_name("reference|patch")->check(CLI::IsMember({"reference", "patch"}));
    app.add_option("--ev", g.stops, "reference merge: each IMAGE's exposure in stops,\n"
                                    "comma-separated (overrides the EXIF tags)")
        ->type_name("LIST");
    app.add_option("--masks", g.masks, "reference merge: write what was left out of each\n"
                                       "IMAGE as DIR/mask-NAME.png")
        ->type_name("DIR")->check(existingFolder());
    app.add_option("--threshold", g.threshold, "difference, in % of the full scale, from which\n"
                                               "a pixel counts as moved (ghost threshold)")
        ->type_name("PERCENT")->capture_default_str()->check(numberAtLeast(0));
    app.add_option("--ghosting-power", g.ghostingPower, "search radius for moved patches, in % of the\n"
                                                        "larger side, or auto (estimated per exposure)")
        ->type_name("PERCENT|auto")->capture_default_str()->check(ghostingPowerValue());
    app.add_flag("--align", g.align, "align the exposures first (hand-held bursts)");
    app.add_option("--threads", g.threads, "worker threads (default: the number of cores)")
        ->type_name("N")->check(wholeNumberAtLeast(1));
    app.add_option("--tile", g.tile, "tile size of the ghost compensation")
        ->type_name("PIXELS")->capture_default_str()->check(wholeNumberAtLeast(1));
    app.add_option("--bits", g.bits, "bits per channel of the output: 8, 16 or 32")
        ->type_name("BITS")->check(bitsValue());
    app.add_option("--progress", g.progress, "keep FILE up to date with the merge's progress")
        ->type_name("FILE")->check(fileInExistingFolder());
    app.add_option("--log-dir", g.logFolder, "append reports to DIR/TessalineLog.txt too")
        ->type_name("DIR")->check(existingFolder());
    app.add_option("IMAGE", g.images, "the photographs to merge")->required()->type_name("")->check(existingFile());
    app.callback([&g, &app] {
        g.patchOptionGiven = app.count("--threshold") + app.count("--ghosting-power") + app.count("--tile") > 0;
        g.method = chosenMethod(g);
        refuseStopsThatDoNotFit(g);
        refuseOutputAmongImages(g);
        refuseDepthTheFormatCannotHold(g);
    });
}

MergeSettings settingsOf(const Given& g) {
    MergeSettings s;
    s.ghostThreshold = asFloat(g.threshold);
    s.ghostingPower = g.ghostingPower == "auto" ? -1.0f : asFloat(g.ghostingPower);
    s.threads = g.threads.empty() ? coreCount() : cappedThreadCount(asInt(g.threads));
    s.align = g.align;
    s.tileSize = asInt(g.tile);
    s.progressPath = g.progress;
    s.outputPath = g.output;
    s.outputBits = g.bits.empty() ? defaultOutputBits(g.output) : asInt(g.bits);
    s.instantPath = instantPath(g);
    s.exposurePaths = g.images;
    s.namedOptions = true;
    s.method = g.method == "patch" ? MergeMethod::patch : MergeMethod::reference;
    if (!g.stops.empty()) s.stops = stopsOf(g.stops);
    s.masksFolder = g.masks;
    return s;
}

} // namespace

std::variant<NamedMergeCall, int> parseNamedMergeCall(int argc, const char* const* argv, std::ostream& out,
                                                      std::ostream& err) {
    CLI::App app(description);
    prepareNamedOptions(app, "tessaline", positionalUsage, footer);
    Given given;
    addOptions(app, given);
    if (const std::optional<int> status = parseNamedOptions(app, argc, argv, out, err)) return *status;
    return NamedMergeCall{settingsOf(given), given.logFolder};
}

int defaultOutputBits(const std::string& path) {
    return hasExtension(path, ".hdr") || hasExtension(path, ".exr") || hasExtension(path, ".pfm") ? 32 : 8;
}

} // namespace tl
