#include "cli/OptionChecks.hpp"

#include "output/WritableImageName.hpp"

#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace {

// The whole of text as a number, or nothing.
template <typename Number> std::optional<Number> wholeTextAs(const std::string& text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

// A validator without a description, so that the help text shows the value's name alone.
CLI::Validator quiet(std::function<std::string(std::string&)> check) {
    return CLI::Validator(std::move(check), "");
}

std::string folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

} // namespace

CLI::Validator numberAtLeast(double least) {
    return quiet([least](std::string& text) -> std::string {
        const auto value = wholeTextAs<double>(text);
        if (!value || !std::isfinite(*value)) return "'" + text + "' is not a number";
        if (!(*value >= least)) return "'" + text + "' is below " + CLI::detail::to_string(least);
        return "";
    });
}

CLI::Validator wholeNumberAtLeast(long long least) {
    return quiet([least](std::string& text) -> std::string {
        const auto value = wholeTextAs<long long>(text);
        if (!value) return "'" + text + "' is not a whole number";
        if (*value < least) return "'" + text + "' is below " + std::to_string(least);
        if (*value > INT_MAX) return "'" + text + "' is too large";
        return "";
    });
}

CLI::Validator existingFile() {
    return quiet([](std::string& path) -> std::string {
        std::error_code error;
        if (fs::is_directory(path, error)) return "'" + path + "' is a folder, not a file";
        if (!fs::exists(path, error)) return "no such file: '" + path + "'";
        return "";
    });
}

CLI::Validator existingFolder() {
    return quiet([](std::string& path) -> std::string {
        std::error_code error;
        return fs::is_directory(path, error) ? "" : "no such folder: '" + path + "'";
    });
}

CLI::Validator fileInExistingFolder() {
    return quiet([](std::string& path) -> std::string {
        std::error_code error;
        if (fs::is_directory(path, error)) return "'" + path + "' is a folder, not a file";
        const std::string folder = folderOf(path);
        return fs::is_directory(folder, error) ? "" : "no such folder: '" + folder + "'";
    });
}

CLI::Validator writableImageName() {
    return quiet([](std::string& path) -> std::string {
        if (isWritableImageName(path)) return "";
        return "no image writer knows the extension of '" + path + "' (.hdr, .exr, .tif, .png and .jpg are known)";
    });
}
