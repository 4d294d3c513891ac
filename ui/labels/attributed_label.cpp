// The attributed label's model: its settings, the text in its three layers, and sizing.

#include "ui/labels/attributed_label.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/data_detector.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/text/typesetter.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/long_press_gesture_recognizer.h"
#include "platform/uikit/text_attachment.h"
#include "ui/labels/attributed_label_link.h"

namespace tl {

RT_DEFINE_CLASS(
    AttributedLabel, "TLAttributedLabel", ui::Label,
    rt::prop("text", &AttributedLabel::textObject, &AttributedLabel::setText, {.memory = rt::Memory::Copy}),
    rt::prop("attributedText", &AttributedLabel::attributedText, &AttributedLabel::setAttributedText,
             {.memory = rt::Memory::Copy}),
    rt::prop("delegate", &AttributedLabel::delegate, &AttributedLabel::setDelegate, {.memory = rt::Memory::Weak}),
    rt::prop("enabledTextCheckingTypes", &AttributedLabel::enabledTextCheckingTypes,
             &AttributedLabel::setEnabledTextCheckingTypes),
    rt::prop("dataDetectorTypes", &AttributedLabel::dataDetectorTypes, &AttributedLabel::setDataDetectorTypes),
    rt::prop("links", &AttributedLabel::links),
    rt::prop("linkModels", &AttributedLabel::linkModels, &AttributedLabel::setLinkModels),
    rt::prop("activeLink", &AttributedLabel::activeLink, &AttributedLabel::setActiveLink),
    rt::method("gestureRecognizer:shouldReceiveTouch:", &AttributedLabel::gestureRecognizerShouldReceiveTouch),
    rt::method("canPerformAction:withSender:", &AttributedLabel::canPerformAction),
    rt::method("copy:", &AttributedLabel::copyText),
    rt::prop("linkAttributes", &AttributedLabel::linkAttributes, &AttributedLabel::setLinkAttributes),
    rt::prop("activeLinkAttributes", &AttributedLabel::activeLinkAttributes, &AttributedLabel::setActiveLinkAttributes),
    rt::prop("inactiveLinkAttributes", &AttributedLabel::inactiveLinkAttributes,
             &AttributedLabel::setInactiveLinkAttributes),
    rt::prop("linkBackgroundEdgeInset", &AttributedLabel::linkBackgroundEdgeInset,
             &AttributedLabel::setLinkBackgroundEdgeInset),
    rt::prop("extendsLinkTouchArea", &AttributedLabel::extendsLinkTouchArea, &AttributedLabel::setExtendsLinkTouchArea),
    rt::prop("shadowRadius", &AttributedLabel::shadowRadius, &AttributedLabel::setShadowRadius),
    rt::prop("highlightedShadowRadius", &AttributedLabel::highlightedShadowRadius,
             &AttributedLabel::setHighlightedShadowRadius),
    rt::prop("highlightedShadowOffset", &AttributedLabel::highlightedShadowOffset,
             &AttributedLabel::setHighlightedShadowOffset),
    rt::prop("highlightedShadowColor", &AttributedLabel::highlightedShadowColor,
             &AttributedLabel::setHighlightedShadowColor),
    rt::prop("kern", &AttributedLabel::kern, &AttributedLabel::setKern),
    rt::prop("firstLineIndent", &AttributedLabel::firstLineIndent, &AttributedLabel::setFirstLineIndent),
    rt::prop("leading", &AttributedLabel::leading, &AttributedLabel::setLeading),
    rt::prop("lineSpacing", &AttributedLabel::lineSpacing, &AttributedLabel::setLineSpacing),
    rt::prop("minimumLineHeight", &AttributedLabel::minimumLineHeight, &AttributedLabel::setMinimumLineHeight),
    rt::prop("maximumLineHeight", &AttributedLabel::maximumLineHeight, &AttributedLabel::setMaximumLineHeight),
    rt::prop("lineHeightMultiple", &AttributedLabel::lineHeightMultiple, &AttributedLabel::setLineHeightMultiple),
    rt::prop("textInsets", &AttributedLabel::textInsets, &AttributedLabel::setTextInsets),
    rt::prop("verticalAlignment", &AttributedLabel::verticalAlignment, &AttributedLabel::setVerticalAlignment),
    rt::prop("truncationTokenString", &AttributedLabel::truncationTokenString,
             &AttributedLabel::setTruncationTokenString),
    rt::prop("truncationTokenStringAttributes", &AttributedLabel::truncationTokenStringAttributes,
             &AttributedLabel::setTruncationTokenStringAttributes),
    rt::prop("attributedTruncationToken", &AttributedLabel::attributedTruncationToken,
             &AttributedLabel::setAttributedTruncationToken),
    rt::prop("longPressGestureRecognizer", &AttributedLabel::longPressGestureRecognizer),
    rt::method("longPressGestureDidFire:", &AttributedLabel::longPressGestureDidFire),
    rt::prop("accessibilityElements", &AttributedLabel::accessibilityElements,
             &AttributedLabel::setAccessibilityElements),
    rt::method("accessibilityElementCount", &AttributedLabel::accessibilityElementCount),
    rt::method("accessibilityElementAtIndex:", &AttributedLabel::accessibilityElementAtIndex),
    rt::method("indexOfAccessibilityElement:", &AttributedLabel::indexOfAccessibilityElement),
    rt::classMethod("sizeThatFitsAttributedString:withConstraints:limitedToNumberOfLines:",
                    &AttributedLabel::sizeThatFitsAttributedString))

// The atomic detector property, apart from the label so that a detection task holds it alone.
struct AttributedLabel::DetectorSlot {
    mutable std::mutex lock;
    rt::Ref<ns::DataDetector> detector;

