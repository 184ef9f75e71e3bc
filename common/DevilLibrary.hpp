
namespace tl {

#pragma once

// DevIL is initialised once per process, by a static object, before main runs. Code
// that calls DevIL calls requireDevil() first: that keeps the initialisation linked into
// every program that uses DevIL, and tells whether the library answered.
bool requireDevil();

// DevIL keeps a stack of error codes that only ilGetError empties; every failed load or
// save pushes onto it. Draining it after each use keeps one call from weighing on the next.
void clearDevilErrors();

} // namespace tl
