// The program's modules: parts it loads when first used rather than at its start, because the
// libraries under them take a noticeable time to load (the office formats' exporters, the chart's
// drawing).
#pragma once

#include <QString>
#include <functional>

namespace vyz {

// Loads the module `fileName` from the first folder that has one that `accepts` (beside the
// program, the library folder of the prefix it is installed in, the compiled-in library folder)
// and returns what its function `entry` gives; the module stays loaded for the rest of the run.
// nullptr with the reasons in *error when none does.
const void* LoadProgramModule(const char* fileName, const char* entry,
                              const std::function<bool(const void*)>& accepts, QString* error);

} // namespace vyz
