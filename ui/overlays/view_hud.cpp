#include "ui/overlays/view_hud.h"

#include <algorithm>

#include "platform/foundation/array.h"
#include "platform/foundation/dispatch.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/label.h"
#include "ui/overlays/hud_look.h"
#include "ui/overlays/hud_texts.h"

namespace vh {

namespace {

// The spinner's ring in the indeterminate mode; text alone otherwise.
sh::HUDFigure viewHUDFigure(long mode) {
    return mode == ProgressHUD::kModeIndeterminate ? sh::HUDFigure::Ring : sh::HUDFigure::None;
}

} // namespace

RT_DEFINE_CLASS(ProgressHUD, "VHProgressHUD", ui::View,
                rt::prop("labelText", &ProgressHUD::labelText, &ProgressHUD::setLabelText),
                rt::prop("detailsLabelText", &ProgressHUD::detailsLabelText, &ProgressHUD::setDetailsLabelText),
                rt::prop("mode", &ProgressHUD::mode, &ProgressHUD::setMode),
                rt::prop("taskInProgress", &ProgressHUD::taskInProgress, &ProgressHUD::setTaskInProgress),
                rt::prop("margin", &ProgressHUD::margin, &ProgressHUD::setMargin),
                rt::prop("yOffset", &ProgressHUD::yOffset, &ProgressHUD::setYOffset),
                rt::prop("removeFromSuperViewOnHide", &ProgressHUD::removeFromSuperViewOnHide,
                         &ProgressHUD::setRemoveFromSuperViewOnHide),
                rt::method("show:", &ProgressHUD::show),
                rt::method("hide:", &ProgressHUD::hide),
                rt::method("hide:afterDelay:", &ProgressHUD::hideAfterDelay),
                rt::classMethod("showHUDAddedTo:animated:", &ProgressHUD::showHUDAddedTo),
                rt::classMethod("hideHUDForView:animated:", &ProgressHUD::hideHUDForView),
                rt::classMethod("HUDForView:", &ProgressHUD::HUDForView))

ProgressHUD::ProgressHUD(const cg::Rect& frame)
    : ui::View(frame), label_(rt::make<ui::Label>()), detailsLabel_(rt::make<ui::Label>()) {
    sh::styleHUDLabel(*label_, 16);
    sh::styleHUDLabel(*detailsLabel_, 12);
    addSubview(label_);
    addSubview(detailsLabel_);
    // Over its view, the HUD takes the touches meant for what it covers.
    setUserInteractionEnabled(true);
}

rt::Ref<ProgressHUD> ProgressHUD::showHUDAddedTo(const rt::Ref<ui::View>& view, bool animated) {
    if (!view) return nullptr;
    auto hud = rt::make<ProgressHUD>(view->bounds());
    hud->setRemoveFromSuperViewOnHide(true);
    view->addSubview(hud);
    hud->show(animated);
    return hud;
}

rt::Ref<ProgressHUD> ProgressHUD::HUDForView(const rt::Ref<ui::View>& view) {
    if (!view) return nullptr;
    auto subviews = view->subviews();
    for (std::size_t i = subviews->count(); i-- > 0;)
        if (auto hud = rt::cast<ProgressHUD>(subviews->objectAtIndex(i))) return hud;
    return nullptr;
}

bool ProgressHUD::hideHUDForView(const rt::Ref<ui::View>& view, bool animated) {
    auto hud = HUDForView(view);
    if (!hud) return false;
    hud->setRemoveFromSuperViewOnHide(true);
    hud->hide(animated);
    return true;
}

rt::Ref<ProgressHUD> ProgressHUD::showAutoHideMessageWithTitle(const rt::Ref<ns::String>& text, double seconds,
                                                               const rt::Ref<ui::View>& parent,
                                                               Completion completion) {
    auto hud = showHUDAddedTo(parent, true);
    if (!hud) {
        // Nowhere to show it: the caller still hears the end, as it would after the message.
        if (completion) dispatch::asyncAfter(dispatch::after(seconds), dispatch::Queue::main(), std::move(completion));
        return nullptr;
    }
    hud->setMode(kModeText);
    hud->setLabelText(ns::String::make(""));
    hud->setDetailsLabelText(text);
    hud->setMargin(10);
    hud->setYOffset(15);
    hud->setCompletionBlock(std::move(completion));
    hud->hideAfterDelay(true, seconds);
    return hud;
}

void ProgressHUD::setLabelText(rt::Ref<ns::String> text) {
    rt::KeyChange change(this, "labelText");
    labelText_ = std::move(text);
    label_->setText(labelText_);
    setNeedsLayout();
    announceTexts();
}

void ProgressHUD::setDetailsLabelText(rt::Ref<ns::String> text) {
    rt::KeyChange change(this, "detailsLabelText");
    detailsLabelText_ = std::move(text);
    detailsLabel_->setText(detailsLabelText_);
    setNeedsLayout();
    announceTexts();
}

void ProgressHUD::setMode(long mode) {
    rt::KeyChange change(this, "mode");
    mode_ = mode;
    setNeedsLayout();
}

void ProgressHUD::setTaskInProgress(bool value) {
    rt::KeyChange change(this, "taskInProgress");
    taskInProgress_ = value;
}

void ProgressHUD::setMargin(double margin) {
    rt::KeyChange change(this, "margin");
    margin_ = margin;
    setNeedsLayout();
}

void ProgressHUD::setYOffset(double offset) {
    rt::KeyChange change(this, "yOffset");
    yOffset_ = offset;
    setNeedsLayout();
}

void ProgressHUD::layoutSubviews() {
    box_ = sh::placeHUDBox(bounds(), margin_, yOffset_, viewHUDFigure(mode_),
                           {label_.get(), detailsLabel_.get()});
    setNeedsDisplay();
}

void ProgressHUD::drawRect(const cg::Rect&) {
    if (cg::Context* context = ui::graphicsGetCurrentContext())
        sh::drawHUDBox(*context, box_, margin_, viewHUDFigure(mode_));
}

void ProgressHUD::setRemoveFromSuperViewOnHide(bool value) {
    rt::KeyChange change(this, "removeFromSuperViewOnHide");
    removeFromSuperViewOnHide_ = value;
}

void ProgressHUD::show(bool) {
    if (hidden_) return;
    shown_ = true;
    setAlpha(1);
    setHidden(false);
    announceTexts();
}

void ProgressHUD::announceTexts() {
    if (!shown_) return;
    for (const rt::Ref<ns::String>* text : {&labelText_, &detailsLabelText_}) {
        if (!*text || (*text)->length() == 0) continue;
        const std::string shown = (*text)->utf8();
        if (std::find(announced_.begin(), announced_.end(), shown) != announced_.end()) continue;
        announced_.push_back(shown);
        sh::announceHUDText(shown);
    }
}

void ProgressHUD::hide(bool) {
    if (hidden_) return;
    hidden_ = true;
    shown_ = false;
    taskInProgress_ = false;
    setAlpha(0);
    // Kept alive for the completion, which may let go of the last reference.
    rt::Ref<ProgressHUD> self = rt::retained(this);
    if (removeFromSuperViewOnHide_) removeFromSuperview();
    if (auto completion = std::move(completion_)) {
        completion_ = nullptr;
        completion();
    }
}

void ProgressHUD::hideAfterDelay(bool animated, double delay) {
    // The pending hide keeps the HUD, as a delayed perform keeps its target.
    rt::Ref<ProgressHUD> self = rt::retained(this);
    dispatch::asyncAfter(dispatch::after(delay), dispatch::Queue::main(), [self, animated] { self->hide(animated); });
}

} // namespace vh
