#pragma once

#include "common/PrivateFolder.hpp"

#include <optional>
#include <string>

namespace tl {

// exiftool takes a -tagsfromfile name holding "%" followed by a format letter (as in
// "100%free") for a pattern made from the written file's name, and would copy the tags
// of some other file or of none. For such a source this object makes a symbolic link
// without "%" in a private temporary folder, keeping the source's extension, and
// removes it again when it goes. Other sources are used as they are.
class ExiftoolSourceLink {
public:
    explicit ExiftoolSourceLink(const std::string& source);
    ExiftoolSourceLink(const ExiftoolSourceLink&) = delete;
    ExiftoolSourceLink& operator=(const ExiftoolSourceLink&) = delete;

    // The name to give exiftool for the source.
    const std::string& path() const { return usable; }

private:
    std::string usable;
    std::optional<PrivateFolder> folder;
    std::optional<RemovedOnSignal> linkGuard;
};

} // namespace tl
