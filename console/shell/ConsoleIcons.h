// The console's icons, drawn rather than shipped as image files: the
// program icon 128 (a clock face), the alarm icon 185 (the same face on
// red) for the tray, and the toolbar's 16 x 16 glyphs.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kt64::console {

QIcon consoleIcon(int iconId);
// The clock face of consoleIcon painted at one size (the desktop menu's icon
// is made from it at build time).
QPixmap consoleIconPixmap(int iconId, int size);
// The toolbar's glyphs for the menu commands.
struct CommandIcons {
    QIcon open, save, exit, receive, send, chart, deviceView, scheduleViews, syncSettingsView, logView, about;
};
CommandIcons commandIcons();

}  // namespace kt64::console
