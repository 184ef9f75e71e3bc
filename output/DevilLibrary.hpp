#pragma once

// DevIL is initialised once per process, by a static object, before main runs. Code
// that calls DevIL calls requireDevil() first: that keeps the initialisation linked into
// every program that uses DevIL, and tells whether the library answered.
bool requireDevil();
