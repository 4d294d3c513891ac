#include "ui/overlays/progress_hud.h"

#include <algorithm>
#include <cstdint>

#include "platform/foundation/dispatch.h"
#include "platform/runtime/class.h"
#include "platform/uikit/application.h"
#include "platform/uikit/color.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/label.h"
#include "platform/uikit/window.h"
#include "ui/overlays/hud_look.h"
#include "ui/overlays/hud_texts.h"

namespace sh {

// The shared HUD's view, over the whole window: the box its label sits in, with the figure of
// what it shows.
class ProgressHUDView : public ui::View {
    RT_CLASS(ProgressHUDView)
public:
    static constexpr double kMargin = 16;

    void place(ui::Label& label, HUDFigure figure) {
        figure_ = figure;
        box_ = placeHUDBox(bounds(), kMargin, 0, figure, {&label});
        setNeedsDisplay();
    }
    const cg::Rect& box() const { return box_; }
    void drawRect(const cg::Rect&) override {
        if (cg::Context* context = ui::graphicsGetCurrentContext())
            drawHUDBox(*context, box_, kMargin, figure_);
    }

protected:
    ProgressHUDView() = default;

private:
    cg::Rect box_;
    HUDFigure figure_ = HUDFigure::None;
};

RT_DEFINE_CLASS(ProgressHUDView, "SHProgressHUDView", ui::View)

RT_DEFINE_CLASS(ProgressHUD, "SHProgressHUD", rt::Object,
                rt::classMethod("showWithStatus:maskType:", &ProgressHUD::showWithStatus),
                rt::classMethod("showWithStatus:", +[](const rt::Ref<ns::String>& status) {
                    ProgressHUD::showWithStatus(status);
                }),
                rt::classMethod("showErrorWithStatus:", +[](const rt::Ref<ns::String>& status) {
                    ProgressHUD::showErrorWithStatus(status);
                }),
                rt::classMethod("setStatus:", &ProgressHUD::setStatus),
                rt::classMethod("dismiss", &ProgressHUD::dismiss),
                rt::classMethod("showSuccessWithStatus:maskType:", &ProgressHUD::showSuccessWithStatus),
                rt::classMethod("showErrorWithStatus:maskType:", &ProgressHUD::showErrorWithStatus))

namespace {

// The shared HUD's state. Every call moves the generation on, so work it scheduled earlier (the
// view joining the window, an auto-hide, the removal after a fade) finds itself superseded.
struct State {
    std::uint64_t generation = 0;
    bool visible = false;
    ProgressHUD::Kind kind = ProgressHUD::Kind::None;
    unsigned long mask = 0;
    rt::Ref<ns::String> status;
    rt::Ref<ProgressHUDView> view;
    rt::Ref<ui::Label> label;
    std::string announced; // the text told last in this showing
};

State& state() {
    static State s;
    return s;
}

// The box around the label, with the figure of the kind shown.
void placeBox(State& s) {
    static constexpr HUDFigure kFigures[] = {HUDFigure::None, HUDFigure::Ring, HUDFigure::Tick,
                                             HUDFigure::Cross};
    s.view->place(*s.label, kFigures[static_cast<int>(s.kind)]);
}

void showStatusText(State& s) {
    const bool empty = !s.status || s.status->length() == 0;
    s.label->setText(s.status);
    s.label->setHidden(empty);
    placeBox(s);
    if (empty || s.announced == s.status->utf8()) return;
    s.announced = s.status->utf8();
    announceHUDText(s.announced);
}

// Makes the view (once per showing), sets what it shows, and has it join the key window on the
// next main-queue turn unless a newer call comes first.
void show(ProgressHUD::Kind kind, const rt::Ref<ns::String>& status, unsigned long mask) {
    State& s = state();
    const std::uint64_t generation = ++s.generation;
    s.visible = true;
    s.kind = kind;
    s.mask = mask;
    s.status = status;
    s.announced.clear();
    if (!s.view) {
        s.view = rt::make<ProgressHUDView>();
        s.label = rt::make<ui::Label>();
        styleHUDLabel(*s.label, 16);
        s.view->addSubview(s.label);
    }
    s.view->setAlpha(1);
    // A black mask takes every touch on the window; otherwise touches pass through the HUD.
    s.view->setUserInteractionEnabled(mask == ProgressHUD::kMaskBlack);
    s.view->setBackgroundColor(mask == ProgressHUD::kMaskBlack ? ui::Color::colorWithWhite(0, 0.5)
                                                               : ui::Color::clearColor());
    showStatusText(s);
    dispatch::async(dispatch::Queue::main(), [generation] {
        State& now = state();
        if (now.generation != generation || !now.visible || !now.view) return;
        auto application = ui::Application::sharedApplication();
        auto window = application ? application->keyWindow() : nullptr;
        if (!window) return;
        now.view->setFrame(window->bounds());
        placeBox(now);
        if (now.view->superview() != window) window->addSubview(now.view);
    });
}

void hideAfterDelay(const rt::Ref<ns::String>& status) {
    const std::uint64_t generation = state().generation;
    dispatch::asyncAfter(dispatch::after(ProgressHUD::displayDurationForString(status)), dispatch::Queue::main(),
                         [generation] {
                             if (state().generation == generation) ProgressHUD::dismiss();
                         });
}

} // namespace

void ProgressHUD::showWithStatus(const rt::Ref<ns::String>& status, unsigned long maskType) {
    show(Kind::Progress, status, maskType);
}

void ProgressHUD::setStatus(const rt::Ref<ns::String>& status) {
    State& s = state();
    if (!s.visible) return;
    s.status = status;
    showStatusText(s);
}

void ProgressHUD::dismiss() {
    State& s = state();
    const std::uint64_t generation = ++s.generation;
    s.visible = false;
    s.kind = Kind::None;
    s.mask = 0;
    s.status = nullptr;
    if (!s.view) return;
    s.view->setAlpha(0);
    auto remove = [generation] {
        State& now = state();
        if (now.generation != generation || now.visible || !now.view) return;
        now.view->removeFromSuperview();
        now.view = nullptr;
        now.label = nullptr;
    };
    if (s.view->superview())
        ui::View::animateWithDuration(kFadeDuration, [] {}, [remove](bool) { remove(); });
    else
        remove();
}

void ProgressHUD::showSuccessWithStatus(const rt::Ref<ns::String>& status, unsigned long maskType) {
    show(Kind::Success, status, maskType);
    hideAfterDelay(status);
}

void ProgressHUD::showErrorWithStatus(const rt::Ref<ns::String>& status, unsigned long maskType) {
    show(Kind::Error, status, maskType);
    // The error haptic has no counterpart here.
    hideAfterDelay(status);
}

double ProgressHUD::displayDurationForString(const rt::Ref<ns::String>& status) {
    const double length = status ? static_cast<double>(status->length()) : 0;
    return std::clamp(length * 0.06 + 0.5, kMinimumDismissInterval, kMaximumDismissInterval);
}

bool ProgressHUD::isVisible() {
    return state().visible;
}

rt::Ref<ns::String> ProgressHUD::status() {
    return state().status;
}

ProgressHUD::Kind ProgressHUD::kind() {
    return state().kind;
}

unsigned long ProgressHUD::maskType() {
    return state().mask;
}

rt::Ref<ui::View> ProgressHUD::view() {
    return state().view;
}

cg::Rect ProgressHUD::coveredRect() {
    const State& s = state();
    if (!s.view) return cg::Rect::null();
    return s.mask == kMaskBlack ? s.view->bounds() : s.view->box();
}

} // namespace sh
