// The attributed label's links: adding them, finding the one under a point, the highlight while a
// finger is on one, and the report of a tap or a long press.

#include <algorithm>
#include <cmath>

#include "platform/foundation/array.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/set.h"
#include "platform/foundation/time_zone.h"
#include "platform/foundation/url.h"
#include "platform/uikit/transaction.h"
#include "platform/runtime/delegate_call.h"
#include "platform/runtime/observation.h"
#include "platform/runtime/stored_block.h"
#include "platform/uikit/accessibility_element.h"
#include "platform/uikit/window.h"
#include "platform/uikit/long_press_gesture_recognizer.h"
#include "platform/uikit/pasteboard.h"
#include "platform/uikit/touch.h"
#include "ui/labels/attributed_label.h"
#include "ui/labels/attributed_label_link.h"

namespace tl {

namespace {
// How far beyond the bounds a touch may land and still find a link, and the probe radii tried.
constexpr double kLinkTouchMargin = 15;
constexpr double kLinkProbeRadii[] = {2.5, 5, 7.5, 12.5, 15};
// Alpha below which a view takes no touch.
constexpr double kLinkMinimumAlpha = 0.01;

rt::Ref<AttributedLabelLink> linkAt(const rt::Ref<ns::Array>& links, std::size_t index) {
    return rt::cast<AttributedLabelLink>(links->objectAtIndex(index));
}
} // namespace

rt::Ref<ns::Array> AttributedLabel::links() const {
    auto results = ns::MutableArray::make();
    for (std::size_t i = 0, count = linkModels_->count(); i < count; ++i)
        if (auto result = linkAt(linkModels_, i)->result()) results->addObject(result);
    return rt::cast<ns::Array>(results->copy());
}

void AttributedLabel::setLinkModels(rt::Ref<ns::Array> models) {
    rt::KeyChange change(this, "linkModels");
    linkModels_ = models ? std::move(models) : ns::Array::make();
    accessibilityElements_ = nullptr;
    linkList_.clear();
    for (std::size_t i = 0, count = linkModels_->count(); i < count; ++i)
        if (auto link = linkAt(linkModels_, i)) linkList_.push_back(std::move(link));
}

// ---- Accessibility ----

rt::Ref<ns::Array> AttributedLabel::accessibilityElements() const {
    rt::SyncGuard lock(this);
    if (accessibilityElements_) return accessibilityElements_;
    const rt::Id self = rt::retained(this);
    const rt::Ref<ns::String> source = text();
    auto elements = ns::MutableArray::make();
    for (const auto& link : linkList_) {
        const ns::Range range = link->range();
        // A link past the text (kept after a shorter setAttributedText) has no characters to read.
        if (!link->result() || range.location == ns::NotFound || !source || range.max() > source->length()) continue;
        auto element = ui::AccessibilityElement::initWithAccessibilityContainer(self);
        const rt::Ref<ns::String> characters = source->substringWithRange(range);
        const rt::Ref<ns::String> value = link->accessibilityValue();
        element->setAccessibilityTraits(ui::AccessibilityTraitLink);
        element->setAccessibilityFrame(convertRectToView(boundingRectForCharacterRange(range), window().get()));
        element->setAccessibilityLabel(characters);
        if (value && !characters->isEqualToString(value.get())) element->setAccessibilityValue(value);
        elements->addObject(element);
    }
    auto whole = ui::AccessibilityElement::initWithAccessibilityContainer(self);
    whole->setAccessibilityLabel(ui::Label::accessibilityLabel());
    whole->setAccessibilityHint(ui::Label::accessibilityHint());
    whole->setAccessibilityValue(ui::Label::accessibilityValue());
    whole->setAccessibilityTraits(ui::Label::accessibilityTraits());
    whole->setAccessibilityFrame(convertRectToView(bounds(), window().get()));
    elements->addObject(whole);
    accessibilityElements_ = rt::cast<ns::Array>(elements->copy());
    return accessibilityElements_;
}

void AttributedLabel::setAccessibilityElements(rt::Ref<ns::Array> elements) {
    rt::SyncGuard lock(this);
    accessibilityElements_ = std::move(elements);
}

long AttributedLabel::accessibilityElementCount() const {
    return static_cast<long>(accessibilityElements()->count());
}

rt::Id AttributedLabel::accessibilityElementAtIndex(long index) const {
    const rt::Ref<ns::Array> elements = accessibilityElements();
    if (index < 0 || static_cast<std::size_t>(index) >= elements->count()) return nullptr;
    return elements->objectAtIndex(static_cast<std::size_t>(index));
}

std::size_t AttributedLabel::indexOfAccessibilityElement(const rt::Id& element) const {
    return accessibilityElements()->indexOfObject(element);
}

// ---- Adding ----

rt::Ref<AttributedLabelLink> AttributedLabel::addLinkToURL(const rt::Ref<ns::URL>& url, ns::Range range) {
    return addLinkWithTextCheckingResult(ns::TextCheckingResult::linkCheckingResult(range, url));
}
rt::Ref<AttributedLabelLink> AttributedLabel::addLinkToAddress(const rt::Ref<ns::Dictionary>& components,
                                                               ns::Range range) {
    return addLinkWithTextCheckingResult(ns::TextCheckingResult::addressCheckingResult(range, components));
}
rt::Ref<AttributedLabelLink> AttributedLabel::addLinkToPhoneNumber(const rt::Ref<ns::String>& phoneNumber,
                                                                   ns::Range range) {
    return addLinkWithTextCheckingResult(ns::TextCheckingResult::phoneNumberCheckingResult(range, phoneNumber));
}
rt::Ref<AttributedLabelLink> AttributedLabel::addLinkToDate(const rt::Ref<ns::Date>& date, ns::Range range) {
    return addLinkWithTextCheckingResult(ns::TextCheckingResult::dateCheckingResult(range, date));
}
rt::Ref<AttributedLabelLink> AttributedLabel::addLinkToDate(const rt::Ref<ns::Date>& date,
                                                            const rt::Ref<ns::TimeZone>& timeZone, double duration,
                                                            ns::Range range) {
    return addLinkWithTextCheckingResult(
        ns::TextCheckingResult::dateCheckingResult(range, date, timeZone, duration));
}
rt::Ref<AttributedLabelLink> AttributedLabel::addLinkToTransitInformation(const rt::Ref<ns::Dictionary>& components,
                                                                          ns::Range range) {
    return addLinkWithTextCheckingResult(ns::TextCheckingResult::transitInformationCheckingResult(range, components));
}

rt::Ref<AttributedLabelLink> AttributedLabel::addLinkWithTextCheckingResult(
    const rt::Ref<ns::TextCheckingResult>& result) {
    return addLinkWithTextCheckingResult(result, linkAttributes_);
}

rt::Ref<AttributedLabelLink> AttributedLabel::addLinkWithTextCheckingResult(
    const rt::Ref<ns::TextCheckingResult>& result, const rt::Ref<ns::Dictionary>& attributes) {
    return linkAt(addLinksWithTextCheckingResults(ns::Array::make({result}), attributes), 0);
}

rt::Ref<ns::Array> AttributedLabel::addLinksWithTextCheckingResults(const rt::Ref<ns::Array>& results,
                                                                    const rt::Ref<ns::Dictionary>& attributes) {
    auto links = ns::MutableArray::make();
    for (std::size_t i = 0, count = results ? results->count() : 0; i < count; ++i) {
        auto result = rt::cast<ns::TextCheckingResult>(results->objectAtIndex(i));
        links->addObject(attributes ? AttributedLabelLink::make(attributes, activeLinkAttributes_,
                                                                inactiveLinkAttributes_, result)
                                    : AttributedLabelLink::make(nullptr, nullptr, nullptr, result));
    }
    auto added = rt::cast<ns::Array>(links->copy());
    addLinks(added);
    return added;
}

void AttributedLabel::addLink(const rt::Ref<AttributedLabelLink>& link) {
    addLinks(ns::Array::make({link}));
}

void AttributedLabel::addLinks(const rt::Ref<ns::Array>& links) {
    auto models = ns::MutableArray::make();
    for (std::size_t i = 0, count = linkModels_->count(); i < count; ++i) models->addObject(linkAt(linkModels_, i));
    auto text = attributedText_ ? attributedText_->mutableCopy() : nullptr;
    for (std::size_t i = 0, count = links ? links->count() : 0; i < count; ++i) {
        auto link = linkAt(links, i);
        // A styled range past the end of the text is styled as far as the text goes.
        if (link->attributes() && text && link->result()) {
            const ns::Range styled = link->range().clippedTo(text->length());
            if (styled.length > 0) text->addAttributes(*link->attributes(), styled);
        }
        models->addObject(link);
    }
    setAttributedText(text);
    setNeedsDisplay();
    setLinkModels(rt::cast<ns::Array>(models->copy()));
}

rt::Ref<ns::URL> AttributedLabel::linkURLOf(const rt::Id& value) {
    if (auto string = rt::cast<ns::String>(value)) return ns::URL::URLWithString(string);
    return rt::cast<ns::URL>(value);
}

void AttributedLabel::addTruncationTokenLink(const ns::AttributedString& token, ns::Range lineRange) {
    if (token.length() == 0) return;
    auto url = linkURLOf(token.attributeAtIndex(ns::LinkAttributeName, 0));
    if (!url) return;
    const std::size_t length = std::min(token.length(), lineRange.max());
    const ns::Range range{lineRange.max() - length, length};
    for (const auto& link : linkList_) {
        const auto& result = link->result();
        if (result && result->range() == range && result->URL() && result->URL()->isEqual(url.get())) return;
    }
    auto models = ns::MutableArray::make();
    for (const auto& link : linkList_) models->addObject(link);
    models->addObject(AttributedLabelLink::makeFromLabel(*this, ns::TextCheckingResult::linkCheckingResult(range, url)));
    setLinkModels(rt::cast<ns::Array>(models->copy()));
}

// ---- Finding the link under a point ----

rt::Ref<AttributedLabelLink> AttributedLabel::linkAtCharacterIndex(long index) const {
    if (!attributedText_ || static_cast<std::size_t>(index) >= attributedText_->length()) return nullptr;
    for (auto link = linkList_.rbegin(); link != linkList_.rend(); ++link)
        if ((*link)->result() && (*link)->range().contains(static_cast<std::size_t>(index))) return *link;
    return nullptr;
}

rt::Ref<AttributedLabelLink> AttributedLabel::linkAtPoint(cg::Point point) const {
    if (!bounds().insetBy(-kLinkTouchMargin, -kLinkTouchMargin).contains(point)) return nullptr;
    if (linkModels_->count() == 0) return nullptr;
    if (auto link = linkAtCharacterIndex(static_cast<long>(characterIndexAtPoint(point)))) return link;
    if (!extendsLinkTouchArea_) return nullptr;
    for (double radius : kLinkProbeRadii)
        if (auto link = linkAtRadiusAroundPoint(radius, point)) return link;
    return nullptr;
}

rt::Ref<AttributedLabelLink> AttributedLabel::linkAtRadiusAroundPoint(double radius, cg::Point point) const {
    // The diagonal probes lie r√2 along each axis, so 2r away.
    const double r = radius, s = std::sqrt(2 * r * r);
    const cg::Point offsets[] = {{0, -r}, {0, r}, {-r, 0}, {r, 0}, {-s, -s}, {-s, s}, {s, s}, {s, -s}};
    rt::Ref<AttributedLabelLink> link;
    for (const cg::Point& offset : offsets) {
        link = linkAtCharacterIndex(
            static_cast<long>(characterIndexAtPoint({point.x + offset.x, point.y + offset.y})));
        if (link && link->result()) return link;
    }
    return link;
}

bool AttributedLabel::containslinkAtPoint(cg::Point point) const {
    return linkAtPoint(point) != nullptr;
}

// ---- The active link ----

void AttributedLabel::setActiveLink(const rt::Ref<AttributedLabelLink>& link) {
    activeLink_ = link;
    const rt::Ref<ns::Dictionary>& highlight =
        link && link->activeAttributes() ? link->activeAttributes() : activeLinkAttributes_;
    if (link && highlight && highlight->count() > 0) {
        if (!inactiveAttributedText_) inactiveAttributedText_ = attributedText_;
        if (!inactiveAttributedText_) return;
        auto text = inactiveAttributedText_->mutableCopy();
        const ns::Range range = link->range();
        if (range.length > 0 && range.max() - 1 < text->length()) text->addAttributes(*highlight, range);
        setAttributedText(text);
        setNeedsDisplay();
        ca::Transaction::flush();
    } else if (inactiveAttributedText_) {
        setAttributedText(std::exchange(inactiveAttributedText_, nullptr));
        setNeedsDisplay();
    }
}

// ---- Dimming ----

void AttributedLabel::tintColorDidChange() {
    if (!inactiveLinkAttributes_ || inactiveLinkAttributes_->count() == 0 || !attributedText_) return;
    const bool dimmed = tintAdjustmentMode() == ui::ViewTintAdjustmentMode::Dimmed;
    auto text = attributedText_->mutableCopy();
    for (const auto& link : linkList_) {
        const ns::Range range = link->range();
        if (!link->result() || range.max() > text->length()) continue;
        // Every key of the dictionary taken off goes, whatever its value, before the other is laid on.
        const rt::Ref<ns::Dictionary>& off = dimmed ? link->attributes() : link->inactiveAttributes();
        const rt::Ref<ns::Dictionary>& on = dimmed ? link->inactiveAttributes() : link->attributes();
        if (off)
            off->enumerateKeysAndObjects([&](const rt::Id& key, const rt::Id&, bool&) {
                if (auto name = rt::cast<ns::String>(key)) text->removeAttribute(name->utf8(), range);
            });
        if (on) text->addAttributes(*on, range);
    }
    setAttributedText(text);
    setNeedsDisplay();
}

// ---- Touches ----

rt::Ref<ui::View> AttributedLabel::hitTest(cg::Point point, const ui::Event* event) {
    if (isUserInteractionEnabled() && !isHidden() && alpha() >= kLinkMinimumAlpha && linkAtPoint(point))
        return rt::retained(this);
    return ui::Label::hitTest(point, event);
}

cg::Point AttributedLabel::touchLocation(const rt::Ref<ns::Set>& touches) const {
    auto touch = touches ? rt::cast<ui::Touch>(touches->anyObject()) : nullptr;
    return touch ? touch->locationInView(this) : cg::Point{};
}

void AttributedLabel::touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    setActiveLink(linkAtPoint(touchLocation(touches)));
    if (!activeLink_) ui::Label::touchesBegan(touches, event);
}

