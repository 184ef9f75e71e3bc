#include "extract/NamedExtractOptions.hpp"

#include "cli/NamedOptions.hpp"
#include "cli/NumberText.hpp"
#include "cli/OptionChecks.hpp"
#include "extract/FrameFileNames.hpp"

#include <CLI/CLI.hpp>

#include <cmath>
#include <filesystem>

namespace tl {

namespace {

const char* const description =
    "Cuts a window of frames out of a video into numbered image files, each carrying\n"
    "the video's tags.";

const char* const positionalUsage =
    "kadrimo UNUSED START END DENOMINATOR VIDEO FOLDER NAME EXTENSION LIST_FILE [APP_FOLDER]";

const char* const footer =
    "The window: --from and --to are fractions of the video's length, 0 its start\n"
    "and 1 its end; the frames from --from up to the one before --to are written, at\n"
    "least one. Frame files are FOLDER/NAME followed by the frame's number from 1\n"
    "(padded with zeros to the width of the window's frame count) and .FORMAT.\n"
    "FOLDER is created when missing.\n"
    "\n"
    "Named options or positions: a call that names no -o or --output and whose\n"
    "second to fourth arguments are whole numbers, or whose first is a number (and\n"
    "not a file), is read by position, as the front end calls the program (the\n"
    "second usage): it has 9 or 10 positions, the window runs from\n"
    "START/DENOMINATOR to END/DENOMINATOR of the video, and reports go to\n"
    "APP_FOLDER/TessalineLog.txt. Any other call is read by the names above.\n"
    "\n"
    "Reports go to standard error, and to DIR/TessalineLog.txt with --log-dir.\n"
    "\n"
    "Exit status: 0 frames written; 1 the video cannot be used, or a call by\n"
    "position cannot be read; 2 a usage error of the named options (nothing is\n"
    "written).\n"
    "\n"
    "Examples:\n"
    "  $ kadrimo clip.mp4 -o frames\n"
    "  $ kadrimo clip.mp4 -o frames --from 0.25 --to 0.5 --format png --list frames.txt";

struct Given {
    std::string video;
    std::string output;
    std::string from = "0";
    std::string to = "1";
    std::string name = "frame";
    std::string format = "jpg";
    std::string list;
    std::string logFolder;
};

// A checked fraction as a double.
double fractionOf(const std::string& text) { return *decimalNumber(text); }

CLI::Validator fraction() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const std::string problem = numberAtLeast(0)(text);
            if (problem.empty() && fractionOf(text) <= 1) return "";
            return "'" + text + "' is not a fraction from 0 to 1";
        },
        "");
}

CLI::Validator notAFile() {
    return CLI::Validator(
        [](std::string& path) -> std::string {
            std::error_code error;
            const bool file = std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error);
            return file ? "'" + path + "' is a file, not a folder" : "";
        },
        "");
}

CLI::Validator frameFormat() {
    return CLI::Validator(
        [](std::string& extension) -> std::string {
            return writableImageName()("frame." + extension).empty() ? "" : "no image writer knows the format '" + extension + "'";
        },
        "");
}

void addOptions(CLI::App& app, Given& g) {
    app.add_option("VIDEO", g.video, "the video to cut frames from")->required()->type_name("")->check(existingFile());
    app.add_option("-o,--output", g.output, "the folder for the frame files")
        ->required()->type_name("FOLDER")->check(notAFile());
    app.add_option("--from", g.from, "start of the window, a fraction of the video")
        ->type_name("FRACTION")->capture_default_str()->check(fraction());
    app.add_option("--to", g.to, "end of the window, a fraction of the video")
        ->type_name("FRACTION")->capture_default_str()->check(fraction());
    app.add_option("--name", g.name, "the frame files' name before their numbers")
        ->type_name("NAME")->capture_default_str()
        ->check(CLI::Validator([](std::string& name) { return baseNameProblem(name); }, ""));
    app.add_option("--format", g.format, "the frame files' format: jpg, png, tif, ...")
        ->type_name("EXT")->capture_default_str()->check(frameFormat());
    app.add_option("--list", g.list, "also list the frame files in FILE")
        ->type_name("FILE")->check(fileInExistingFolder());
    app.add_option("--log-dir", g.logFolder, "append reports to DIR/TessalineLog.txt too")
        ->type_name("DIR")->check(existingFolder());
    app.callback([&g] {
        if (fractionOf(g.from) > fractionOf(g.to))
            throw CLI::ValidationError("--from", "the window starts at " + g.from + ", after its end at " + g.to);
    });
}

ExtractArguments argumentsOf(const Given& g) {
    ExtractArguments a;
    a.startNumerator = windowNumerator(fractionOf(g.from));
    a.endNumerator = windowNumerator(fractionOf(g.to));
    a.denominator = windowDenominator;
    a.videoPath = g.video;
    a.outputFolder = g.output;
    a.baseName = g.name;
    a.extension = g.format;
    a.listPath = g.list;
    return a;
}

} // namespace

std::variant<NamedExtractCall, int> parseNamedExtractCall(int argc, const char* const* argv, std::ostream& out,
                                                          std::ostream& err) {
    CLI::App app(description);
    prepareNamedOptions(app, "kadrimo", positionalUsage, footer);
    Given given;
    addOptions(app, given);
    if (const std::optional<int> status = parseNamedOptions(app, argc, argv, out, err)) return *status;
    return NamedExtractCall{argumentsOf(given), given.logFolder};
}

int windowNumerator(double fraction) { return static_cast<int>(std::ceil(fraction * windowDenominator)); }

} // namespace tl
