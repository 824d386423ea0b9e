// The settings the start-up sequence reads (and repairs) from the settings file, each read at the
// moment it is needed, nothing cached. All comparisons are case-sensitive.
#pragma once

#include <QRect>
#include <QSize>
#include <functional>

namespace vyz {

enum class SettingsLanguage { Missing, Russian, English };
// Config/LangId: missing or empty -> Missing; exactly "Rus" -> Russian; anything else -> English.
SettingsLanguage ReadSettingsLanguage();

// Config/Uses: reads the count (not a number counts as 0), writes it back plus one, returns that.
long long CountStart();

// FormMain/Width, Left, Height, Top (in that order) with their repairs against `screen` and the
// window's `minimum` size; the returned rectangle is the outer bounds of the window. A Width key
// that was never written gives what `widthWhenMissing` returns (when given) before the limits
// apply.
QRect ReadSettingsGeometry(const QSize& screen, const QSize& minimum,
                           const std::function<int()>& widthWhenMissing = {});
// FormMain/Maximized: first character "1".
bool ReadSettingsMaximized();

// Config/GPSMode (default "Y"): the coordinates layout is on when the first character is "Y".
bool ReadSettingsGPSMode();

// frmStatus/Height (default "400"; not a number: half the screen height; at most the screen
// height, and at least `minimum` so that the window stays usable).
int ReadStatusWindowHeight(int screenHeight, int minimum);

} // namespace vyz
