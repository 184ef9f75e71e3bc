#pragma once

#include <filesystem>
#include <string>

namespace tl {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return folder; }
    // folder / name as a string
    std::string file(const std::string& name) const;

private:
    std::filesystem::path folder;
};

// The whole content of a file as bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

} // namespace tl
