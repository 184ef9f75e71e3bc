#include "cli/OptionChecks.hpp"

#include "cli/NumberText.hpp"
#include "common/PathRefusal.hpp"
#include "output/WritableImageName.hpp"

#include <climits>
#include <filesystem>

namespace tl {

namespace fs = std::filesystem;

namespace {

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
        const auto value = decimalNumber(text);
        if (!value) return "'" + text + "' is not a number";
        if (!(*value >= least)) return "'" + text + "' is below " + CLI::detail::to_string(least);
        return "";
    });
}

CLI::Validator wholeNumberAtLeast(long long least) {
    return quiet([least](std::string& text) -> std::string {
        const auto value = wholeNumber(text);
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

CLI::Validator writableTarget() {
    return quiet([](std::string& path) -> std::string {
        const std::string refusal = replacementRefusal(path, {});
        return refusal.empty() ? "" : "'" + path + "' cannot be written: " + refusal;
    });
}

CLI::Validator writableImageName() {
    return quiet([](std::string& path) -> std::string {
        if (isWritableImageName(path)) return "";
        return "no image writer takes the extension of '" + path + "' (" + extensionList(writableExtensions(8)) +
               " do)";
    });
}

std::string extensionList(const std::vector<std::string>& extensions) {
    std::string list;
    for (const std::string& extension : extensions) list += (list.empty() ? "" : " ") + extension;
    return list;
}

} // namespace tl
