#include "tester/driver.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "platform/foundation/date.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/set.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/sim/run_text.h"
#include "platform/sim/stepper.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/button.h"
#include "platform/uikit/control.h"
#include "platform/uikit/date_picker.h"
#include "platform/uikit/event.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_picker_controller.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/segmented_control.h"
#include "platform/uikit/slider.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/table_view_cell.h"
#include "platform/uikit/tap_gesture_recognizer.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/window.h"

namespace sim {

namespace {

// Each code point of UTF-8 text.
std::vector<std::string_view> characters(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = 1;
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
            ++n;
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

// From the root, through presentations and navigation tops, to the controller on screen; also
// the last navigation controller passed on the way whose top that is.
rt::Ref<ui::ViewController> onScreen(const rt::Ref<ui::ViewController>& root,
                                     rt::Ref<ui::NavigationController>* navigation) {
    rt::Ref<ui::ViewController> current = root;
    while (current) {
        if (rt::Ref<ui::ViewController> presented = current->presentedViewController()) {
            if (navigation) *navigation = nullptr;
            current = presented;
        } else if (auto stack = rt::cast<ui::NavigationController>(current);
                   stack && stack->topViewController()) {
            if (navigation) *navigation = stack;
            current = stack->topViewController();
        } else {
            break;
        }
    }
    return current;
}

} // namespace

// ---- The driver's life -------------------------------------------------------------------------

Driver::Driver(rt::Ref<ui::Application> app, Reporter report)
    : app_(std::move(app)), report_(std::move(report)) {
    previousExitHandler_ = ui::Application::setExitHandler([this](int status) {
        exitStatus_ = status;
        halted_ = true;
        haltStepping();
    });
}

Driver::~Driver() {
    ui::Application::setExitHandler(std::move(previousExitHandler_));
    if (halted_) resumeStepping();
}

void Driver::report(const std::string& failure) const {
    if (report_) report_(failure);
}

bool Driver::running() const {
    if (!exitStatus_) return true;
    report("the application has exited (status " + std::to_string(*exitStatus_) +
           "): nothing more can be done to it");
    return false;
}

void Driver::runUntilIdle() {
    std::string failure;
    if (!drainMainQueue(kDrainPassLimit, &failure)) report(failure);
}

// ---- Lifecycle ----------------------------------------------------------------------------------

bool Driver::launch(const rt::Ref<ns::Dictionary>& options) {
    if (!running()) return false;
    const bool answer = app_->launch(options);
    runUntilIdle();
    return answer;
}

bool Driver::openURL(std::string_view text) {
    if (!running()) return false;
    rt::Ref<ns::URL> url = ns::URL::URLWithString(text);
    if (!url) {
        report("not a URL: " + maskedHandedOverURL(text));
        return false;
    }
    const bool answer = app_->receiveURL(url);
    runUntilIdle();
    return answer;
}

void Driver::enterBackground() {
    if (!running()) return;
    app_->enterBackground();
    runUntilIdle();
}

void Driver::enterForeground() {
    if (!running()) return;
    app_->enterForeground();
    runUntilIdle();
}

bool Driver::fireBackgroundTaskExpiry(std::uint64_t identifier) {
    if (!running()) return false;
    const bool fired = app_->expireBackgroundTask(identifier);
    runUntilIdle();
    return fired;
}

// ---- Touches and typing -------------------------------------------------------------------------

namespace {

// Why the view, or a view around it, is not shown ("hidden", "transparent") or, for a finger
// (`touches`), takes no touches; empty when none of that is so.
std::string notShownReason(const ui::View& view, bool touches) {
    for (const ui::View* v = &view; v; v = v->superview().get()) {
        const char* reason = v->isHidden()                               ? "hidden"
                             : v->alpha() < 0.01                         ? "transparent"
                             : touches && !v->isUserInteractionEnabled() ? "not taking touches"
                                                                         : nullptr;
        if (reason) return v == &view ? reason : std::string(reason) + " (an enclosing view)";
    }
    return {};
}

// The part of the view that shows in the window (its coordinates): within every view above it
// that clips, and within the window. Empty, `part` set, when some of it shows; else why not. A view
// without width or height shows where its place lies within them.
std::string partShown(const ui::View& view, const ui::Window& window, cg::Rect* part) {
    const cg::Rect own = view.convertRectToView(view.bounds(), nullptr);
    const auto shows = [&](const cg::Rect& rect) {
        return !rect.isNull() && (!rect.isEmpty() || own.isEmpty());
    };
    cg::Rect rect = own;
    for (rt::Ref<ui::View> above = view.superview(); above && above.get() != &window;
         above = above->superview()) {
        if (!above->clipsToBounds()) continue;
        rect = rect.intersection(above->convertRectToView(above->bounds(), nullptr));
        if (!shows(rect)) return "outside the bounds of its " + std::string(above->getClass().name());
    }
    rect = rect.intersection(window.bounds());
    if (!shows(rect)) return "off screen";
    *part = rect;
    return {};
}

// The views from the root of the view's tree down to it.
std::vector<const ui::View*> pathTo(const ui::View& view) {
    std::vector<const ui::View*> path;
    for (const ui::View* v = &view; v; v = v->superview().get())
        path.push_back(v);
    std::reverse(path.begin(), path.end());
    return path;
}

// Whether `over` is drawn after `under` in the tree they share (neither holding the other).
bool drawnOver(const ui::View& over, const ui::View& under) {
    const std::vector<const ui::View*> a = pathTo(over), b = pathTo(under);
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    if (i == 0 || i == a.size() || i == b.size()) return false;
    const std::vector<rt::Ref<ui::View>>& siblings = a[i - 1]->subviewList();
    const auto at = [&](const ui::View* v) {
        return std::find_if(siblings.begin(), siblings.end(), [v](const auto& s) { return s.get() == v; });
    };
    return at(a[i]) > at(b[i]);
}

} // namespace

std::string Driver::untouchableReason(const ui::View& view) {
    return notShownReason(view, true);
}

std::string Driver::unshownReason(const ui::View& view) {
    return notShownReason(view, false);
}

std::string Driver::dialogText(const ui::ButtonDialog& dialog, std::size_t limit) {
    const auto quoted = [limit](const rt::Ref<ns::String>& text) {
        return "\"" + printableCut(text ? text->utf8() : std::string(), limit) + "\"";
    };
    if (auto alert = rt::cast<ui::AlertView>(rt::Id(rt::retained(&dialog))))
        return "alert " + quoted(alert->title()) + ": " + quoted(alert->message());
    return "sheet " + quoted(dialog.title());
}

std::string Driver::coverAt(cg::Point point, const ui::View* target) const {
    // A dialog dims the whole screen under it and takes every touch there.
    const std::vector<rt::Ref<ui::ButtonDialog>> dialogs = ui::ButtonDialog::presented();
    if (!dialogs.empty() && dialogs.back().get() != target)
        return "covered by " + dialogText(*dialogs.back(), kPrintedTextLimit);
    rt::Ref<ui::Window> window = app_->keyWindow();
    if (!dialogs.empty() || !target || !window) return {};
    rt::Ref<ui::View> hit = window->hitTest(point, nullptr);
    for (rt::Ref<ui::View> v = hit; v; v = v->superview())
        if (v.get() == target) return {};
    if (!hit) return "out of reach";
    for (const HUDShown& hud : huds())
        for (rt::Ref<ui::View> v = hit; v; v = v->superview())
            if (v == hud.view) return "covered by " + hudName(hud);
    return "covered by " + std::string(hit->getClass().name());
}

std::string Driver::hudName(const HUDShown& hud) {
    std::string name = "HUD";
    for (const std::string& text : hud.texts)
        name += " \"" + printableCut(text) + "\"";
    return name;
}

// ---- What a person sees ----------------------------------------------------------------------

std::string Driver::unseenReason(const ui::View& view) const {
    const std::vector<rt::Ref<ui::ButtonDialog>> dialogs = ui::ButtonDialog::presented();
    const auto covered = [&] { return "covered by " + dialogText(*dialogs.back(), kPrintedTextLimit); };
    if (auto dialog = rt::cast<ui::ButtonDialog>(rt::Id(rt::retained(&view)))) {
        const auto at = std::find(dialogs.begin(), dialogs.end(), dialog);
        if (at == dialogs.end() || !dialog->isVisible()) return "not shown";
        return at + 1 == dialogs.end() ? std::string() : covered();
    }
    if (std::string reason = unshownReason(view); !reason.empty()) return reason;
    rt::Ref<ui::Window> window = app_->keyWindow();
    if (!window || view.window() != window) return "not on screen";
    cg::Rect part;
    if (std::string reason = partShown(view, *window, &part); !reason.empty()) return reason;
    if (!dialogs.empty()) return covered();
    const cg::Point centre{part.midX(), part.midY()};
    for (const HUDShown& hud : huds())
        if (hud.view && hud.view->window() == window && unshownReason(*hud.view).empty() &&
            drawnOver(*hud.view, view) &&
            hud.view->convertRectToView(hud.covers.value_or(hud.view->bounds()), nullptr).contains(centre))
            return "covered by " + hudName(hud);
    return {};
}

std::vector<std::string> Driver::seenLabelTexts(const ui::View& view) const {
    std::vector<std::string> texts;
    const std::function<void(const ui::View&)> look = [&](const ui::View& v) {
        if (v.isHidden() || v.alpha() < 0.01) return; // nothing inside shows either
        if (auto label = rt::cast<ui::Label>(rt::Id(rt::retained(&v)));
            label && label->text() && label->text()->length() > 0 && unseenReason(v).empty())
            texts.push_back(label->text()->utf8());
        for (const auto& subview : v.subviewList())
            look(*subview);
    };
    look(view);
    return texts;
}

std::vector<std::string> Driver::seenHUDTexts(std::string* why) const {
    std::vector<std::string> texts;
    const std::vector<HUDShown> shown = huds();
    // The HUDs lie over the screen and under the dialogs.
    const std::vector<rt::Ref<ui::ButtonDialog>> dialogs = ui::ButtonDialog::presented();
    if (!shown.empty() && dialogs.empty())
        for (const HUDShown& hud : shown)
            texts.insert(texts.end(), hud.texts.begin(), hud.texts.end());
    if (why && texts.empty())
        *why = shown.empty() ? "no HUD shows"
                             : "the HUD is covered by " + dialogText(*dialogs.back(), kPrintedTextLimit);
    return texts;
}

std::string Driver::tapRefusal(const ui::View& view) const {
    if (std::string dialog = coverAt({}, nullptr); !dialog.empty()) return dialog;
    if (std::string reason = untouchableReason(view); !reason.empty()) return reason;
    if (transitionRunning()) return "a transition is running";
    rt::Ref<ui::Window> window = app_->keyWindow();
    if (!window || view.window() != window) return "not on screen";
    const cg::Rect bounds = view.bounds();
    const cg::Point centre = view.convertPointToView({bounds.midX(), bounds.midY()}, window.get());
    if (!window->bounds().contains(centre)) return "off screen";
    std::string cover = coverAt(centre, &view);
    if (cover.empty()) return {};
    // Outside an enclosing view's bounds (a row scrolled out of its table) nothing reaches it.
    for (rt::Ref<ui::View> v = view.superview(); v; v = v->superview())
        if (!v->bounds().contains(view.convertPointToView({bounds.midX(), bounds.midY()}, v.get())))
            return "outside the bounds of its " + std::string(v->getClass().name());
    return cover;
}

bool Driver::transitionRunning() const {
    if (rt::Ref<ui::NavigationController> navigation = navigationOnScreen();
        navigation && navigation->isTransitioning())
        return true;
    rt::Ref<ui::ViewController> top = topViewController();
    using Appearance = ui::ViewController::Appearance;
    return top &&
           (top->appearance() == Appearance::Appearing || top->appearance() == Appearance::Disappearing);
}

bool Driver::reveal(const ui::View& view) {
    const cg::Rect bounds = view.bounds();
    bool revealed = true;
    for (rt::Ref<ui::View> v = view.superview(); v && revealed; v = v->superview())
        if (auto table = rt::cast<ui::TableView>(v))
            revealed =
                showInTable(*table, view.convertPointToView({bounds.midX(), bounds.midY()}, table.get()).y);
    runUntilIdle();
    return revealed;
}

std::string Driver::scrollRefusal(const ui::TableView& table) const {
    if (std::string dialog = coverAt({}, nullptr); !dialog.empty()) return dialog;
    if (std::string reason = untouchableReason(table); !reason.empty()) return reason;
    if (!table.isScrollEnabled()) return "not scrolling";
    if (transitionRunning()) return "a transition is running";
    rt::Ref<ui::Window> window = app_->keyWindow();
    if (!window || table.window() != window) return "not on screen";
    cg::Rect part;
    if (std::string reason = partShown(table, *window, &part); !reason.empty()) return reason;
    return coverAt({part.midX(), part.midY()}, &table);
}

bool Driver::showInTable(ui::TableView& table, double y) {
    rt::Ref<ui::NavigationController> navigation = navigationOnScreen();
    rt::Ref<ui::NavigationBar> bar = navigation ? navigation->navigationBar() : nullptr;
    const cg::Rect visible = table.bounds();
    // The part a navigation bar covers at the table's top shows nothing: the platform insets the
    // content by it, so the first rows can be scrolled out from under the bar.
    double cover = 0;
    if (bar && !bar->isHidden() && bar->window() && bar->window() == table.window())
        cover = std::clamp(table.convertPointFromView({0, bar->bounds().maxY()}, bar.get()).y - visible.minY(), 0.0,
                           visible.size.height);
    if (y >= visible.minY() + cover && y < visible.maxY()) return true;
    refusal_ = scrollRefusal(table);
    if (!refusal_.empty()) return false;
    const double bottom = std::max(-cover, table.contentSize().height - visible.size.height);
    const double top = std::clamp(y - cover - (visible.size.height - cover) / 2, -cover, bottom);
    table.setBounds({{visible.origin.x, top}, visible.size});
    return true;
}

bool Driver::reaches(const ui::View& view, bool enabled) {
    refusal_ = enabled ? tapRefusal(view) : coverAt({}, nullptr);
    if (refusal_.empty() && !enabled) refusal_ = "disabled";
    return refusal_.empty();
}

bool Driver::screenUncovered() {
    refusal_ = coverAt({}, nullptr);
    return refusal_.empty();
}

rt::Ref<ui::Event> Driver::touchAtCentre(const rt::Ref<ui::View>& view) {
    const cg::Rect bounds = view->bounds();
    const cg::Point centre = view->convertPointToView({bounds.midX(), bounds.midY()}, nullptr);
    return ui::Event::withTouches({ui::Touch::make(view, centre, ui::TouchPhase::Began)});
}

void Driver::finishTouch(const rt::Ref<ui::Event>& event) {
    for (const auto& touch : event->touchList())
        touch->setPhase(ui::TouchPhase::Ended);
}

bool Driver::tap(const rt::Ref<ui::Control>& control) {
    if (!control || !running() || !reaches(*control, control->isEnabled())) return false;
    rt::Ref<ui::Event> event = touchAtCentre(control);
    control->touchesBegan(event->allTouches(), event);
    finishTouch(event);
    control->touchesEnded(event->allTouches(), event);
    runUntilIdle();
    return true;
}

bool Driver::slide(const rt::Ref<ui::Slider>& slider, float value) {
    if (!slider || !running() || !reaches(*slider, slider->isEnabled())) return false;
    slider->setValue(value);
    slider->sendActionsForControlEvents(ui::ControlEvent::ValueChanged);
    runUntilIdle();
    return true;
}

bool Driver::pickImage(const rt::Ref<ui::ImagePickerController>& picker, const rt::Ref<ui::Image>& image) {
    if (!picker || !running() || !screenUncovered()) return false;
    auto info = ns::MutableDictionary::make();
    if (image) info->setObjectForKey(image, ui::UIImagePickerControllerOriginalImage);
    const bool told = picker->pickMedia(info);
    runUntilIdle();
    return told;
}

bool Driver::cancelPicker(const rt::Ref<ui::ImagePickerController>& picker) {
    if (!picker || !running() || !screenUncovered()) return false;
    const bool told = picker->cancelPicking();
    runUntilIdle();
    return told;
}

bool Driver::tapOutlet(const rt::Id& owner, std::string_view outlet) {
    rt::Id value = ns::valueForKey(owner, outlet);
    auto control = rt::cast<ui::Control>(value);
    if (!control) {
        report("the outlet " + std::string(outlet) + " holds no control but " +
               (value ? value->description() : "nil"));
        return false;
    }
    return tap(control);
}

bool Driver::tapView(const rt::Ref<ui::View>& view) {
    if (!view || !running() || !reaches(*view)) return false;
    std::vector<rt::Ref<ui::TapGestureRecognizer>> taps;
    for (const auto& recognizer : view->gestureRecognizerList())
        if (auto tap = rt::cast<ui::TapGestureRecognizer>(recognizer); tap && tap->isEnabled())
            taps.push_back(tap);
    if (taps.empty()) {
        refusal_ = "it takes no taps";
        return false;
    }
    rt::Ref<ui::Event> event = touchAtCentre(view);
    for (const auto& recognizer : taps)
        recognizer->touchesBegan(event->allTouches(), event);
    finishTouch(event);
    for (const auto& recognizer : taps)
        recognizer->touchesEnded(event->allTouches(), event);
    runUntilIdle();
    return true;
}

bool Driver::tapItem(const rt::Ref<ui::BarButtonItem>& item) {
    if (!item || !running()) return false;
    // Where a finger finds the item: its own view, else the navigation bar on screen; with
    // neither shown, only a dialog covers it.
    rt::Ref<ui::View> place = item->customView();
    if (!place || !place->window())
        if (rt::Ref<ui::NavigationController> navigation = navigationOnScreen())
            place = navigation->navigationBar();
    if (place && place->window()) {
        if (!reaches(*place, item->isEnabled())) return false;
    } else {
        refusal_ = coverAt({}, nullptr);
        if (refusal_.empty())
            refusal_ = transitionRunning() ? "a transition is running" : item->isEnabled() ? "" : "disabled";
        if (!refusal_.empty()) return false;
    }
    const bool sent = item->performAction();
    runUntilIdle();
    return sent;
}

namespace {
// The controls of the view's tree that send the action to `target` when tapped.
void addSenders(const ui::View& view, const rt::Id& target, std::string_view action,
                std::vector<rt::Ref<ui::Control>>& senders) {
    if (auto control = rt::cast<ui::Control>(rt::Id(rt::retained(&view))))
        if (const rt::Ref<ns::Array> actions =
                control->actionsForTargetForControlEvent(target, ui::ControlEvent::TouchUpInside))
            for (const rt::Id& name : *actions)
                if (auto text = rt::cast<ns::String>(name); text && text->utf8() == action) {
                    senders.push_back(control);
                    break;
                }
    for (const auto& subview : view.subviewList())
        addSenders(*subview, target, action, senders);
}
} // namespace

bool Driver::sendAction(std::string_view action) {
    if (!running()) return false;
    rt::Ref<ui::ViewController> top = topViewController();
    const rt::Sel selector{std::string(action)};
    if (!top || !top->respondsToSelector(selector)) {
        refusal_ = "the screen does not answer " + std::string(action);
        return false;
    }
    std::vector<rt::Ref<ui::Control>> senders;
    if (top->isViewLoaded()) addSenders(*top->view(), top, action, senders);
    const bool reached = senders.empty()
                             ? screenUncovered()
                             : std::any_of(senders.begin(), senders.end(), [&](const auto& control) {
                                   return reaches(*control, control->isEnabled());
                               });
    if (!reached) return false;
    ui::Application::sendAction(selector, top, nullptr, nullptr);
    runUntilIdle();
    return true;
}

bool Driver::typeInto(ui::View& view, std::string_view text,
                      const std::function<bool(std::string_view)>& insert) {
    if (!running() || !reaches(view)) return false;
    if (!view.becomeFirstResponder()) {
        refusal_ = "it does not take the keyboard";
        runUntilIdle();
        return false;
    }
    for (std::string_view character : characters(text))
        insert(character);
    runUntilIdle();
    return true;
}

void Driver::noteSecureTyping(const ui::TextField& field, std::string_view typed) {
    if (!field.isSecureTextEntry()) return;
    const rt::Ref<ns::String> value = field.text();
    for (const std::string& secret :
         {std::string(typed), (value ? value->utf8() : std::string()) + std::string(typed)})
        keepSecureText(secret);
}

void Driver::keepSecureText(std::string_view text) {
    if (text.empty()) return;
    secureTexts_.emplace(text);
    if (auto shown = shownTexts_.find(text); shown != shownTexts_.end()) shownTexts_.erase(shown);
    addRunSecret(Secret(std::string(text)), std::string(Secret::kShown));
}

void Driver::noteShownTyping(std::string_view typed) {
    if (secureTexts_.contains(typed)) return;
    shownTexts_.emplace(typed);
    typedTextShown(typed); // a secret of the run no longer, if the script's reading made it one
}

bool Driver::typeText(const rt::Ref<ui::TextField>& field, std::string_view text) {
    if (!field) return false;
    noteSecureTyping(*field, text); // refused or not
    if (!field->isEnabled()) {
        refusal_ = "disabled";
        return false;
    }
    const bool typed = typeInto(*field, text, [&](std::string_view c) { return field->insertText(c); });
    noteSecureTyping(*field, {});
    if (typed && !field->isSecureTextEntry()) noteShownTyping(text);
    return typed;
}

bool Driver::typeText(const rt::Ref<ui::TextView>& view, std::string_view text) {
    if (!view) return false;
    const bool typed = typeInto(*view, text, [&](std::string_view c) { return view->insertText(c); });
    if (typed) noteShownTyping(text);
    return typed;
}

bool Driver::endEditing(const rt::Ref<ui::TextField>& field) {
    if (!field || !running() || !screenUncovered()) return false;
    const bool ended = field->resignFirstResponder();
    runUntilIdle();
    return ended;
}

bool Driver::endEditing(const rt::Ref<ui::TextView>& view) {
    if (!view || !running() || !screenUncovered()) return false;
    const bool ended = view->resignFirstResponder();
    runUntilIdle();
    return ended;
}

bool Driver::onEditingField(const rt::Ref<ui::TextField>& field, std::string_view typed,
                            const std::function<bool(ui::TextField&)>& key) {
    if (!field || !running() || !screenUncovered()) return false;
    if (!field->isEditing()) {
        refusal_ = "it is not editing";
        return false;
    }
    noteSecureTyping(*field, typed);
    const bool done = key(*field);
    noteSecureTyping(*field, {});
    runUntilIdle();
    return done;
}

bool Driver::deleteBackward(const rt::Ref<ui::TextField>& field) {
    return onEditingField(field, {}, [](ui::TextField& f) { return f.deleteBackward(); });
}

bool Driver::paste(const rt::Ref<ui::TextField>& field, std::string_view text) {
    return onEditingField(field, text, [&](ui::TextField& f) { return f.insertText(text); });
}

bool Driver::replace(const rt::Ref<ui::TextField>& field, ns::Range range, std::string_view text) {
    return onEditingField(field, text, [&](ui::TextField& f) { return f.replace(range, text); });
}

bool Driver::pressReturn(const rt::Ref<ui::TextField>& field) {
    return onEditingField(field, {}, [](ui::TextField& f) { return f.pressReturn(); });
}

// ---- Tables and dialogs -------------------------------------------------------------------------

rt::Ref<ui::TableViewCell> Driver::revealRow(const rt::Ref<ui::TableView>& table, long row, long section) {
    refusal_.clear();
    if (!table || !running()) {
        refusal_ = "not running";
        return nullptr;
    }
    auto indexPath = ns::IndexPath::indexPathForRowInSection(row, section);
    const cg::Rect rect = table->rectForRowAtIndexPath(indexPath);
    if (rect.isNull()) {
        refusal_ = "the table has no such row";
        return nullptr;
    }
    const bool shown = showInTable(*table, rect.midY());
    runUntilIdle();
    if (!shown) return nullptr;
    rt::Ref<ui::TableViewCell> cell = table->cellForRowAtIndexPath(indexPath);
    if (!cell) refusal_ = "the table shows no cell for the row";
    return cell && reveal(*cell) ? cell : nullptr; // and the tables around this one
}

rt::Ref<ui::TableViewCell> Driver::touchableRow(const rt::Ref<ui::TableView>& table, long row, long section) {
    rt::Ref<ui::TableViewCell> cell = revealRow(table, row, section);
    return cell && reaches(*cell) ? cell : nullptr;
}

bool Driver::tapRow(const rt::Ref<ui::TableView>& table, long row, long section) {
    if (!touchableRow(table, row, section)) return false;
    const bool tapped = table->tapRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, section));
    if (!tapped) refusal_ = "the table takes no selection";
    runUntilIdle();
    return tapped;
}

