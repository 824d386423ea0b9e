// Where the program keeps its files. A portable copy (outside the system's install prefixes /usr,
// /usr/local and /opt, in a writable folder) keeps everything beside the program, as the
// instrument's Windows program always did; an installed program, whoever runs it (root too),
// keeps its settings under $XDG_CONFIG_HOME/vyz and its log and picture under $XDG_DATA_HOME/vyz.
#pragma once

#include <string>

namespace vyz {

// Decides the folders from the program's own folder; called once at start-up (tests call it with
// a folder of their own).
void InitProgramPaths(const std::string& programFolder);

// The program's folder, without a trailing slash.
const std::string& ProgramDir();
// The folder for files the program writes (the log, Screenshot.bmp): ProgramDir() for a portable
// copy.
const std::string& WritableDataDir();
const std::string& IniFileName();
const std::string& LogFileName();
std::string ScreenshotFileName();

// A shipped data file (help, report language files, demo archive) given relative to the program's
// folder, e.g. "Language/English.frc": beside the program first, then in the data folder of the
// prefix the program is installed in, then in the data folder compiled in. Returns the first
// existing path, or the path beside the program when none exists.
std::string DataFilePath(const std::string& relative);

// The installed data folder (for example /usr/share/vyz), compiled in.
std::string InstalledDataDir();

} // namespace vyz
