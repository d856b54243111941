#pragma once

#include "build/build_names.h"
#include "build/build_result.h"
#include "build/disc_catalogue.h"
#include "build/finishing_files.h"

#include <functional>
#include <string>

struct BuildRequest {
    std::string sortList;
    char overlayCode[3];
    std::string driveRoot;  // such as D:\ ; empty when the chooser was accepted without a drive
};

// Runs one command line to completion and returns its exit code (-1: no interpreter started).
using CommandRunner = std::function<int(const std::string& commandLine)>;

// The runtime's system(): on Windows, %COMSPEC% /c LINE, waited for.
int RunThroughCommandInterpreter(const std::string& commandLine);

// The process's current folder in UTF-8; empty when it cannot tell.
std::string CurrentFolder();

// Stages the disc and its overlay in the staging folder, runs the image tool and writes the
// finishing files, all relative to the process's current folder, named workingFolder. Built
// when QX7.ISO, QX7Track2.bin and QX7.CUE were all made; otherwise the first failure met, and
// what became of the earlier image.
BuildResult RunBuild(BuildRequest request, const CommandRunner& runCommand, const std::string& workingFolder);
// The same with the runtime's system() in the current folder.
BuildResult RunBuild(BuildRequest request);

// A build refused before it began, for a failure its caller found, with what stood there of
// the earlier image.
BuildResult RefuseBuild(BuildFailure failure);
