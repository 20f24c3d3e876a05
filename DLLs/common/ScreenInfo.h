#pragma once
// Size of the screen and of its work area from the X display named by DISPLAY. libX11 is loaded
// when first needed, so a library carrying these calls starts on machines without X; without a
// library or a display the targets stay as they were.
namespace common {

// Width and height of the default screen in pixels; both targets must be given.
void GetScreenSize(int* width, int* height);

// The work area the window manager announces in _NET_WORKAREA (desktop 0: the screen without
// panels and docks), else the whole screen.
void GetWorkAreaSize(int* width, int* height);

} // namespace common
