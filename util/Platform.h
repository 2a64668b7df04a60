#pragma once
// The few calls that differ between operating systems. Each platform has its
// own implementation file (Platform_linux.cpp, Platform_win.cpp).

#include <QString>

namespace Platform {

// The folder under which per-user application data lives: the roaming
// application-data folder on Windows, $XDG_DATA_HOME (or ~/.local/share) on
// Linux. Neither created nor checked.
QString appDataHome();

// How file names compare on this system: case-insensitively on Windows.
Qt::CaseSensitivity fileNameCaseSensitivity();

}