bool Driver::tapAccessory(const rt::Ref<ui::TableView>& table, long row, long section) {
    if (!touchableRow(table, row, section)) return false;
    const bool tapped = table->tapAccessoryAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, section));
    runUntilIdle();
    return tapped;
}

bool Driver::commitDelete(const rt::Ref<ui::TableView>& table, long row, long section) {
    if (!touchableRow(table, row, section)) return false;
    const bool deleted = table->commitDeleteAtIndexPath(ns::IndexPath::indexPathForRowInSection(row, section));
    if (!deleted) refusal_ = "the data source does not delete";
    runUntilIdle();
    return deleted;
}

rt::Ref<ns::IndexPath> Driver::moveRow(const rt::Ref<ui::TableView>& table, const rt::Ref<ns::IndexPath>& from,
                                       const rt::Ref<ns::IndexPath>& to) {
    if (!from || !to || !touchableRow(table, from->row(), from->section())) return nullptr;
    auto moved = table->moveRow(from, to);
    runUntilIdle();
    return moved;
}

bool Driver::scrollTo(const rt::Ref<ui::TableView>& table, cg::Point offset) {
    if (!table || !running()) return false;
    if (!table->isScrollEnabled()) {
        refusal_ = "not scrolling";
        return false;
    }
    if (!reaches(*table)) return false;
    table->setContentOffset(offset);
    runUntilIdle();
    return true;
}

