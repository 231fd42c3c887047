#pragma once

namespace desktop {

class MainWindow;

// The style and font of the host's windows: compact, as business screens
// laid out in pixels expect.
void applyHostLook();

// Signs the session on: connects the shared database the session names,
// fills the branch name from it when none was given, and registers the
// host's own screens. A failure is shown to the operator; the window stays.
void connectSession(MainWindow& window);

}  // namespace desktop
