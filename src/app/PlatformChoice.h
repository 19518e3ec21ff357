#pragma once

#include <functional>
#include <string>

namespace qfip {

// Which of Qt's window-system platforms the program asks for, from the environment
// (`variable` reads one; null when it is not set). Empty: leave the choice to Qt.
//
// The windows are placed by the program (centred, dialogs a third of the way down), which
// a Wayland client can't do: the compositor places its windows. So in a Wayland session
// with an X server at hand (XWayland, named by DISPLAY) the program runs as an X client,
// falling back to Wayland when that server can't be reached; without one it runs on
// Wayland itself. A platform the user named (QT_QPA_PLATFORM) is always kept.
std::string preferredPlatform(const std::function<const char*(const char*)>& variable);

}  // namespace qfip