bool Driver::press(const rt::Ref<ui::ButtonDialog>& dialog, long index) {
    if (!dialog || !running()) return false;
    refusal_ = dialog->isVisible() ? coverAt({}, dialog.get()) : "not on screen";
    if (!refusal_.empty()) return false;
    const bool pressed = dialog->press(index);
    runUntilIdle();
    return pressed;
}

// ---- Pickers and segments ---------------------------------------------------------------------

bool Driver::spin(const rt::Ref<ui::DatePicker>& picker, const std::function<void(ui::DatePicker&)>& change) {
    if (!picker || !running()) return false;
    if (picker->window()) {
        if (!reaches(*picker, picker->isEnabled())) return false;
    } else { // in the keyboard's place, over the screen and under the dialogs
        if (!screenUncovered()) return false;
        refusal_ = !picker->isEnabled() ? "disabled" : picker->isHiddenOrHasHiddenAncestor() ? "hidden" : "";
        if (!refusal_.empty()) return false;
    }
    change(*picker);
    picker->sendActionsForControlEvents(ui::ControlEvent::ValueChanged);
    runUntilIdle();
    return true;
}

bool Driver::pickDate(const rt::Ref<ui::DatePicker>& picker, double secondsSince1970) {
    return spin(picker, [&](ui::DatePicker& p) { p.setDate(ns::Date::withTimeIntervalSince1970(secondsSince1970)); });
}

