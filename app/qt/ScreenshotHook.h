#pragma once
// For scripts/screenshot.sh only: when DVO_SCREENSHOT_PNG names a file, the program searches the
// folder in DVO_SCREENSHOT_FOLDER (if set) once the window is up, writes a picture of the screen
// to that file and ends. Without the variable nothing changes.
namespace dvo::qt {

class QtMainView;

void InstallScreenshotHook(QtMainView& window);

} // namespace dvo::qt
