// The link record and the label's delegate protocol.

#include "ui/labels/attributed_label_link.h"

#include "platform/foundation/date.h"
#include "platform/foundation/date_formatter.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"
#include "ui/labels/attributed_label.h"

namespace tl {

RT_DEFINE_CLASS(AttributedLabelLink, "TLAttributedLabelLink", rt::Object,
                rt::prop("result", &AttributedLabelLink::result),
                rt::prop("attributes", &AttributedLabelLink::attributes),
                rt::prop("activeAttributes", &AttributedLabelLink::activeAttributes),
                rt::prop("inactiveAttributes", &AttributedLabelLink::inactiveAttributes),
                rt::prop("accessibilityValue", &AttributedLabelLink::accessibilityValue,
                         &AttributedLabelLink::setAccessibilityValue, {.memory = rt::Memory::Copy}),
                ns::adoptsCoding())

const rt::Protocol& attributedLabelDelegateProtocol() {
    static const rt::Protocol protocol(
        "TLAttributedLabelDelegate",
        {{rt::Sel("attributedLabel:didSelectLinkWithURL:"), "v@:@@", false},
         {rt::Sel("attributedLabel:didSelectLinkWithAddress:"), "v@:@@", false},
         {rt::Sel("attributedLabel:didSelectLinkWithPhoneNumber:"), "v@:@@", false},
         {rt::Sel("attributedLabel:didSelectLinkWithDate:timeZone:duration:"), "v@:@@@d", false},
         {rt::Sel("attributedLabel:didSelectLinkWithDate:"), "v@:@@", false},
         {rt::Sel("attributedLabel:didSelectLinkWithTransitInformation:"), "v@:@@", false},
         {rt::Sel("attributedLabel:didSelectLinkWithTextCheckingResult:"), "v@:@@", false},
         {rt::Sel("attributedLabel:didLongPressLinkWithURL:atPoint:"), "v@:@@{CGPoint=dd}", false},
         {rt::Sel("attributedLabel:didLongPressLinkWithAddress:atPoint:"), "v@:@@{CGPoint=dd}", false},
         {rt::Sel("attributedLabel:didLongPressLinkWithPhoneNumber:atPoint:"), "v@:@@{CGPoint=dd}", false},
         {rt::Sel("attributedLabel:didLongPressLinkWithDate:timeZone:duration:atPoint:"), "v@:@@@d{CGPoint=dd}",
          false},
         {rt::Sel("attributedLabel:didLongPressLinkWithDate:atPoint:"), "v@:@@{CGPoint=dd}", false},
         {rt::Sel("attributedLabel:didLongPressLinkWithTransitInformation:atPoint:"), "v@:@@{CGPoint=dd}", false},
         {rt::Sel("attributedLabel:didLongPressLinkWithTextCheckingResult:atPoint:"), "v@:@@{CGPoint=dd}", false}});
    return protocol;
}

namespace {
rt::Ref<ns::Dictionary> linkCopyOf(const rt::Ref<ns::Dictionary>& dictionary) {
    return dictionary ? rt::cast<ns::Dictionary>(dictionary->copy()) : nullptr;
}
} // namespace

AttributedLabelLink::AttributedLabelLink() = default;
AttributedLabelLink::~AttributedLabelLink() = default;

rt::Ref<AttributedLabelLink> AttributedLabelLink::make(const rt::Ref<ns::Dictionary>& attributes,
                                                       const rt::Ref<ns::Dictionary>& activeAttributes,
                                                       const rt::Ref<ns::Dictionary>& inactiveAttributes,
                                                       rt::Ref<ns::TextCheckingResult> result) {
    auto link = rt::make<AttributedLabelLink>();
    link->result_ = std::move(result);
    link->attributes_ = linkCopyOf(attributes);
    link->activeAttributes_ = linkCopyOf(activeAttributes);
    link->inactiveAttributes_ = linkCopyOf(inactiveAttributes);
    return link;
}

rt::Ref<AttributedLabelLink> AttributedLabelLink::makeFromLabel(const AttributedLabel& label,
                                                                rt::Ref<ns::TextCheckingResult> result) {
    return make(label.linkAttributes(), label.activeLinkAttributes(), label.inactiveLinkAttributes(),
                std::move(result));
}

rt::Ref<ns::String> AttributedLabelLink::accessibilityValue() const {
    if (accessibilityValue_ && accessibilityValue_->length() > 0) return accessibilityValue_;
    if (!result_) return accessibilityValue_;
    switch (result_->resultType()) {
    case ns::TextCheckingType::Date:
        if (result_->date()) {
            static const auto full = rt::immortal(
                ns::DateFormatter::withStyles(ns::DateFormatterStyle::Full, ns::DateFormatterStyle::Full));
            accessibilityValue_ = full->stringFromDate(*result_->date());
        }
        break;
    case ns::TextCheckingType::PhoneNumber:
        accessibilityValue_ = result_->phoneNumber();
        break;
    case ns::TextCheckingType::Link:
        if (result_->URL()) accessibilityValue_ = result_->URL()->absoluteString();
        break;
    default:
        break;
    }
    return accessibilityValue_;
}

void AttributedLabelLink::setAccessibilityValue(const rt::Ref<ns::String>& value) {
    accessibilityValue_ = value ? rt::cast<ns::String>(value->copy()) : nullptr;
}

} // namespace tl
