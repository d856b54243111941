// mkisofs.exe for tests: runs Debian's genisoimage (the cdrkit mkisofs) with this program's
// arguments, waits for it, passes its output through and exits with its exit code.
//
// Wine starts a Unix program from CreateProcess but neither waits for it nor learns its exit
// code. So the shim starts genisoimage.sh, which lies beside it, and gives it a private folder
// in which the script leaves the tool's output and, last, a status file with the exit code.
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr DWORD kToolTimeoutMs = 120 * 1000;
constexpr DWORD kPollIntervalMs = 20;

using UnixNameFunction = char*(CDECL*)(LPCWSTR);

std::wstring Converted(UINT codePage, const std::string& text)
{
    std::wstring wide(MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0), L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(wide.size() - 1);
    return wide;
}

// Wine's own export; absent on Windows, where this shim has no use anyway.
std::string UnixPathOf(const std::string& windowsPath)
{
    static const auto unixName = reinterpret_cast<UnixNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr)
        return {};
    char* converted = unixName(Converted(CP_ACP, windowsPath).c_str());
    if (converted == nullptr)
        return {};
    // The Unix name comes in UTF-8 and goes into a command line in the ANSI code page, so that
    // a folder such as "KORVANTE 2 \xE4" reaches the script by its own name.
    const std::wstring unixWide = Converted(CP_UTF8, converted);
    HeapFree(GetProcessHeap(), 0, converted);
    std::string result(WideCharToMultiByte(CP_ACP, 0, unixWide.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_ACP, 0, unixWide.c_str(), -1, &result[0], static_cast<int>(result.size()), nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

// Windows command-line quoting, so that each argument reaches the script whole.
std::string Quoted(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

std::string FolderOfThisProgram()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string MakePrivateFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "mkisofs-shim-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(GetTickCount());
    return CreateDirectoryA(folder.c_str(), nullptr) ? folder : std::string();
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void RemovePrivateFolder(const std::string& folder)
{
    for (const char* name : {"\\status", "\\stdout", "\\stderr"})
        DeleteFileA((folder + name).c_str());
    RemoveDirectoryA(folder.c_str());
}

int Fail(const char* message)
{
    std::fprintf(stderr, "mkisofs shim: %s\n", message);
    return 127;
}

constexpr char kHoldImageFile[] = "data\\hold-image";
constexpr char kHoldingFlag[] = "--hold-image";
constexpr DWORD kHoldMs = 3000;

// As a scanner or a backup agent that opens an output just as the tool ends: a second copy of
// the shim holds the file data\hold-image names (QX7.ISO when it names none) without sharing
// for 3 s after this one has ended. This one ends only once the file is held.
void HandImageToAHolder()
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string held = ReadWhole(kHoldImageFile);
    if (held.empty())
        held = "QX7.ISO";
    std::string commandLine = Quoted(self) + " " + kHoldingFlag + " " + Quoted(held);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const DWORD started = GetTickCount();
    for (;;) {
        HANDLE probe = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE || GetTickCount() - started > kToolTimeoutMs)
            return;
        CloseHandle(probe);
        Sleep(kPollIntervalMs);
    }
}

int HoldImage(const char* name)
{
    HANDLE image = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (image == INVALID_HANDLE_VALUE)
        return 1;
    Sleep(kHoldMs);
    CloseHandle(image);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == kHoldingFlag)
        return HoldImage(argv[2]);

    const std::string script = FolderOfThisProgram() + "genisoimage.sh";
    if (GetFileAttributesA(script.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Fail("genisoimage.sh is missing beside mkisofs.exe");

    char currentFolder[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, currentFolder);
    const std::string unixCurrentFolder = UnixPathOf(currentFolder);
    const std::string privateFolder = MakePrivateFolder();
    const std::string unixPrivateFolder = privateFolder.empty() ? std::string() : UnixPathOf(privateFolder);
    if (unixCurrentFolder.empty() || unixPrivateFolder.empty())
        return Fail("cannot name the folders for the Unix side (not running under Wine?)");

    // The tool is a Unix program: it wants slashes where the caller wrote backslashes.
    std::string commandLine = Quoted(script) + " " + Quoted(unixCurrentFolder) + " " + Quoted(unixPrivateFolder);
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        for (char& c : argument)
            if (c == '\\')
                c = '/';
        commandLine += " " + Quoted(argument);
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    if (!CreateProcessA(script.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        RemovePrivateFolder(privateFolder);
        return Fail("cannot start genisoimage.sh");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    const std::string statusFile = privateFolder + "\\status";
    const DWORD started = GetTickCount();
    while (GetFileAttributesA(statusFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - started > kToolTimeoutMs) {
            RemovePrivateFolder(privateFolder);
            return Fail("genisoimage did not finish in time");
        }
        Sleep(kPollIntervalMs);
    }

    const std::string toolOutput = ReadWhole(privateFolder + "\\stdout");
    const std::string toolErrors = ReadWhole(privateFolder + "\\stderr");
    // Statuses such as 0xC000013A are written out as unsigned numbers.
    const int exitCode = static_cast<int>(std::strtoul(ReadWhole(statusFile).c_str(), nullptr, 10));
    RemovePrivateFolder(privateFolder);

    // The tool's bytes as they are, without a CR added before each line end.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::fwrite(toolOutput.data(), 1, toolOutput.size(), stdout);
    std::fwrite(toolErrors.data(), 1, toolErrors.size(), stderr);
    if (exitCode == 0 && GetFileAttributesA(kHoldImageFile) != INVALID_FILE_ATTRIBUTES)
        HandImageToAHolder();
    return exitCode;
}