    rt::Ref<ns::DataDetector> get() const {
        std::lock_guard guard(lock);
        return detector;
    }
    void set(rt::Ref<ns::DataDetector> value) {
        std::lock_guard guard(lock);
        detector = std::move(value);
    }
};

// ---- Creation ----

AttributedLabel::AttributedLabel(const cg::Rect& frame)
    : ui::Label(frame), detector_(std::make_shared<DetectorSlot>()) {
    setUserInteractionEnabled(true); // a touch is delivered to one view: there is no multiple touch to turn off
    textInsets_ = ui::EdgeInsets::zero();
    lineHeightMultiple_ = 1.0;
    setLinkModels(ns::Array::make());
    linkBackgroundEdgeInset_ = {0, -1, 0, -1};
    auto link = ns::MutableDictionary::make(), active = ns::MutableDictionary::make(),
         inactive = ns::MutableDictionary::make();
    link->setObjectForKey(ns::Number::withBool(true), ns::UnderlineStyleAttributeName);
    active->setObjectForKey(ns::Number::withBool(false), ns::UnderlineStyleAttributeName);
    inactive->setObjectForKey(ns::Number::withBool(false), ns::UnderlineStyleAttributeName);
    link->setObjectForKey(ui::Color::blueColor(), ns::CTForegroundColorAttributeName);
    active->setObjectForKey(ui::Color::redColor(), ns::CTForegroundColorAttributeName);
    inactive->setObjectForKey(ui::Color::grayColor(), ns::CTForegroundColorAttributeName);
    linkAttributes_ = rt::cast<ns::Dictionary>(link->copy());
    activeLinkAttributes_ = rt::cast<ns::Dictionary>(active->copy());
    inactiveLinkAttributes_ = rt::cast<ns::Dictionary>(inactive->copy());
    extendsLinkTouchArea_ = true;
    rt::Id self = rt::retained(this);
    longPress_ = ui::LongPressGestureRecognizer::withTargetAction(self, rt::Sel("longPressGestureDidFire:"));
    longPress_->setDelegate(self);
    addGestureRecognizer(longPress_);
}

AttributedLabel::AttributedLabel() : AttributedLabel(cg::Rect::zero()) {}

// The framesetters go with their references; the recogniser leaves the view.
AttributedLabel::~AttributedLabel() {
    if (longPress_) removeGestureRecognizer(longPress_);
}

rt::Ref<AttributedLabel> AttributedLabel::make(const cg::Rect& frame) {
    return rt::make<AttributedLabel>(frame);
}

// ---- Plain settings: stored, nothing redrawn ----

template <class T>
void AttributedLabel::store(T& slot, T value, const char* key) {
    rt::KeyChange change(this, key);
    slot = std::move(value);
}

void AttributedLabel::setDelegate(const rt::Id& delegate) {
    rt::KeyChange change(this, "delegate");
    delegate_ = delegate;
}
void AttributedLabel::setEnabledTextCheckingTypes(std::uint64_t types) {
    if (types == checkingTypes_) return;
    store(checkingTypes_, types, "enabledTextCheckingTypes");
    detector_->set(types ? ns::DataDetector::dataDetectorWithTypes(types) : nullptr);
}
void AttributedLabel::setLinkAttributes(rt::Ref<ns::Dictionary> attributes) {
    store(linkAttributes_, std::move(attributes), "linkAttributes");
}
void AttributedLabel::setActiveLinkAttributes(rt::Ref<ns::Dictionary> attributes) {
    store(activeLinkAttributes_, std::move(attributes), "activeLinkAttributes");
}
void AttributedLabel::setInactiveLinkAttributes(rt::Ref<ns::Dictionary> attributes) {
    store(inactiveLinkAttributes_, std::move(attributes), "inactiveLinkAttributes");
}
void AttributedLabel::setLinkBackgroundEdgeInset(const ui::EdgeInsets& insets) {
    store(linkBackgroundEdgeInset_, insets, "linkBackgroundEdgeInset");
}
void AttributedLabel::setExtendsLinkTouchArea(bool extends) {
    store(extendsLinkTouchArea_, extends, "extendsLinkTouchArea");
}
void AttributedLabel::setShadowRadius(double radius) {
    store(shadowRadius_, radius, "shadowRadius");
}
void AttributedLabel::setHighlightedShadowRadius(double radius) {
    store(highlightedShadowRadius_, radius, "highlightedShadowRadius");
}
void AttributedLabel::setHighlightedShadowOffset(cg::Size offset) {
    store(highlightedShadowOffset_, offset, "highlightedShadowOffset");
}
void AttributedLabel::setHighlightedShadowColor(rt::Ref<ui::Color> color) {
    store(highlightedShadowColor_, std::move(color), "highlightedShadowColor");
}
void AttributedLabel::setKern(double kern) {
    store(kern_, kern, "kern");
}
void AttributedLabel::setFirstLineIndent(double indent) {
    store(firstLineIndent_, indent, "firstLineIndent");
}
void AttributedLabel::setLineSpacing(double spacing) {
    store(lineSpacing_, spacing, "lineSpacing");
}
void AttributedLabel::setMinimumLineHeight(double height) {
    store(minimumLineHeight_, height, "minimumLineHeight");
}
void AttributedLabel::setMaximumLineHeight(double height) {
    store(maximumLineHeight_, height, "maximumLineHeight");
}
void AttributedLabel::setLineHeightMultiple(double multiple) {
    store(lineHeightMultiple_, multiple, "lineHeightMultiple");
}
void AttributedLabel::setTextInsets(const ui::EdgeInsets& insets) {
    store(textInsets_, insets, "textInsets");
}
void AttributedLabel::setVerticalAlignment(VerticalAlignment alignment) {
    store(verticalAlignment_, alignment, "verticalAlignment");
}
void AttributedLabel::setTruncationTokenString(rt::Ref<ns::String> token) {
    store(truncationTokenString_, std::move(token), "truncationTokenString");
}
void AttributedLabel::setTruncationTokenStringAttributes(rt::Ref<ns::Dictionary> attributes) {
    store(truncationTokenStringAttributes_, std::move(attributes), "truncationTokenStringAttributes");
}
void AttributedLabel::setAttributedTruncationToken(rt::Ref<ns::AttributedString> token) {
    store(attributedTruncationToken_, std::move(token), "attributedTruncationToken");
}


rt::Ref<ns::DataDetector> AttributedLabel::dataDetector() const {
    return detector_->get();
}

void AttributedLabel::detectLinks(const rt::Ref<ns::AttributedString>& text) {
    rt::Weak<AttributedLabel> weakSelf = rt::retained(this);
    dispatch::async(dispatch::Queue::global(), [weakSelf, slot = detector_, text] {
        const rt::Ref<ns::DataDetector> detector = slot->get();
        if (!detector) return;
        const rt::Ref<ns::Array> matches = detector->matchesInString(*text->string());
        if (matches->count() == 0) return;
        dispatch::sync(dispatch::Queue::main(), [&] {
            const rt::Ref<AttributedLabel> self = weakSelf.lock();
            if (self && self->attributedText_ && self->attributedText_->string()->isEqualToString(text->string().get()))
                self->addLinksWithTextCheckingResults(matches, self->linkAttributes_);
        });
    });
}

// ---- Text ----

rt::Ref<ns::Dictionary> inheritedLabelAttributes(const AttributedLabel& label) {
    const double fontLineHeight = label.font()->lineHeight() * label.lineHeightMultiple();
    auto style = ns::MutableParagraphStyle::make();
    style->setAlignment(long(label.textAlignment()));
    style->setLineSpacing(label.lineSpacing());
    style->setMinimumLineHeight(label.minimumLineHeight() > 0 ? label.minimumLineHeight() : fontLineHeight);
    style->setMaximumLineHeight(label.maximumLineHeight() > 0 ? label.maximumLineHeight() : fontLineHeight);
    style->setLineHeightMultiple(label.lineHeightMultiple());
    style->setFirstLineHeadIndent(label.firstLineIndent());
    style->setLineBreakMode(label.numberOfLines() == 1 ? ns::ParagraphStyle::LineBreak(long(label.lineBreakMode()))
                                                       : ns::ParagraphStyle::LineBreak::WordWrapping);
    auto attributes = ns::MutableDictionary::make();
    attributes->setObjectForKey(label.font(), ns::FontAttributeName);
    attributes->setObjectForKey(label.textColor(), ns::CTForegroundColorAttributeName);
    attributes->setObjectForKey(ns::Number::withDouble(label.kern()), ns::KernAttributeName);
    attributes->setObjectForKey(style, ns::ParagraphStyleAttributeName);
    return rt::cast<ns::Dictionary>(attributes->copy());
}

void AttributedLabel::setText(const rt::Id& text) {
    if (rt::cast<ns::String>(text)) return setTextAfterInheritingLabelAttributes(text);
    auto attributed = rt::cast<ns::AttributedString>(text);
    setAttributedText(attributed);
    setActiveLink(nullptr);
    setLinkModels(ns::Array::make());
    if (!attributedText_) return;
    if (checkingTypes_ != 0) detectLinks(attributed);
    // A URL, or a string that parses as one; other values make no link. Gathered first: adding a
    // link styles the text anew, replacing the string being walked.
    std::vector<std::pair<rt::Ref<ns::URL>, ns::Range>> links;
    attributedText_->enumerateAttribute(ns::LinkAttributeName, {0, attributedText_->length()},
                                        [&](const rt::Id& value, ns::Range range, bool&) {
                                            if (auto url = linkURLOf(value)) links.emplace_back(url, range);
                                        });
    for (const auto& [url, range] : links) addLinkToURL(url, range);
}

void AttributedLabel::setTextAfterInheritingLabelAttributes(const rt::Id& text, const Configure& configure) {
    rt::Ref<ns::MutableAttributedString> string;
    if (auto plain = rt::cast<ns::String>(text)) {
        string = ns::MutableAttributedString::make(plain, inheritedLabelAttributes(*this));
    } else if (auto attributed = rt::cast<ns::AttributedString>(text)) {
        string = attributed->mutableCopy();
        string->addAttributes(*inheritedLabelAttributes(*this), {0, string->length()});
    } else {
        return setText(nullptr);
    }
    setText(configure ? rt::Id(configure(string)) : rt::Id(string));
}

void AttributedLabel::setAttributedText(rt::Ref<ns::AttributedString> text) {
    if (text && text->isEqualToAttributedString(attributedText_.get())) return;
    {
        rt::KeyChange change(this, "attributedText");
        auto copy = text ? rt::cast<ns::AttributedString>(text->copy()) : nullptr;
        rt::SyncGuard lock(this); // the framesetter's rebuild reads the text on any thread
        attributedText_ = std::move(copy);
    }
    setNeedsFramesetter();
    setNeedsDisplay();
    invalidateIntrinsicContentSize();
    ui::Label::setText(attributedText_ ? attributedText_->string() : nullptr);
}

rt::Ref<ns::AttributedString> AttributedLabel::rendered(const rt::Ref<ns::AttributedString>& text) const {
    rt::Ref<ns::MutableAttributedString> rendered;
    text->enumerateAttribute(ns::CTForegroundColorFromContextAttributeName, {0, text->length()},
                             [&](const rt::Id& marker, ns::Range range, bool&) {
                                 if (!marker) return;
                                 if (!rendered) rendered = text->mutableCopy();
                                 auto colour = ns::MutableDictionary::make();
                                 colour->setObjectForKey(textColor(), ns::CTForegroundColorAttributeName);
                                 rendered->setAttributes(colour, range);
                             });
    return ui::withAttachmentPlaceholders(rendered ? rt::cast<ns::AttributedString>(rendered->copy()) : text);
}

rt::Ref<ns::AttributedString> AttributedLabel::renderedAttributedText() const {
    rt::SyncGuard lock(this);
    if (!rendered_ && attributedText_) rendered_ = rendered(attributedText_);
    return rendered_;
}

void AttributedLabel::setNeedsFramesetter() {
    rt::SyncGuard lock(this);
    rendered_ = nullptr;
    needsFramesetter_ = true;
}

rt::Ref<ct::Framesetter> AttributedLabel::framesetter() const {
    // Under the label's lock, the read as well as the rebuild: callers racing after one change make
    // one framesetter between them, and none reads the one a change on the main thread lets go.
    rt::SyncGuard lock(this);
    if (needsFramesetter_) {
        rt::Ref<ns::AttributedString> rendered = renderedAttributedText();
        framesetter_ = rendered ? ct::Framesetter::make(*rendered) : nullptr;
        highlightFramesetter_ = nullptr;
        builds_.fetch_add(rendered ? 1 : 0, std::memory_order_relaxed);
        needsFramesetter_ = false;
    }
    return framesetter_;
}

rt::Ref<ct::Framesetter> AttributedLabel::highlightFramesetter() const {
    rt::SyncGuard lock(this);
    return highlightFramesetter_;
}

void AttributedLabel::setTextColor(rt::Ref<ui::Color> color) {
    const rt::Ref<ui::Color> old = textColor();
    {
        rt::SyncGuard lock(this); // the rendered text, made on any thread, reads the colour
        ui::Label::setTextColor(std::move(color));
    }
    // By identity, as the rendered text holds the object: an equal colour that is another object
    // rebuilds too.
    if (old != textColor()) {
        setNeedsFramesetter();
        setNeedsDisplay();
    }
}

void AttributedLabel::setHighlighted(bool highlighted) {
    ui::Label::setHighlighted(highlighted);
    setNeedsDisplay();
}

// ---- Sizing ----

cg::Size AttributedLabel::suggestedSizeForFramesetter(const ct::Framesetter& framesetter,
                                                      const ns::AttributedString& text, cg::Size size,
                                                      unsigned long limit) {
    ns::Range range{0, text.length()};
    cg::Size constraints{size.width, kUnlimited};
    if (limit == 1) constraints = {kUnlimited, kUnlimited};
    if (limit >= 2) {
        auto frame = framesetter.createFrame({0, 0}, cg::Rect::make(0, 0, size.width, kUnlimited));
        if (const auto& lines = frame->lines(); !lines.empty())
            range.length = lines[std::min<std::size_t>(limit, lines.size()) - 1]->stringRange().max();
    }
    const cg::Size suggested = framesetter.suggestFrameSizeWithConstraints(range, constraints);
    return {std::ceil(suggested.width), std::ceil(suggested.height)};
}

cg::Size AttributedLabel::sizeThatFitsAttributedString(const rt::Ref<ns::AttributedString>& text, cg::Size constraints,
                                                       unsigned long limit) {
    if (!text || text->length() == 0) return {0, 0};
    const rt::Ref<ns::AttributedString> placed = ui::withAttachmentPlaceholders(text);
    return suggestedSizeForFramesetter(*ct::Framesetter::make(*placed), *placed, constraints, limit);
}

cg::Size AttributedLabel::sizeThatFits(cg::Size size) const {
    return measuredSize(size.width, numberOfLines());
}

cg::Size AttributedLabel::measuredSize(double width, long lines, cg::Size* unbroken) const {
    if (!attributedText_) return ui::Label::measuredSize(width, lines, unbroken);
    // The token only lengthens the range measured over the label's own framesetter, which the
    // engine holds to the text.
    rt::Ref<ns::AttributedString> measured = attributedText_;
    if (attributedTruncationToken_) {
        auto joined = attributedText_->mutableCopy();
        joined->appendAttributedString(*attributedTruncationToken_);
        measured = joined;
    }
    const rt::Ref<ct::Framesetter> setter = framesetter();
    const auto limit = static_cast<unsigned long>(std::max(0L, lines));
    auto fit = [&](double w) {
        const cg::Size size = suggestedSizeForFramesetter(*setter, *measured, {w > 0 ? w : kUnlimited, 0}, limit);
        return cg::Size{size.width + textInsets_.left + textInsets_.right,
                        size.height + textInsets_.top + textInsets_.bottom};
    };
    if (unbroken) *unbroken = fit(0);
    return fit(width);
}

} // namespace tl
