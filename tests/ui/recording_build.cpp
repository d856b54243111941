// The build as the UI tests see it: records each request in the working folder and succeeds
// only when the test has laid the file build-succeeds there.
#include "build/build_sequence.h"

#include <cstdio>

bool RunBuild(BuildRequest request)
{
    if (std::FILE* record = std::fopen("build-requests.txt", "a")) {
        std::fprintf(record, "%s|%.2s|%s\n", request.sortList.c_str(), request.overlayCode, request.driveRoot.c_str());
        std::fclose(record);
    }
    if (std::FILE* success = std::fopen("build-succeeds", "r")) {
        std::fclose(success);
        return true;
    }
    return false;
}