bool Driver::pickDuration(const rt::Ref<ui::DatePicker>& picker, double seconds) {
    return spin(picker, [&](ui::DatePicker& p) { p.setCountDownDuration(seconds); });
}

bool Driver::tapSegment(const rt::Ref<ui::SegmentedControl>& control, long index) {
    if (!control || index < 0 || static_cast<std::size_t>(index) >= control->numberOfSegments()) return false;
    if (!running() || !reaches(*control, control->isEnabled())) return false;
    const cg::Rect bounds = control->bounds();
    const double width = bounds.size.width / static_cast<double>(control->numberOfSegments());
    const cg::Point point = control->convertPointToView(
        {bounds.minX() + width * (static_cast<double>(index) + 0.5), bounds.midY()}, nullptr);
    rt::Ref<ui::Event> event = ui::Event::withTouches({ui::Touch::make(control, point, ui::TouchPhase::Began)});
    control->touchesBegan(event->allTouches(), event);
    finishTouch(event);
    control->touchesEnded(event->allTouches(), event);
    runUntilIdle();
    return true;
}

// ---- Navigation ---------------------------------------------------------------------------------

rt::Ref<ui::ViewController> Driver::topViewController() const {
    rt::Ref<ui::Window> window = app_->keyWindow();
    return window ? onScreen(window->rootViewController(), nullptr) : nullptr;
}

