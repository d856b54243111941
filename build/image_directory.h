#pragma once

#include "build/file_search.h"

#include <string>
#include <vector>

// The files in the root directory of the image's ISO 9660 file system, by their names in the
// image ("MAIN.BIN;1") and sizes. False when the image has no primary volume descriptor or its
// root directory cannot be read whole. Only the descriptor and the directory are read.
bool ReadImageRootFiles(std::vector<FoundFile>& files);

// The first of the staged files that the image's files leave without an entry of its size; an
// empty name when each has one.
std::string FirstFileNotInImage(const std::vector<FoundFile>& staged, const std::vector<FoundFile>& image);
