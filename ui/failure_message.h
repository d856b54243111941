#pragma once

#include "build/build_result.h"

#include <string>

// The text of the box for a build that made no image, from the string table: the headline, the
// reason with the file, folder or drive it names, and what became of the earlier image.
std::string FailureMessage(const BuildResult& result);
