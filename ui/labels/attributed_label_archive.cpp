// The attributed label's archive and its links'.

#include <cstdint>

#include "platform/foundation/array.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/dictionary.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"
#include "platform/uikit/color.h"
#include "ui/labels/attributed_label.h"
#include "ui/labels/attributed_label_link.h"

namespace tl {

// ---- The link ----

void AttributedLabelLink::encodeWithCoder(ns::Coder& coder) const {
    coder.encodeObject(result_, "result");
    coder.encodeObject(attributes_, "attributes");
    coder.encodeObject(activeAttributes_, "activeAttributes");
    coder.encodeObject(inactiveAttributes_, "inactiveAttributes");
    coder.encodeObject(accessibilityValue(), "accessibilityValue");
}

rt::Id AttributedLabelLink::initWithCoder(ns::Coder& coder) {
    auto dictionary = [&](const char* key) {
        auto value = coder.decodeObjectOfClass<ns::Dictionary>(key);
        return value ? rt::cast<ns::Dictionary>(value->copy()) : nullptr;
    };
    result_ = coder.decodeObjectOfClass<ns::TextCheckingResult>("result");
    attributes_ = dictionary("attributes");
    activeAttributes_ = dictionary("activeAttributes");
    inactiveAttributes_ = dictionary("inactiveAttributes");
    setAccessibilityValue(coder.decodeObjectOfClass<ns::String>("accessibilityValue"));
    return rt::retained(this);
}

// ---- The label ----

namespace {

// The CGFloat settings, in the order written: each a double, read back at single precision.
struct LabelArchiveLength {
    const char* key;
    double (AttributedLabel::*get)() const noexcept;
    void (AttributedLabel::*set)(double);
};

void labelArchiveLengths(ns::Coder& coder, const AttributedLabel& label, const LabelArchiveLength* begin,
                         const LabelArchiveLength* end) {
    for (auto length = begin; length != end; ++length)
        coder.encodeObject(ns::Number::withDouble((label.*length->get)()), length->key);
}

void labelUnarchiveLengths(ns::Coder& coder, AttributedLabel& label, const LabelArchiveLength* begin,
                           const LabelArchiveLength* end) {
    for (auto length = begin; length != end; ++length)
        if (auto number = coder.containsValueForKey(length->key) ? coder.decodeObjectOfClass<ns::Number>(length->key)
                                                                 : nullptr)
            (label.*length->set)(static_cast<double>(number->floatValue()));
}

constexpr LabelArchiveLength kLabelShadowLengths[] = {
    {"shadowRadius", &AttributedLabel::shadowRadius, &AttributedLabel::setShadowRadius},
    {"highlightedShadowRadius", &AttributedLabel::highlightedShadowRadius, &AttributedLabel::setHighlightedShadowRadius},
};
// Both line heights are written too, so that an archive keeps them.
constexpr LabelArchiveLength kLabelTextLengths[] = {
    {"kern", &AttributedLabel::kern, &AttributedLabel::setKern},
    {"firstLineIndent", &AttributedLabel::firstLineIndent, &AttributedLabel::setFirstLineIndent},
    {"lineSpacing", &AttributedLabel::lineSpacing, &AttributedLabel::setLineSpacing},
    {"minimumLineHeight", &AttributedLabel::minimumLineHeight, &AttributedLabel::setMinimumLineHeight},
    {"maximumLineHeight", &AttributedLabel::maximumLineHeight, &AttributedLabel::setMaximumLineHeight},
    {"lineHeightMultiple", &AttributedLabel::lineHeightMultiple, &AttributedLabel::setLineHeightMultiple},
};

constexpr const char* kLabelLinkAttributeKeys[] = {"linkAttributes", "activeLinkAttributes", "inactiveLinkAttributes"};

} // namespace

void AttributedLabel::encodeWithCoder(ns::Coder& coder) const {
    ui::Label::encodeWithCoder(coder);
    coder.encodeObject(ns::Number::withUnsignedLongLong(checkingTypes_), "enabledTextCheckingTypes");
    coder.encodeObject(linkModels_, "linkModels");
    const rt::Ref<ns::Dictionary>* dictionaries[] = {&linkAttributes_, &activeLinkAttributes_, &inactiveLinkAttributes_};
    for (std::size_t i = 0; i < 3; ++i) coder.encodeObject(*dictionaries[i], kLabelLinkAttributeKeys[i]);
    labelArchiveLengths(coder, *this, std::begin(kLabelShadowLengths), std::end(kLabelShadowLengths));
    coder.encodeObject(ns::Value::with(highlightedShadowOffset_), "highlightedShadowOffset");
    coder.encodeObject(highlightedShadowColor_, "highlightedShadowColor");
    labelArchiveLengths(coder, *this, std::begin(kLabelTextLengths), std::end(kLabelTextLengths));
    coder.encodeObject(ns::Value::with(textInsets_), "textInsets");
    coder.encodeInt64(static_cast<std::int64_t>(verticalAlignment_), "verticalAlignment");
    coder.encodeObject(truncationTokenString_, "truncationTokenString");
    coder.encodeObject(ns::String::make(ui::stringFromEdgeInsets(linkBackgroundEdgeInset_)), "linkBackgroundEdgeInset");
    coder.encodeObject(attributedText_, "attributedText");
    coder.encodeObject(text(), "text");
}

rt::Id AttributedLabel::initWithCoder(ns::Coder& coder) {
    if (!ui::Label::initWithCoder(coder)) return nullptr;
    // Taken before the links are added, which set the (still empty) attributed text.
    const rt::Ref<ns::String> baseText = text();
    auto has = [&](const char* key) { return coder.containsValueForKey(key); };
    if (auto types = has("enabledTextCheckingTypes") ? coder.decodeObjectOfClass<ns::Number>("enabledTextCheckingTypes")
                                                     : nullptr)
        setEnabledTextCheckingTypes(types->unsignedLongLongValue());
    const auto attributes = [&](std::size_t index) {
        return coder.decodeObjectOfClass<ns::Dictionary>(kLabelLinkAttributeKeys[index]);
    };
    if (has(kLabelLinkAttributeKeys[0])) setLinkAttributes(attributes(0));
    if (has(kLabelLinkAttributeKeys[1])) setActiveLinkAttributes(attributes(1));
    if (has(kLabelLinkAttributeKeys[2])) setInactiveLinkAttributes(attributes(2));
    if (auto links = has("links") ? coder.decodeObjectOfClass<ns::Array>("links") : nullptr)
        addLinksWithTextCheckingResults(links, nullptr);
    if (has("linkModels")) setLinkModels(coder.decodeObjectOfClass<ns::Array>("linkModels"));
    labelUnarchiveLengths(coder, *this, std::begin(kLabelShadowLengths), std::end(kLabelShadowLengths));
    if (auto offset = has("highlightedShadowOffset") ? coder.decodeObjectOfClass<ns::Value>("highlightedShadowOffset")
                                                     : nullptr)
        setHighlightedShadowOffset(offset->get<cg::Size>());
    if (has("highlightedShadowColor"))
        setHighlightedShadowColor(coder.decodeObjectOfClass<ui::Color>("highlightedShadowColor"));
    labelUnarchiveLengths(coder, *this, std::begin(kLabelTextLengths), std::end(kLabelTextLengths));
    if (auto insets = has("textInsets") ? coder.decodeObjectOfClass<ns::Value>("textInsets") : nullptr)
        setTextInsets(insets->get<ui::EdgeInsets>());
    if (has("verticalAlignment"))
        setVerticalAlignment(static_cast<VerticalAlignment>(coder.decodeInt64("verticalAlignment")));
    if (has("truncationTokenString"))
        setTruncationTokenString(coder.decodeObjectOfClass<ns::String>("truncationTokenString"));
    if (auto inset = has("linkBackgroundEdgeInset") ? coder.decodeObjectOfClass<ns::String>("linkBackgroundEdgeInset")
                                                    : nullptr)
        setLinkBackgroundEdgeInset(ui::edgeInsetsFromString(inset->utf8()));
    if (has("attributedText"))
        setAttributedText(coder.decodeObjectOfClass<ns::AttributedString>("attributedText"));
    else
        setText(rt::Id(baseText));
    return rt::retained(this);
}

} // namespace tl
