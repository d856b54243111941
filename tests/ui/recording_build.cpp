// The build as the UI tests see it: records each request, and the error mode it runs with, in
// the working folder and succeeds only when the test has laid the file build-succeeds there.
// Otherwise it fails as the real build would without a drive, and with a drive as on a disc
// file that no ANSI code page can name.
#include "build/build_sequence.h"

#include <windows.h>

#include <cstdio>

BuildResult RunBuild(BuildRequest request)
{
    if (std::FILE* record = std::fopen("build-requests.txt", "a")) {
        std::fprintf(record, "%s|%.2s|%s\n", request.sortList.c_str(), request.overlayCode, request.driveRoot.c_str());
        std::fclose(record);
    }
    // The mode that the build and every program it starts run with; reading it sets it.
    const UINT errorMode = SetErrorMode(0);
    SetErrorMode(errorMode);
    if (std::FILE* record = std::fopen("build-error-modes.txt", "a")) {
        std::fprintf(record, "%u\n", errorMode);
        std::fclose(record);
    }
    if (std::FILE* success = std::fopen("build-succeeds", "r")) {
        std::fclose(success);
        return {};
    }
    if (request.driveRoot.empty())
        return {{FailureCause::NoDriveChosen}, EarlierImage::None, {}};
    return {{FailureCause::DiscFileNotCopied, request.driveRoot + "\xE6\x97\xA5\xE6\x9C\xAC.TXT"},
            EarlierImage::Unchanged,
            {"QX7.ISO", "QX7Track2.bin", "QX7.CUE"}};
}

BuildResult RefuseBuild(BuildFailure failure)
{
    return {failure, EarlierImage::None, {}};
}
