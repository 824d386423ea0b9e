// The program's 15 menu and tool-bar images (16 x 16), drawn in code so that they stay crisp and
// need no image files, and the window icon.
#pragma once

#include <QIcon>

namespace vyz {

inline constexpr int ImageCount = 15;
// 0 open, 1 save, 2 new sheet, 3 preview, 4 print, 5 exit, 6 read the instrument, 7 copy,
// 8 paste, 9 settings, 10 help, 11 about, 12 display image, 13 Russian, 14 English.
QIcon ImageList1(int index);
QIcon ProgramIcon();

} // namespace vyz
