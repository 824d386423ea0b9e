#include "platform/ini_file.h"

#include "platform/paths.h"
#include "platform/staged_file.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace vyz {
namespace {

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    const char* blanks = " \t\r\n";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

// Cuts a UTF-8 text to at most `chars` characters without splitting a character.
std::string cutChars(std::string_view s, int chars) {
    if (chars <= 0) return {};
    size_t i = 0;
    int n = 0;
    while (i < s.size() && n < chars) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
            ++i;
        ++n;
    }
    return std::string(s.substr(0, i));
}

// Reads the whole file into `out`. Returns 0, or the errno of the failure (ENOENT: no such file).
int readWhole(const std::string& file, std::string& out) {
    out.clear();
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    char buf[4096];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return error;
}

struct Line {
    std::string_view text; // without its line end
    size_t begin;          // offset of the line in the file
    size_t end;            // offset just past its line end
};

std::vector<Line> splitLines(const std::string& content) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t nl = content.find('\n', pos);
        size_t next = nl == std::string::npos ? content.size() : nl + 1;
        size_t textEnd = nl == std::string::npos ? content.size() : nl;
        if (textEnd > pos && content[textEnd - 1] == '\r') --textEnd;
        lines.push_back({std::string_view(content).substr(pos, textEnd - pos), pos, next});
        pos = next;
    }
    return lines;
}

// "[name]" -> name; nullopt for any other line.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

// "key=value" -> key; nullopt when the line has no '='.
std::optional<std::string_view> keyName(std::string_view line) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return trim(line.substr(0, eq));
}

} // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::optional<std::string>& defaultValue, int bufferSize,
                                    const std::string& file) {
    std::string content;
    std::optional<std::string> found;
    if (readWhole(file, content) == 0) {
        bool inSection = false;
        for (const Line& line : splitLines(content)) {
            if (auto name = sectionName(line.text)) {
                if (inSection) break; // only the first section of that name is searched
                inSection = equalNoCase(*name, section);
                continue;
            }
            if (!inSection) continue;
            if (auto k = keyName(line.text); k && equalNoCase(*k, key)) {
                std::string_view v = trim(line.text.substr(line.text.find('=') + 1));
                if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') &&
                    v.back() == v.front())
                    v = v.substr(1, v.size() - 2);
                found = std::string(v);
                break;
            }
        }
    }
    if (!found) found = std::string(trim(defaultValue.value_or(std::string())));
    return cutChars(*found, bufferSize - 1);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file) {
    // A file that exists but cannot be read is left alone: rewriting it from nothing would lose
    // every other setting.
    std::string content;
    if (const int error = readWhole(file, content); error != 0 && error != ENOENT) return false;
    const std::string eol = content.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::string entry = key + "=" + value + eol;

    const auto lines = splitLines(content);
    std::optional<size_t> sectionEnd; // offset where a new key of the section goes
    std::optional<Line> existing;
    bool inSection = false;
    for (const Line& line : lines) {
        if (auto name = sectionName(line.text)) {
            if (inSection) break;
            inSection = equalNoCase(*name, section);
            if (inSection) sectionEnd = line.end;
            continue;
        }
        if (!inSection) continue;
        if (!trim(line.text).empty()) sectionEnd = line.end;
        if (auto k = keyName(line.text); k && equalNoCase(*k, key)) {
            existing = line;
            break;
        }
    }

    std::string updated;
    if (existing) {
        updated = content.substr(0, existing->begin) + entry + content.substr(existing->end);
    } else if (sectionEnd) {
        std::string before = content.substr(0, *sectionEnd);
        if (!before.empty() && before.back() != '\n') before += eol;
        updated = before + entry + content.substr(*sectionEnd);
    } else {
        updated = content;
        if (!updated.empty() && updated.back() != '\n') updated += eol;
        updated += "[" + section + "]" + eol + entry;
    }

    // A key that already holds the value leaves the file as it is: nothing changes, and a start
    // does not wait for the disk once for every setting it confirms.
    if (updated == content && !content.empty()) return true;
    StagedFile staged(file);
    return staged.Write({reinterpret_cast<const uint8_t*>(updated.data()), updated.size()}) &&
           staged.Commit();
}

std::string IniRead(const std::string& section, const std::string& key,
                    const std::optional<std::string>& defaultValue, int bufferSize) {
    return GetPrivateProfileString(section, key, defaultValue, bufferSize, IniFileName());
}

bool IniWrite(const std::string& section, const std::string& key, const std::string& value) {
    return WritePrivateProfileString(section, key, value, IniFileName());
}

std::optional<int> ParseInt(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (*first == '+') ++first;
    int value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last) return std::nullopt;
    return value;
}

} // namespace vyz
