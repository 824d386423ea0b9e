#include "shell/startup_settings.h"

#include "platform/ini_file.h"

#include <algorithm>
#include <string>

namespace vyz {
namespace {

// A number from the settings file; `fallback` when the text is not one.
int number(const std::string& section, const std::string& key, const char* def, int fallback) {
    return ParseInt(IniRead(section, key, std::string(def))).value_or(fallback);
}

} // namespace

SettingsLanguage ReadSettingsLanguage() {
    const std::string value = IniRead("Config", "LangId", std::nullopt);
    if (value.empty()) return SettingsLanguage::Missing;
    return value == "Rus" ? SettingsLanguage::Russian : SettingsLanguage::English;
}

long long CountStart() {
    const long long uses = ParseInt(IniRead("Config", "Uses", std::string("0"))).value_or(0) + 1LL;
    IniWrite("Config", "Uses", std::to_string(uses));
    return uses;
}

QRect ReadSettingsGeometry(const QSize& screen, const QSize& minimum,
                           const std::function<int()>& widthWhenMissing) {
    const int sw = screen.width(), sh = screen.height();
    int width = number("FormMain", "Width", "0", sw / 2);
    // A key never written (first start) gives the width asked for; it reads as neither default.
    if (widthWhenMissing && IniRead("FormMain", "Width", std::string("\x01")) == "\x01" &&
        IniRead("FormMain", "Width", std::string("\x02")) == "\x02")
        width = widthWhenMissing();
    width = std::min(std::max(width, minimum.width()), sw);
    int left = number("FormMain", "Left", "0", sw / 2);
    if (left < 0)
        left = 0;
    else if (left > sw - width)
        left = sw - width;
    int height = number("FormMain", "Height", "0", sh / 2);
    height = std::min(std::max(height, minimum.height()), sh);
    int top = number("FormMain", "Top", "0", sh / 2);
    if (top < 0)
        top = 0;
    else if (top > sh - height)
        top = sh - height;
    return QRect(left, top, width, height);
}

bool ReadSettingsMaximized() {
    const std::string value = IniRead("FormMain", "Maximized", std::string("0"));
    return !value.empty() && value[0] == '1';
}

bool ReadSettingsGPSMode() {
    const std::string value = IniRead("Config", "GPSMode", std::string("Y"));
    return !value.empty() && value[0] == 'Y';
}

int ReadStatusWindowHeight(int screenHeight, int minimum) {
    const int height = number("frmStatus", "Height", "400", screenHeight / 2);
    return std::max(std::min(height, screenHeight), minimum);
}

} // namespace vyz
