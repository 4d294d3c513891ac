#pragma once
// mp::VolumeIndicator: the system's volume indicator, the overlay the platform shows when the output
// volume changes. It shows on every change of the device's output volume (a key press, the music
// player's volume) unless it is hidden (`setHidden`, the private switch behind a screen's
// setVolumeHidden:) or a volume view is in a window (volume_view.h), as the platform leaves the
// indicator to such a view. Each showing is a device log line, "volume indicator 0.5625", which
// is how tests tell whether a press showed it. Any thread.

namespace mp {

class VolumeIndicator {
public:
    static void setHidden(bool hidden);
    static bool isHidden();
    // Whether a volume view is in a window now.
    static bool isSuppressed();
    // Starts watching the device's volume (once; the first call must come from the stepper's
    // thread). The music player and the volume view call it; a test may too.
    static void watch();

    // The volume views' count of themselves in windows.
    static void volumeViewEnteredWindow();
    static void volumeViewLeftWindow();
};

} // namespace mp