rt::Ref<ui::NavigationController> Driver::navigationOnScreen() const {
    rt::Ref<ui::Window> window = app_->keyWindow();
    rt::Ref<ui::NavigationController> navigation;
    if (window) onScreen(window->rootViewController(), &navigation);
    return navigation;
}

std::vector<std::string> Driver::navigationStack() const {
    std::vector<std::string> names;
    if (rt::Ref<ui::NavigationController> navigation = navigationOnScreen())
        for (const auto& controller : navigation->viewControllerList())
            names.emplace_back(controller->getClass().name());
    return names;
}

bool Driver::tapBack() {
    if (!running() || !screenUncovered()) return false;
    rt::Ref<ui::NavigationController> navigation = navigationOnScreen();
    const bool shown = navigation && navigation->isViewLoaded() && navigation->viewIfLoaded()->window() &&
                       navigation->navigationBar()->isBackButtonVisible();
    if (!shown) {
        refusal_ = "no back button is on screen";
        return false;
    }
    return tap(navigation->navigationBar()->backButton());
}

// ---- Observing ----------------------------------------------------------------------------------

std::optional<std::string> Driver::labelText(const rt::Id& owner, std::string_view outlet) const {
    rt::Id value = ns::valueForKey(owner, outlet);
    auto label = rt::cast<ui::Label>(value);
    if (!label) {
        report("the outlet " + std::string(outlet) + " holds no label but " +
               (value ? value->description() : "nil"));
        return std::nullopt;
    }
    return label->text() ? label->text()->utf8() : std::string();
}

