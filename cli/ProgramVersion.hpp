
namespace tl {

#pragma once

// The version of both programs, as the project declares it ("1.0.0").
const char* programVersion();

} // namespace tl
