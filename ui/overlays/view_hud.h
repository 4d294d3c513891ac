#pragma once
// vh::ProgressHUD ("VHProgressHUD"): a HUD added to one view, covering it: a spinner (mode 0) or
// text only (mode 5) with a label and a detail label, in a dark box (ui/overlays/hud_look.h). Each call adds
// a new HUD; hideHUDForView hides the newest one on a view. Hiding takes the HUD off its view at once (the
// fade takes no time here) and runs its completion block once, whoever hides it first. Main thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/uikit/view.h"

namespace ui {
class Label;
}

namespace vh {

class ProgressHUD : public ui::View {
    RT_CLASS(ProgressHUD)
public:
    // The modes callers use: the indeterminate spinner and text only.
    static constexpr long kModeIndeterminate = 0;
    static constexpr long kModeText = 5;

    using Completion = std::function<void()>;

    // A new HUD over `view`'s bounds, added to it and shown; nil for a nil view.
    static rt::Ref<ProgressHUD> showHUDAddedTo(const rt::Ref<ui::View>& view, bool animated);
    // Hides and removes the newest HUD on `view`; whether there was one.
    static bool hideHUDForView(const rt::Ref<ui::View>& view, bool animated);
    // The newest HUD on `view`, or nil.
    static rt::Ref<ProgressHUD> HUDForView(const rt::Ref<ui::View>& view);
    // A text-only HUD on `parent` (empty label, the text as detail, margin 10, y offset 15) that
    // hides itself after `seconds`, is removed and then runs `completion` once.
    static rt::Ref<ProgressHUD> showAutoHideMessageWithTitle(const rt::Ref<ns::String>& text, double seconds,
                                                             const rt::Ref<ui::View>& parent, Completion completion);

    const rt::Ref<ns::String>& labelText() const { return labelText_; }
    void setLabelText(rt::Ref<ns::String> text);
    const rt::Ref<ns::String>& detailsLabelText() const { return detailsLabelText_; }
    void setDetailsLabelText(rt::Ref<ns::String> text);
    long mode() const { return mode_; }
    void setMode(long mode);
    bool taskInProgress() const { return taskInProgress_; }
    void setTaskInProgress(bool value);
    double margin() const { return margin_; }
    void setMargin(double margin);
    double yOffset() const { return yOffset_; }
    void setYOffset(double offset);
    bool removeFromSuperViewOnHide() const { return removeFromSuperViewOnHide_; }
    void setRemoveFromSuperViewOnHide(bool value);
    // Runs once, when the HUD hides.
    void setCompletionBlock(Completion completion) { completion_ = std::move(completion); }

    // Shows the HUD (it is visible from this call on).
    void show(bool animated);
    // Hides it: not shown, taken off its view when removeFromSuperViewOnHide, and the completion
    // block runs. A second hide does nothing.
    void hide(bool animated);
    // Hides it `delay` seconds from now on the main queue, unless it was hidden before.
    void hideAfterDelay(bool animated, double delay);

    bool isShown() const { return shown_; }
    const rt::Ref<ui::Label>& label() const { return label_; }
    const rt::Ref<ui::Label>& detailsLabel() const { return detailsLabel_; }

    // The box in the middle (moved by yOffset), the spinner's ring in mode 0, the texts under it.
    void layoutSubviews() override;
    // The box as last laid out, in the HUD's coordinates: what it hides of the view under it.
    const cg::Rect& box() const { return box_; }
    void drawRect(const cg::Rect& rect) override;

protected:
    explicit ProgressHUD(const cg::Rect& frame);

private:
    // Tells the HUD text observers (hud_texts.h) of each text this HUD shows for the first time.
    void announceTexts();

    rt::Ref<ns::String> labelText_, detailsLabelText_;
    std::vector<std::string> announced_;
    long mode_ = kModeIndeterminate;
    bool taskInProgress_ = false;
    double margin_ = 20;
    double yOffset_ = 0;
    bool removeFromSuperViewOnHide_ = false;
    bool shown_ = false, hidden_ = false;
    Completion completion_;
    rt::Ref<ui::Label> label_, detailsLabel_;
    cg::Rect box_;
};

} // namespace vh
