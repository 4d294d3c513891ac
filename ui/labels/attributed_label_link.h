#pragma once
// tl::AttributedLabelLink ("TLAttributedLabelLink"): one link of an attributed label, a range of
// its text that stands for what a text-checking result found (a URL, an address, a phone number,
// a date, transit information, or any other result), with the attributes the label lays onto the
// range when shown, touched and dimmed. The result and the three dictionaries never change after
// making; the spoken value and the two blocks may.
//
// The label's delegate ("TLAttributedLabelDelegate") hears of taps and long presses on links; all
// of its methods are optional and sent by name to a delegate that answers for them.

#include <functional>

#include "platform/foundation/coding.h"
#include "platform/foundation/regular_expression.h"
#include "platform/runtime/object.h"

namespace rt {
class Protocol;
}
namespace ns {
class Dictionary;
}

namespace tl {

class AttributedLabel;

// The protocol's fourteen optional methods: seven for a tap, the same seven with the point of a long
// press (in the label's coordinates) as their last argument.
const rt::Protocol& attributedLabelDelegateProtocol();

class AttributedLabelLink : public rt::Object, public ns::Coding {
    RT_CLASS(AttributedLabelLink)
public:
    using Block = std::function<void(const rt::Ref<AttributedLabel>&, const rt::Ref<AttributedLabelLink>&)>;

    // Each dictionary may be nil; each is copied.
    static rt::Ref<AttributedLabelLink> make(const rt::Ref<ns::Dictionary>& attributes,
                                             const rt::Ref<ns::Dictionary>& activeAttributes,
                                             const rt::Ref<ns::Dictionary>& inactiveAttributes,
                                             rt::Ref<ns::TextCheckingResult> result);
    // With the label's link, active-link and inactive-link attributes of the moment.
    static rt::Ref<AttributedLabelLink> makeFromLabel(const AttributedLabel& label,
                                                      rt::Ref<ns::TextCheckingResult> result);

    const rt::Ref<ns::TextCheckingResult>& result() const noexcept { return result_; }
    // The result's range, the link's range in the label's text.
    ns::Range range() const noexcept { return result_ ? result_->range() : ns::Range{ns::NotFound, 0}; }
    const rt::Ref<ns::Dictionary>& attributes() const noexcept { return attributes_; }
    // Nil: the label's active-link attributes.
    const rt::Ref<ns::Dictionary>& activeAttributes() const noexcept { return activeAttributes_; }
    const rt::Ref<ns::Dictionary>& inactiveAttributes() const noexcept { return inactiveAttributes_; }

    // When empty, filled from the result on first read: a date in the full date and time styles,
    // a phone number, a URL's absolute string; other kinds stay as they are (nil).
    rt::Ref<ns::String> accessibilityValue() const;
    void setAccessibilityValue(const rt::Ref<ns::String>& value);

    // When set, a tap (a long press) runs the block instead of telling the delegate.
    const Block& linkTapBlock() const noexcept { return tapBlock_; }
    void setLinkTapBlock(Block block) { tapBlock_ = std::move(block); }
    const Block& linkLongPressBlock() const noexcept { return longPressBlock_; }
    void setLinkLongPressBlock(Block block) { longPressBlock_ = std::move(block); }

    // Archived under "result", "attributes", "activeAttributes", "inactiveAttributes" and
    // "accessibilityValue" (as read, so filled from the result); the blocks are not archived.
    void encodeWithCoder(ns::Coder& coder) const override;
    rt::Id initWithCoder(ns::Coder& coder) override;

protected:
    AttributedLabelLink();
    ~AttributedLabelLink() override;

private:
    rt::Ref<ns::TextCheckingResult> result_;
    rt::Ref<ns::Dictionary> attributes_, activeAttributes_, inactiveAttributes_;
    mutable rt::Ref<ns::String> accessibilityValue_;
    Block tapBlock_, longPressBlock_;
};

} // namespace tl
