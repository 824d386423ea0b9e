// The main window's table of text pairs (title, menus, actions, table and report titles). The
// report binding reads its titles from here too, so the rows live once, free of any window code.
#pragma once

#include "data/text_pair.h"

namespace vyz {

inline constexpr int LangTextCount = 50;
// Indexed by row; rows the program does not use are empty.
extern const TextPair LangTexts[LangTextCount];

// The application title in the current language: the caption of the main window and, as a rule,
// of every message box.
inline const char* AppTitle() {
    return LangTexts[0]();
}

} // namespace vyz
