#pragma once
// sh::ProgressHUD ("SHProgressHUD"): the one shared HUD over the key window, driven by class
// methods on the main thread. Its view joins the window on the next main-queue turn, never inside
// the call, and a dismissal or a newer call made before then wins. Each call replaces what is
// shown and cancels a pending auto-hide. Mask type 3 makes the HUD's view take every tap on the
// window; a mask type holds for its own call only. Success and error hide themselves after
// 0.06 s a character plus 0.5 s, kept within [5.0, 10.0] s.

#include <string_view>

#include "platform/foundation/string.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace ui {
class View;
}

namespace sh {

class ProgressHUD : public rt::Object {
    RT_CLASS(ProgressHUD)
public:
    enum class Kind { None, Progress, Success, Error };
    // The mask type that dims the window and takes its touches.
    static constexpr unsigned long kMaskBlack = 3;
    static constexpr double kMinimumDismissInterval = 5.0;
    static constexpr double kMaximumDismissInterval = 10.0;
    // How long dismissal fades the view before removing it.
    static constexpr double kFadeDuration = 0.15;

    static void showWithStatus(const rt::Ref<ns::String>& status, unsigned long maskType = 0);
    // Replaces the text of a HUD on show; a hidden HUD stays hidden. An empty text hides the label.
    static void setStatus(const rt::Ref<ns::String>& status);
    // Hides at once and removes the view after the fade; harmless when nothing shows.
    static void dismiss();
    static void showSuccessWithStatus(const rt::Ref<ns::String>& status, unsigned long maskType = 0);
    static void showErrorWithStatus(const rt::Ref<ns::String>& status, unsigned long maskType = 0);
    // 0.06 s a character plus 0.5 s, within the minimum and maximum dismiss intervals.
    static double displayDurationForString(const rt::Ref<ns::String>& status);

    // What is shown: for the tests and for callers that attach to the HUD's view.
    static bool isVisible();
    static rt::Ref<ns::String> status();
    static Kind kind();
    static unsigned long maskType();
    // The HUD's full-window view while it exists (also while it waits to join or fades out).
    static rt::Ref<ui::View> view();
    // The part of that view that hides what lies under it, in its coordinates: its whole bounds
    // under the black mask (which dims the window), else the box around the status.
    static cg::Rect coveredRect();

protected:
    ProgressHUD() = default;
};

} // namespace sh
