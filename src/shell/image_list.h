// The program's 15 menu and tool-bar images (16 x 16), drawn in code so that they stay crisp and
// need no image files, and the window icon.
#pragma once

#include <QIcon>
#include <QProxyStyle>

namespace vyz {

inline constexpr int ImageCount = 15;
// 0 open, 1 save, 2 new sheet, 3 preview, 4 print, 5 exit, 6 read the instrument, 7 copy,
// 8 paste, 9 settings, 10 help, 11 about, 12 display image, 13 Russian, 14 English.
QIcon ImageList1(int index);
QIcon ProgramIcon();
// The arrow of a menu or tool bar too narrow for all its commands.
QIcon MoreCommandsIcon(Qt::Orientation orientation);

// The application's style with the program's own arrow for commands that do not fit: the
// style's image files, read before the window could come up, would load Qt's image-format
// plugins for that one arrow at every start.
class ProgramStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override;
};

} // namespace vyz
