#include "merge/MergeEngine.hpp"

MergeEngine::MergeEngine() = default;

MergeEngine::~MergeEngine() = default;
