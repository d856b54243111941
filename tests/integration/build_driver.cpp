// build_driver.exe <disc 0-3> <drive root>
// Runs one whole build in the current folder with the real command interpreter, as the
// "Make CD" button does, and exits 0 on success and 1 on failure.
#include "build/build_sequence.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    const int discCount = static_cast<int>(std::size(kDiscCatalogue));
    const int disc = argc == 3 ? std::atoi(argv[1]) : -1;
    if (disc < 0 || disc >= discCount || std::string(argv[1]) != std::to_string(disc)) {
        std::fprintf(stderr, "usage: build_driver <disc 0-%d> <drive root>\n", discCount - 1);
        return 2;
    }
    const DiscEntry& entry = kDiscCatalogue[disc];
    BuildRequest request{entry.sortList, {}, argv[2]};
    std::copy(std::begin(entry.overlayCode), std::end(entry.overlayCode), request.overlayCode);
    return RunBuild(request).Built() ? 0 : 1;
}
