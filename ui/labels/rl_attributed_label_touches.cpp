// The second attributed label's touches: the link under a finger, the tolerance while it moves,
// the tap, the long-press action sheet and its actions, and the accessibility elements.

#include <cmath>
#include <mutex>
#include <utility>

#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/regular_expression.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/set.h"
#include "platform/foundation/string_services.h"
#include "platform/foundation/url.h"
#include "platform/runtime/delegate_call.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/accessibility_element.h"
#include "platform/uikit/action_sheet.h"
#include "platform/uikit/application.h"
#include "platform/uikit/device.h"
#include "platform/uikit/pasteboard.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/window.h"
#include "ui/labels/rl_attributed_label.h"

namespace rl {

namespace {

constexpr double kTouchesLineMargin = 5;   // above and below each line when finding a link
constexpr double kTouchesTolerance = 22;   // around a link while the finger moves or lifts
constexpr double kTouchesRestart = 22;     // a move this far restarts the long press
constexpr double kTouchesLongPress = 0.5;  // seconds
constexpr double kTouchesPadSquare = 44;   // the square a pad's sheet points at

struct TouchesMapSearch {
    std::mutex lock;
    std::string address = AttributedLabel::kDefaultMapSearchAddress;
};

TouchesMapSearch& touchesMapSearch() {
    static TouchesMapSearch search;
    return search;
}

cg::Point touchesLocation(const rt::Ref<ns::Set>& touches, const ui::View& view) {
    auto touch = touches ? rt::cast<ui::Touch>(touches->anyObject()) : nullptr;
    return touch ? touch->locationInView(&view) : cg::Point{0, 0};
}

bool touchesOnPad() { return ui::Device::currentDevice()->userInterfaceIdiom() == ui::UserInterfaceIdiom::Pad; }

// A sheet's text from the default string table: the English text is the key, a missing entry
// shows it.
rt::Ref<ns::String> touchesLocalized(const char* english) { return ns::NSLocalizedString(english); }

bool touchesIsMail(const ns::TextCheckingResult& link) {
    return link.URL() && link.URL()->scheme() && link.URL()->scheme()->utf8() == "mailto";
}

// What follows "mailto:": the bare address.
rt::Ref<ns::String> touchesResourceSpecifier(const ns::URL& url) {
    const std::string whole = url.absoluteString()->utf8();
    const auto colon = whole.find(':');
    return ns::String::make(colon == std::string::npos ? whole : whole.substr(colon + 1));
}

} // namespace

void AttributedLabel::setMapSearchAddress(std::string address) {
    std::lock_guard guard(touchesMapSearch().lock);
    touchesMapSearch().address = std::move(address);
}

const std::string& AttributedLabel::mapSearchAddress() {
    std::lock_guard guard(touchesMapSearch().lock);
    return touchesMapSearch().address;
}

rt::Ref<ns::String> AttributedLabel::textInRange(ns::Range range) const {
    if (!string_ || range.max() > string_->length()) return nullptr;
    return string_->attributedSubstringFromRange(range)->string();
}

// ---- Finding a link ----

rt::Ref<ns::TextCheckingResult> AttributedLabel::linkAtPoint(cg::Point p) {
    const cg::Rect b = bounds();
    if (p.x < b.minX() || p.x > b.maxX() || p.y < b.minY() - kTouchesLineMargin || p.y > b.maxY() + kTouchesLineMargin)
        return nullptr;
    const auto& frame = textFrame();
    if (!frame || frame->lines().empty()) return nullptr;
    const auto flip = transformForCoreText();
    const double offset = verticalOffsetForBounds(b);
    for (std::size_t i = 0; i < frame->lines().size(); ++i) {
        const auto& line = *frame->lines()[i];
        const cg::Point origin = frame->lineOrigins()[i];
        double ascent = 0, descent = 0;
        const double width = line.typographicBounds(&ascent, &descent, nullptr);
        cg::Rect r = flip.apply(cg::Rect{{origin.x, origin.y - descent}, {width, ascent + descent}});
        r = cg::Rect{{r.origin.x, r.origin.y - kTouchesLineMargin}, {r.size.width, r.size.height + 2 * kTouchesLineMargin}}
                .offsetBy(0, offset);
        if (!r.contains(p)) continue;
        const auto index = static_cast<long>(line.stringIndexForPosition({p.x - r.minX(), p.y - r.minY()}));
        // Each placeholder before the index shifts the text one on: count those of the frame.
        long before = 0;
        for (const auto& image : frameImages_) before += image->index() < index ? 1 : 0;
        if (auto link = linkAtIndex(index - before)) return link;
    }
    return nullptr;
}

bool AttributedLabel::isPointNearLink(cg::Point p, const ns::TextCheckingResult& link) {
    const auto& frame = textFrame();
    if (!frame || frame->lines().empty()) return false;
    const auto flip = transformForCoreText();
    const double offset = verticalOffsetForBounds(bounds());
    for (std::size_t i = 0; i < frame->lines().size(); ++i) {
        // A line the link does not reach has no run to measure.
        const ns::Range lineRange = frame->lines()[i]->stringRange();
        if (lineRange.max() <= link.range().location || link.range().max() <= lineRange.location) continue;
        const cg::Rect q = rectForRange(link.range(), *frame->lines()[i], frame->lineOrigins()[i]);
        if (q.isEmpty()) continue;
        const cg::Rect near = flip.apply(q).offsetBy(0, offset).insetBy(-kTouchesTolerance, -kTouchesTolerance);
        if (near.contains(p)) return true;
    }
    return false;
}

// ---- Touches ----

void AttributedLabel::startLongPressTimer() {
    stopLongPressTimer();
    rt::Weak<AttributedLabel> weak(this);
    longPressTimer_ = ns::Timer::scheduledTimerWithTimeInterval(kTouchesLongPress, false, [weak](const auto&) {
        if (auto self = weak.lock()) self->longPressTimerDidFire();
    });
}

void AttributedLabel::stopLongPressTimer() {
    if (longPressTimer_) longPressTimer_->invalidate();
    longPressTimer_ = nullptr;
}

void AttributedLabel::touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    const cg::Point p = touchesLocation(touches, *this);
    setTouchedLink(linkAtPoint(p));
    touchPoint_ = p;
    originalLink_ = touchedLink_;
    if (touchedLink_)
        startLongPressTimer();
    else
        ui::Label::touchesBegan(touches, event);
    setNeedsDisplay();
}

