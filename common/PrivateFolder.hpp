#pragma once

#include "common/RemovedOnSignal.hpp"

#include <memory>
#include <string>

namespace tl {

// A folder of this process's own under the system's temporary folder, named
// "<prefix>-XXXXXX" with a unique tail, readable by this user only, and removed with
// everything in it when the object goes. A signal that ends the process removes it too,
// once the files that its user registered in it (RemovedOnSignal) are gone. Its path is
// empty when it could not be made.
class PrivateFolder {
public:
    explicit PrivateFolder(const std::string& prefix);
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const std::string& path() const { return folder; }

private:
    std::string folder;
    std::unique_ptr<RemovedOnSignal> guard;
};

} // namespace tl
