// The settings file, with the semantics of the Windows private-profile calls the program was
// designed around: every read goes to the file, every write changes one key and keeps the rest of
// the file as it was. Nothing is cached.
#pragma once

#include <optional>
#include <string>

namespace vyz {

// Reads section/key from `file`. Section and key names match without regard to ASCII case; the
// value has its surrounding blanks and one pair of surrounding quotes removed. A key that is
// absent yields `defaultValue` (empty when none is given). The result is cut to bufferSize - 1
// characters, as a read into a buffer of that size would be.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::optional<std::string>& defaultValue, int bufferSize,
                                    const std::string& file);

// Sets section/key to value in `file`, creating the section, the key or the file as needed. The
// file is replaced atomically through StagedFile, so a failed write never leaves a half-written
// settings file; a symbolic link is written through (the file it names is replaced). A file that
// exists but cannot be read, or is read-only, stays as it is. Returns false when the file cannot
// be written; callers ignore that, as the program always has.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file);

// The same against IniFileName, the program's own settings file. A read buffer is 10 characters
// (9 usable) unless a caller says otherwise.
std::string IniRead(const std::string& section, const std::string& key,
                    const std::optional<std::string>& defaultValue, int bufferSize = 10);
bool IniWrite(const std::string& section, const std::string& key, const std::string& value);

// Whole-text parse of a number as the program does it: optional sign and decimal digits, nothing
// else (no blanks). std::nullopt when the text is not such a number or out of int range.
std::optional<int> ParseInt(const std::string& text);

} // namespace vyz
