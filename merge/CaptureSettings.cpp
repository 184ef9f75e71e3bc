#include "merge/CaptureSettings.hpp"

#include "output/ExiftoolCommand.hpp"
#include "output/ExiftoolSession.hpp"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <utility>

namespace tl {

namespace {

// The first positive, finite number among the blank-separated words of field.
std::optional<double> firstPositive(const std::string& field) {
    std::istringstream words(field);
    std::string word;
    while (words >> word) {
        double value = 0;
        const char* end = word.data() + word.size();
        const auto [stop, error] = std::from_chars(word.data(), end, value);
        if (error == std::errc() && stop == end && value > 0 && std::isfinite(value)) return value;
    }
    return std::nullopt;
}

// No burst is exposed for less than a microsecond or for more than an hour: a tag that
// says so is broken, and would turn into a gap of hundreds of stops.
std::optional<double> plausibleExposureTime(const std::optional<double>& seconds) {
    if (seconds && *seconds >= 1e-6 && *seconds <= 3600) return seconds;
    return std::nullopt;
}

bool isReadableFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

CaptureSettings parseCaptureSettingsLine(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream columns(line);
    std::string field;
    while (std::getline(columns, field, '\t')) fields.push_back(field);
    CaptureSettings settings;
    if (fields.size() != 3) return settings;
    settings.exposureTime = plausibleExposureTime(firstPositive(fields[0]));
    settings.fNumber = firstPositive(fields[1]);
    settings.iso = firstPositive(fields[2]);
    return settings;
}

PendingCaptureSettings::PendingCaptureSettings(std::vector<std::string> files) : paths(std::move(files)) {
    // exiftool prints no line for a file it cannot find: only files that are there are
    // asked for, and an answer of any other length is not matched to them at all.
    std::vector<std::string> arguments = {"-T", "-n", "-q", "-q", "-ExposureTime", "-FNumber", "-ISO"};
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!isReadableFile(paths[i])) continue;
        asked.push_back(i);
        arguments.push_back(exiftoolFileArgument(paths[i]));
    }
    if (!asked.empty()) ticket = exiftoolSession().beginQuery(exiftoolProgram(), arguments);
}

std::vector<CaptureSettings> PendingCaptureSettings::collect() {
    std::vector<CaptureSettings> settings(paths.size());
    if (ticket == 0) return settings;
    const std::optional<std::string> answer = exiftoolSession().finishQuery(ticket);
    ticket = 0;
    if (!answer) return settings;
    std::vector<std::string> lines;
    std::istringstream text(*answer);
    std::string line;
    while (std::getline(text, line)) lines.push_back(line);
    if (lines.size() != asked.size()) return settings;
    for (std::size_t k = 0; k < asked.size(); ++k) settings[asked[k]] = parseCaptureSettingsLine(lines[k]);
    return settings;
}

} // namespace tl