void AttributedLabel::touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    if (!originalLink_) return ui::Label::touchesMoved(touches, event);
    const cg::Point p = touchesLocation(touches, *this);
    const auto previous = touchedLink_;
    setTouchedLink(isPointNearLink(p, *originalLink_) ? originalLink_ : nullptr);
    if (touchedLink_ != previous) {
        stopLongPressTimer();
        setNeedsDisplay();
    }
    if (std::abs(p.x - touchPoint_.x) >= kTouchesRestart || std::abs(p.y - touchPoint_.y) >= kTouchesRestart) {
        stopLongPressTimer();
        if (touchedLink_) {
            startLongPressTimer();
            touchPoint_ = p;
        }
    }
}

void AttributedLabel::touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    if (!originalLink_) return ui::Label::touchesEnded(touches, event);
    stopLongPressTimer();
    const cg::Point p = touchesLocation(touches, *this);
    if (isPointNearLink(p, *originalLink_))
        rt::tell(delegate(), rt::Sel("attributedLabel:didSelectTextCheckingResult:atPoint:"), rt::Id(rt::retained(this)),
                 rt::Id(originalLink_), p);
    setTouchedLink(nullptr);
    originalLink_ = nullptr;
    setNeedsDisplay();
}

void AttributedLabel::touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::Label::touchesCancelled(touches, event);
    stopLongPressTimer();
    setTouchedLink(nullptr);
    originalLink_ = nullptr;
    setNeedsDisplay();
}

void AttributedLabel::longPressTimerDidFire() {
    longPressTimer_ = nullptr;
    if (!touchedLink_) return;
    actionSheetLink_ = touchedLink_;
    auto sheet = actionSheetForResult(*actionSheetLink_);
    const bool present = rt::ask(delegate(), rt::Sel("attributedLabel:shouldPresentActionSheet:withTextCheckingResult:atPoint:"),
                                 true, rt::Id(rt::retained(this)), rt::Id(sheet), rt::Id(touchedLink_), touchPoint_);
    if (!present) {
        actionSheetLink_ = nullptr;
        return;
    }
    const rt::Ref<ui::View> self = rt::retained(this);
    if (touchesOnPad()) {
        const double half = kTouchesPadSquare / 2;
        sheet->showFromRect({{touchPoint_.x - half, touchPoint_.y - half}, {kTouchesPadSquare, kTouchesPadSquare}}, self,
                            true);
    } else {
        sheet->showInView(self);
    }
}

// ---- The action sheet ----