void AttributedLabel::touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    if (!activeLink_) return ui::Label::touchesMoved(touches, event);
    // Moving onto another link only ends the highlight.
    if (linkAtPoint(touchLocation(touches)) != activeLink_) setActiveLink(nullptr);
}

void AttributedLabel::touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    if (!activeLink_) return ui::Label::touchesCancelled(touches, event);
    setActiveLink(nullptr);
}

void AttributedLabel::touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    if (!activeLink_) return ui::Label::touchesEnded(touches, event);
    rt::Ref<AttributedLabelLink> link = activeLink_;
    if (link->linkTapBlock()) {
        rt::callStoredBlock(link->linkTapBlock(), rt::retained(this), link);
        setActiveLink(nullptr);
        return;
    }
    setActiveLink(nullptr);
    if (link->result()) reportLink(link->result(), nullptr);
}

bool AttributedLabel::gestureRecognizerShouldReceiveTouch(const rt::Id&, const rt::Id& touch) const {
    auto finger = rt::cast<ui::Touch>(touch);
    return finger && containslinkAtPoint(finger->locationInView(this));
}

bool AttributedLabel::canPerformAction(rt::Sel action, const rt::Id&) const {
    return action == rt::Sel("copy:");
}

void AttributedLabel::copyText(const rt::Id&) {
    ui::Pasteboard::generalPasteboard()->setString(text());
}

