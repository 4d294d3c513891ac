// The second attributed label's links: detection, the explicit list, styling in the composed
// string and the link at an index.

#include <utility>

#include "platform/foundation/array.h"
#include "platform/foundation/data_detector.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/foundation/regular_expression.h"
#include "platform/foundation/url.h"
#include "platform/uikit/color.h"
#include "ui/labels/rl_attributed_label.h"
#include "ui/labels/rl_string_additions.h"

namespace rl {

namespace {

// The first link of `links` whose range holds `index`; its end is outside it.
rt::Ref<ns::TextCheckingResult> linksFirstHolding(const ns::Array* links, long index) {
    if (!links || index < 0) return nullptr;
    for (const auto& object : *links) {
        auto link = rt::downcast<ns::TextCheckingResult>(object);
        if (link->range().contains(static_cast<std::size_t>(index))) return link;
    }
    return nullptr;
}

} // namespace

void AttributedLabel::setAutoDetectLinks(bool detect) {
    autoDetectLinks_ = detect;
    attributedTextDidChange();
}

void AttributedLabel::setDetectedLinkLocations(rt::Ref<ns::Array> links) {
    if (links == detected_) return;
    detected_ = std::move(links);
    accessibleElements_ = nullptr;
}

void AttributedLabel::setExplicitLinkLocations(rt::Ref<ns::MutableArray> links) {
    if (links == explicit_) return;
    explicit_ = std::move(links);
    accessibleElements_ = nullptr;
}

void AttributedLabel::addLink(const rt::Ref<ns::URL>& url, ns::Range range) {
    // A link is kept as far as the text goes, and dropped when none of it is on the text.
    const ns::Range within = range.clippedTo(string_ ? string_->length() : 0);
    if (!(within == range)) {
        ns::log("RLAttributedLabel: the link %@ at {%lu, %lu} runs past the text's %lu characters; %s", url,
                range.location, range.length, within.max(), within.length ? "clipped" : "dropped");
        if (within.length == 0) return;
    }
    if (!explicit_) explicit_ = ns::MutableArray::make();
    explicit_->addObject(ns::TextCheckingResult::linkCheckingResult(within, url));
    attributedTextDidChange();
}

void AttributedLabel::removeAllExplicitLinks() {
    explicit_ = nullptr;
    attributedTextDidChange();
}

rt::Ref<ns::Array> AttributedLabel::matchesInString(const ns::String& text, std::uint64_t types) {
    auto detector = ns::DataDetector::dataDetectorWithTypes(types);
    return detector ? detector->matchesInString(text, {0, text.length()}) : nullptr;
}

void AttributedLabel::detectLinks() {
    if (!string_ || !autoDetectLinks_ || linksDetected_) return;
    if (deferDetection_) return deferDetection();
    detected_ = matchesInString(*string_->string(), detectorTypes_);
    linksDetected_ = true;
}

void AttributedLabel::deferDetection() {
    if (detecting_.exchange(true)) return; // one detection at a time
    // The string object is immutable: an edit of the text makes another.
    auto scanned = string_->string();
    auto self = rt::retained(this);
    const std::uint64_t types = detectorTypes_; // the worker touches nothing of the label's but its reference
    // The label is handed on to the main queue, so it is released there.
    dispatch::async(dispatch::Queue::global(), [self = std::move(self), scanned, types]() mutable {
        auto results = matchesInString(*scanned, types);
        dispatch::async(dispatch::Queue::main(), [self = std::move(self), scanned, results] {
            // Cleared here, with the results stored, so that a draw in between starts no second run.
            self->detecting_ = false;
            const auto& current = self->string_;
            if (current && current->string()->isEqual(scanned.get())) {
                self->detected_ = results;
                self->linksDetected_ = true;
                self->attributedTextDidChange();
            } else {
                // Found in a text the label no longer shows: drop them and look again.
                self->setNeedsDisplay();
            }
        });
    });
}

void AttributedLabel::processLinksInAttributedString(const ns::AttributedString& text) {
    auto links = ns::MutableArray::make();
    text.enumerateAttribute(LinkAttributeName, rangeOfEntireString(text), [&](const rt::Id& value, ns::Range, bool&) {
        if (value) links->addObject(value);
    });
    explicit_ = links;
}

void AttributedLabel::applyLinkStyle(const ns::Array* links, ns::MutableAttributedString& str) const {
    if (!links) return;
    for (const auto& object : *links) {
        auto link = rt::downcast<ns::TextCheckingResult>(object);
        // A link the text was shortened under (edited in place, or the list set) goes as far as
        // the text does.
        const auto range = link->range().clippedTo(str.length());
        if (range.length == 0) continue;
        if (linkColor_) rl::setTextColor(str, linkColor_, range);
        str.removeAttribute(LinkAttributeName, range);
        str.addAttribute(LinkAttributeName, link, range);
        if (linksHaveUnderlines_) rl::setUnderlineStyle(str, 1, 0, range);
        if (linkAttributes_ && linkAttributes_->count()) str.addAttributes(*linkAttributes_, range);
        if (highlightedLinkAttributes_ && highlightedLinkAttributes_->count() && touchedLink_ &&
            touchedLink_->range() == link->range())
            str.addAttributes(*highlightedLinkAttributes_, range);
    }
}

rt::Ref<ns::TextCheckingResult> AttributedLabel::linkAtIndex(long index) {
    // Detected links win over explicit ones, and the first of a list over later ones.
    if (autoDetectLinks_) {
        detectLinks();
        if (auto link = linksFirstHolding(detected_.get(), index)) return link;
    }
    return linksFirstHolding(explicit_.get(), index);
}

void AttributedLabel::setLinkColor(rt::Ref<ui::Color> color) {
    if (color == linkColor_) return;
    linkColor_ = std::move(color);
    attributedTextDidChange();
}

void AttributedLabel::setHighlightedLinkBackgroundColor(rt::Ref<ui::Color> color) {
    if (color == highlightedLinkBackground_) return;
    highlightedLinkBackground_ = std::move(color);
    attributedTextDidChange();
}

void AttributedLabel::setLinksHaveUnderlines(bool underlines) {
    if (underlines == linksHaveUnderlines_) return;
    linksHaveUnderlines_ = underlines;
    attributedTextDidChange();
}

void AttributedLabel::setAttributesForLinks(rt::Ref<ns::Dictionary> attributes) {
    if (attributes == linkAttributes_) return;
    linkAttributes_ = std::move(attributes);
    attributedTextDidChange();
}

void AttributedLabel::setAttributesForHighlightedLink(rt::Ref<ns::Dictionary> attributes) {
    if (attributes == highlightedLinkAttributes_) return;
    highlightedLinkAttributes_ = std::move(attributes);
    attributedTextDidChange();
}

void AttributedLabel::setTouchedLink(rt::Ref<ns::TextCheckingResult> link) {
    if (link == touchedLink_) return;
    touchedLink_ = std::move(link);
    if (highlightedLinkAttributes_ && highlightedLinkAttributes_->count()) attributedTextDidChange();
}

} // namespace rl
