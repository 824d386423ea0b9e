#include "platform/paths.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <unistd.h>

#ifndef VYZ_INSTALLED_DATA_DIR
#define VYZ_INSTALLED_DATA_DIR "/usr/share/vyz"
#endif

namespace vyz {
namespace {

struct Paths {
    std::string programDir;
    std::string writableDir;
    std::string ini;
    std::string log;
};

Paths& paths() {
    static Paths p;
    return p;
}

std::string xdgDir(const char* var, const char* fallbackUnderHome) {
    if (const char* v = std::getenv(var); v && *v == '/') return std::string(v) + "/vyz";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + fallbackUnderHome + "/vyz";
}

// The system's install prefixes: a program under one of them is installed, whoever runs it, and
// never writes beside itself (root could, and would litter /usr/bin).
bool isInstalled(const std::string& folder) {
    for (const char* prefix : {"/usr", "/usr/local", "/opt"}) {
        const std::string_view p(prefix);
        if (folder.starts_with(p) && (folder.size() == p.size() || folder[p.size()] == '/'))
            return true;
    }
    return false;
}

} // namespace

void InitProgramPaths(const std::string& programFolder) {
    Paths& p = paths();
    p.programDir = programFolder;
    while (p.programDir.size() > 1 && p.programDir.back() == '/')
        p.programDir.pop_back();
    std::error_code ec;
    if (!isInstalled(p.programDir) && ::access(p.programDir.c_str(), W_OK) == 0) {
        p.writableDir = p.programDir;
        p.ini = p.programDir + "/Vyz.ini";
    } else {
        const std::string config = xdgDir("XDG_CONFIG_HOME", "/.config");
        p.writableDir = xdgDir("XDG_DATA_HOME", "/.local/share");
        std::filesystem::create_directories(config, ec);
        std::filesystem::create_directories(p.writableDir, ec);
        p.ini = config + "/Vyz.ini";
    }
    p.log = p.writableDir + "/LogUSB.log";
}

const std::string& ProgramDir() {
    return paths().programDir;
}
const std::string& WritableDataDir() {
    return paths().writableDir;
}
const std::string& IniFileName() {
    return paths().ini;
}
const std::string& LogFileName() {
    return paths().log;
}
std::string ScreenshotFileName() {
    return paths().writableDir + "/Screenshot.bmp";
}

std::string InstalledDataDir() {
    return VYZ_INSTALLED_DATA_DIR;
}

std::string DataFilePath(const std::string& relative) {
    // Beside the program (a portable or build-tree program), then the data folder of the prefix
    // the program is installed in (bin/../share/vyz, which also serves an unpacked package), then
    // the data folder compiled in.
    const std::string beside = paths().programDir + "/" + relative;
    for (const std::string& candidate : {beside, paths().programDir + "/../share/vyz/" + relative,
                                         InstalledDataDir() + "/" + relative}) {
        std::error_code ec;
        if (std::filesystem::exists(candidate, ec))
            return std::filesystem::weakly_canonical(candidate, ec).string();
    }
    return beside;
}

} // namespace vyz
