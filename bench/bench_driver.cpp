// Runs one whole build through the real build core with the real command interpreter, timing
// each command and the program's own work between commands, then times each finishing writer
// again on its own, several times.
//
//   bench_driver.exe <disc 0-3> <drive root> <timings file> [writer repeats]
//
// Timings are tab-separated lines: kind, what, seconds. Kinds:
//   interpreter  an empty command ("rem"), timed before and after the build: one start
//   command      one of the build's command lines
//   ours         the build's own work before a command (its checks before md; listing the copy's
//                files and removing them from temp before each copy; the placeholder and the
//                staging check before the image tool; the finishing writers before the clean-up),
//                and the staging check and the image's volume size after the image tool, before
//                the first writer
//   build        RunBuild as a whole
//   writer       one finishing writer called alone, after the build

#include "build/build_sequence.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kInterpreterSamples = 5;

struct Timing {
    std::string kind;
    std::string what;
    double seconds;
};

std::vector<Timing> g_timings;
Clock::time_point g_lastCommandEnd;
bool g_building = false;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename Work>
double Time(Work work)
{
    const auto start = Clock::now();
    work();
    return SecondsSince(start);
}

// What the build did between the previous command and this one.
std::string OwnWorkBefore(const std::string& commandLine)
{
    if (commandLine.rfind("md ", 0) == 0)
        return "checks before the first command";
    if (commandLine.rfind("copy ", 0) == 0)
        return "listing and removals before the copy";
    if (commandLine.rfind(kImageTool, 0) == 0)
        return "placeholder and staging check";
    if (commandLine.rfind("del", 0) == 0)
        return "finishing writers";
    return "compose command";
}

}  // namespace

// The benchmark links with --wrap for WriteTrack2File, the build's first writer: what the build
// did between the image tool and this call is its staging check after the tool.
extern "C" bool __real__Z15WriteTrack2Filev();
extern "C" bool __wrap__Z15WriteTrack2Filev()
{
    if (g_building) {
        g_timings.push_back({"ours", "staging check after the image tool", SecondsSince(g_lastCommandEnd)});
        g_lastCommandEnd = Clock::now();
    }
    return __real__Z15WriteTrack2Filev();
}

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5 || argv[1][0] < '0' || argv[1][0] > '3' || argv[1][1] != '\0') {
        std::fprintf(stderr, "usage: bench_driver <disc 0-3> <drive root> <timings file> [writer repeats]\n");
        return 2;
    }
    const DiscEntry& disc = kDiscCatalogue[argv[1][0] - '0'];
    BuildRequest request{disc.sortList, {disc.overlayCode[0], disc.overlayCode[1], '\0'}, argv[2]};
    const int writerRepeats = argc == 5 ? std::atoi(argv[4]) : 5;

    // Sampled before and after the build, so that a busy moment on either side weighs less.
    const auto sampleInterpreterStarts = [&] {
        for (int i = 0; i < kInterpreterSamples; ++i)
            g_timings.push_back({"interpreter", "rem", Time([] { RunThroughCommandInterpreter("rem"); })});
    };
    sampleInterpreterStarts();

    const auto timedRunner = [&](const std::string& commandLine) {
        g_timings.push_back({"ours", OwnWorkBefore(commandLine), SecondsSince(g_lastCommandEnd)});
        int result = 0;
        g_timings.push_back({"command", commandLine, Time([&] { result = RunThroughCommandInterpreter(commandLine); })});
        g_lastCommandEnd = Clock::now();
        return result;
    };

    bool built = false;
    g_building = true;
    g_lastCommandEnd = Clock::now();
    g_timings.push_back({"build", "RunBuild", Time([&] { built = RunBuild(request, timedRunner, CurrentFolder()).Built(); })});
    g_building = false;

    sampleInterpreterStarts();

    // Alone, after the build: QX7.ISO is there for the boot area, and nothing else runs.
    for (int i = 0; built && i < writerRepeats; ++i) {
        g_timings.push_back({"writer", "WriteTrack2File", Time([] { WriteTrack2File(); })});
        // The build reads the boot area before its copies and stamps it after the tool: both timed here.
        g_timings.push_back({"writer", "StampBootArea", Time([] {
                                 BootArea bootArea;
                                 if (ReadBootArea(bootArea))
                                     StampBootArea(bootArea);
                             })});
        g_timings.push_back({"writer", "WriteCueSheet", Time([] { WriteCueSheet(); })});
    }

    std::FILE* out = std::fopen(argv[3], "w");
    if (out == nullptr)
        return 2;
    for (const auto& timing : g_timings)
        std::fprintf(out, "%s\t%s\t%.6f\n", timing.kind.c_str(), timing.what.c_str(), timing.seconds);
    std::fclose(out);
    return built ? 0 : 1;
}