namespace {
void addLabelTexts(const ui::View& view, std::vector<std::string>& texts) {
    if (auto label = rt::cast<ui::Label>(rt::Id(rt::retained(&view)));
        label && label->text() && label->text()->length() > 0)
        texts.push_back(label->text()->utf8());
    for (const auto& subview : view.subviewList())
        addLabelTexts(*subview, texts);
}
} // namespace

std::vector<std::string> Driver::labelTexts(const ui::View& view) {
    std::vector<std::string> texts;
    addLabelTexts(view, texts);
    return texts;
}

namespace {

// The owner's outlet holding the view: an object property of the application's classes below
// `platform` (not the platform's, whose getters may make what they answer); empty when none.
std::string outletHolding(const rt::Object& owner, const rt::Class& platform, const ui::View& view) {
    for (const rt::Class* c = &owner.getClass(); c && c != &platform; c = c->superclass())
        for (const rt::Property* property : c->ownProperties())
            if (property->kind() == rt::ValueKind::Object &&
                ns::valueForKey(rt::Id(rt::retained(&owner)), property->name()).get() == &view)
                return property->name();
    return {};
}

std::string quoted(const rt::Ref<ns::String>& text) {
    return "\"" + (text ? text->utf8() : std::string()) + "\"";
}

bool hasText(const rt::Ref<ns::String>& text) {
    return text && text->length() > 0;
}

// The control as a tester finds it: its title (a button's) and the outlet holding it, either
// alone, else what it is called aloud (its accessibility label), else the action it sends the
// screen (what a script's "send" does), else where it is.
std::string controlName(const ui::Control& control, const ui::ViewController& top) {
    const rt::Id self = rt::retained(&control);
    auto button = rt::cast<ui::Button>(self);
    const std::string outlet = outletHolding(top, ui::ViewController::staticClass(), control);
    const std::string title = button && hasText(button->currentTitle()) ? quoted(button->currentTitle()) : "";
    if (!title.empty()) return outlet.empty() ? title : title + " (" + outlet + ")";
    if (!outlet.empty()) return outlet;
    if (const rt::Ref<ns::String> label = control.accessibilityLabel(); hasText(label)) return quoted(label);
    // In a table's row: the cell's outlet holding it, and the row by its first text.
    for (rt::Ref<ui::View> up = control.superview(); up; up = up->superview())
        if (auto cell = rt::cast<ui::TableViewCell>(up)) {
            const std::vector<std::string> texts = Driver::labelTexts(*cell);
            if (texts.empty()) break;
            const std::string inCell = outletHolding(*cell, ui::TableViewCell::staticClass(), control);
            return (inCell.empty() ? std::string(control.getClass().name()) : inCell) + " of the row \"" +
                   texts.front() + "\"";
        }
    if (const rt::Ref<ns::Array> actions =
            control.actionsForTargetForControlEvent(rt::retained(&top), ui::ControlEvent::TouchUpInside))
        if (auto action = rt::cast<ns::String>(actions->firstObject())) return "send action=" + action->utf8();
    const cg::Rect frame = control.convertRectToView(control.bounds(), nullptr);
    char where[64];
    std::snprintf(where, sizeof where, " at %g, %g", frame.origin.x, frame.origin.y);
    return std::string(control.getClass().name()) + where;
}

} // namespace