rt::Ref<ui::ActionSheet> AttributedLabel::actionSheetForResult(const ns::TextCheckingResult& result) {
    auto sheet = rt::make<ui::ActionSheet>(nullptr, rt::Id(rt::retained(this)), nullptr, nullptr);
    auto add = [&](const char* english) { sheet->addButtonWithTitle(touchesLocalized(english)); };
    switch (result.resultType()) {
    case ns::TextCheckingType::Link:
        if (touchesIsMail(result)) {
            sheet->setTitle(touchesResourceSpecifier(*result.URL()));
            add("Open in Mail");
            add("Copy Email Address");
        } else {
            sheet->setTitle(result.URL() ? result.URL()->absoluteString() : nullptr);
            add("Open in Safari");
            add("Copy URL");
        }
        break;
    case ns::TextCheckingType::PhoneNumber:
        sheet->setTitle(result.phoneNumber());
        add("Call");
        add("Copy Phone Number");
        break;
    case ns::TextCheckingType::Address:
        sheet->setTitle(textInRange(result.range()));
        add("Open in Maps");
        add("Copy Address");
        break;
    default:
        add("Copy");
        break;
    }
    // A pad's popover is dismissed by a tap outside it: no "Cancel".
    if (!touchesOnPad()) sheet->setCancelButtonIndex(sheet->addButtonWithTitle(touchesLocalized("Cancel")));
    return sheet;
}

void AttributedLabel::actionSheetClickedButtonAtIndex(const rt::Ref<ui::ActionSheet>& sheet, long index) {
    const auto link = actionSheetLink_;
    if (link && (index == 0 || index == 1) && index != sheet->cancelButtonIndex()) {
        auto app = ui::Application::sharedApplication();
        auto pasteboard = ui::Pasteboard::generalPasteboard();
        const auto text = textInRange(link->range());
        switch (link->resultType()) {
        case ns::TextCheckingType::Link:
            if (index == 0)
                app->openURL(link->URL());
            else if (touchesIsMail(*link))
                pasteboard->setString(touchesResourceSpecifier(*link->URL()));
            else
                pasteboard->setURL(link->URL());
            break;
        case ns::TextCheckingType::PhoneNumber:
            if (index == 0)
                app->openURL(ns::URL::URLWithString("tel:" + link->phoneNumber()->utf8()));
            else
                pasteboard->setString(link->phoneNumber());
            break;
        case ns::TextCheckingType::Address:
            if (index == 0 && text)
                app->openURL(ns::URL::URLWithString(mapSearchAddress() + "?q=" + ns::stringByAddingPercentEncoding(text->utf8())));
            else if (index == 1)
                pasteboard->setString(text);
            break;
        default:
            if (index == 0) pasteboard->setString(text);
            break;
        }
    }
    actionSheetCancel(sheet);
}

void AttributedLabel::actionSheetCancel(const rt::Ref<ui::ActionSheet>&) {
    actionSheetLink_ = nullptr;
    setNeedsDisplay();
}

// ---- Accessibility ----

const rt::Ref<ns::Array>& AttributedLabel::accessibleElements() {
    if (accessibleElements_) return accessibleElements_;
    auto elements = ns::MutableArray::make();
    const rt::Id self = rt::retained(this);
    auto addLinks = [&](const ns::Array* links) {
        if (!links) return;
        for (const auto& object : *links) {
            auto link = rt::downcast<ns::TextCheckingResult>(object);
            for (const cg::Rect& rect : rectsForLink(*link)) {
                auto element = ui::AccessibilityElement::initWithAccessibilityContainer(self);
                element->setAccessibilityLabel(textInRange(link->range()));
                element->setAccessibilityFrame(convertRectToView(rect, window().get()));
                element->setAccessibilityTraits(ui::AccessibilityTraitLink);
                elements->addObject(element);
            }
        }
    };
    addLinks(detected_.get());
    addLinks(explicit_.get());
    auto whole = ui::AccessibilityElement::initWithAccessibilityContainer(self);
    whole->setAccessibilityLabel(string_ ? string_->string() : nullptr);
    whole->setAccessibilityFrame(convertRectToView(bounds(), window().get()));
    whole->setAccessibilityTraits(ui::AccessibilityTraitNone);
    elements->addObject(whole);
    accessibleElements_ = ns::Array::make(std::vector<rt::Id>(elements->begin(), elements->end()));
    return accessibleElements_;
}

long AttributedLabel::accessibilityElementCount() { return static_cast<long>(accessibleElements()->count()); }

rt::Id AttributedLabel::accessibilityElementAtIndex(long index) {
    return accessibleElements()->objectAtIndex(static_cast<std::size_t>(index));
}

std::size_t AttributedLabel::indexOfAccessibilityElement(const rt::Id& element) {
    const auto& elements = *accessibleElements();
    for (std::size_t i = 0; i < elements.count(); ++i)
        if (elements.objectAtIndex(i) == element) return i;
    return ns::NotFound;
}

void AttributedLabel::invalidateAccessibleElements() { accessibleElements_ = nullptr; }

} // namespace rl