void AttributedLabel::longPressGestureDidFire(const rt::Id& sender) {
    auto recognizer = rt::cast<ui::GestureRecognizer>(sender);
    if (!recognizer || recognizer->state() != ui::GestureRecognizerState::Began) return;
    const cg::Point point = recognizer->locationInView(this);
    auto link = linkAtPoint(point);
    if (!link) return;
    // The recogniser took the finger when it recognised (its view's touches were cancelled, which
    // ends the highlight), so no tap follows.
    if (link->linkLongPressBlock())
        return rt::callStoredBlock(link->linkLongPressBlock(), rt::retained(this), link);
    if (link->result()) reportLink(link->result(), &point);
}

void AttributedLabel::reportLink(const rt::Ref<ns::TextCheckingResult>& result, const cg::Point* point) {
    const rt::Id delegate = delegate_.lock();
    if (!delegate) return;
    const rt::Id self = rt::retained(this);
    // One kind's method: the tap form, or the long-press form with the point last.
    auto tell = [&](const char* tap, const char* press, const auto&... values) {
        return point ? rt::tell(delegate, rt::Sel(press), self, values..., *point)
                     : rt::tell(delegate, rt::Sel(tap), self, values...);
    };
    bool told = false;
    switch (result->resultType()) {
    case ns::TextCheckingType::Date:
        if (result->timeZone())
            told = tell("attributedLabel:didSelectLinkWithDate:timeZone:duration:",
                        "attributedLabel:didLongPressLinkWithDate:timeZone:duration:atPoint:", result->date(),
                        result->timeZone(), result->duration());
        told = told || tell("attributedLabel:didSelectLinkWithDate:", "attributedLabel:didLongPressLinkWithDate:atPoint:",
                            result->date());
        break;
    case ns::TextCheckingType::Address:
        told = tell("attributedLabel:didSelectLinkWithAddress:", "attributedLabel:didLongPressLinkWithAddress:atPoint:",
                    result->addressComponents());
        break;
    case ns::TextCheckingType::Link:
        told = tell("attributedLabel:didSelectLinkWithURL:", "attributedLabel:didLongPressLinkWithURL:atPoint:",
                    result->URL());
        break;
    case ns::TextCheckingType::PhoneNumber:
        told = tell("attributedLabel:didSelectLinkWithPhoneNumber:",
                    "attributedLabel:didLongPressLinkWithPhoneNumber:atPoint:", result->phoneNumber());
        break;
    case ns::TextCheckingType::TransitInformation:
        told = tell("attributedLabel:didSelectLinkWithTransitInformation:",
                    "attributedLabel:didLongPressLinkWithTransitInformation:atPoint:", result->components());
        break;
    default:
        break;
    }
    if (!told)
        tell("attributedLabel:didSelectLinkWithTextCheckingResult:",
             "attributedLabel:didLongPressLinkWithTextCheckingResult:atPoint:", result);
}

} // namespace tl