Driver::Sight Driver::sight() const {
    Sight sight;
    sight.hud = hudTexts();
    if (const auto dialogs = ui::ButtonDialog::presented(); !dialogs.empty()) {
        const rt::Ref<ui::ButtonDialog>& dialog = dialogs.back();
        auto alert = rt::cast<ui::AlertView>(dialog);
        sight.screen = alert ? "alert" : "sheet";
        for (const auto& text : {dialog->title(), alert ? alert->message() : nullptr})
            if (text && text->length() > 0) sight.texts.push_back(text->utf8());
        for (long i = 0; i < dialog->numberOfButtons(); ++i)
            sight.controls.push_back(quoted(dialog->buttonTitleAtIndex(i)));
        return sight;
    }
    rt::Ref<ui::ViewController> top = topViewController();
    if (!top) return sight;
    sight.screen = top->getClass().name();
    if (const auto& title = top->navigationItem()->title(); title && title->length() > 0)
        sight.texts.push_back(title->utf8());
    // The labels that show, and the controls a tap reaches (a button's own label is its title).
    std::function<void(const ui::View&)> look = [&](const ui::View& view) {
        if (!unshownReason(view).empty()) return;
        if (auto control = rt::cast<ui::Control>(rt::Id(rt::retained(&view)))) {
            if (control->isEnabled() && tapRefusal(view).empty())
                sight.controls.push_back(controlName(*control, *top));
            return;
        }
        if (auto label = rt::cast<ui::Label>(rt::Id(rt::retained(&view)))) {
            if (hasText(label->text())) sight.texts.push_back(label->text()->utf8());
        } else if (const rt::Ref<ns::String> value = view.accessibilityValue(); hasText(value)) {
            sight.texts.push_back(value->utf8()); // what the view says of its state (the touch grid's cells left)
        }
        for (const auto& subview : view.subviewList())
            look(*subview);
    };
    if (top->isViewLoaded()) look(*top->view());
    if (rt::Ref<ui::NavigationController> navigation = navigationOnScreen();
        navigation && navigation->navigationBar()->isBackButtonVisible() &&
        unshownReason(*navigation->navigationBar()).empty())
        sight.controls.emplace_back("back");
    return sight;
}

namespace {
Driver::HUDReader& hudReader() {
    static auto* reader = new Driver::HUDReader(); // immortal: read until the process ends
    return *reader;
}
} // namespace

void Driver::setHUDReader(HUDReader reader) {
    hudReader() = std::move(reader);
}

std::vector<Driver::HUDShown> Driver::huds() {
    return hudReader() ? hudReader()() : std::vector<HUDShown>();
}

std::vector<std::string> Driver::hudTexts() const {
    std::vector<std::string> texts;
    for (HUDShown& hud : huds())
        texts.insert(texts.end(), std::make_move_iterator(hud.texts.begin()),
                     std::make_move_iterator(hud.texts.end()));
    return texts;
}

std::vector<std::string> Driver::openedURLs() const {
    std::vector<std::string> urls;
    for (const auto& url : app_->openedURLs())
        urls.push_back(url->string());
    return urls;
}

} // namespace sim
