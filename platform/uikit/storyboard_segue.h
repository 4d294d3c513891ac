#pragma once
// ui::StoryboardSegue ("UIStoryboardSegue"): one passage from a source controller to a destination,
// made by the storyboard when a controller performs a segue, handed to the source's
// prepareForSegue:sender:, then performed.
//
// The storyboard's own kinds are subclasses of this one: "push" (the source's navigation
// controller pushes the destination, animated; without one it raises NSGenericException), "show"
// (a push in a navigation controller, else a presentation), "present" (a presentation) and
// "unwind" (back to a controller below the source, which the storyboard found: a presentation on
// top of it is dismissed and its navigation controller pops to it, animated). Any other kind names
// a subclass registered with the runtime ("PushNoAnimationSegue"), made by name through its
// default constructor and then initWithIdentifier; its perform does the work.
//
// The segue holds both controllers while it lives. Main thread only.

#include <string_view>

#include "platform/runtime/object.h"

namespace ns {
class String;
}

namespace ui {

class ViewController;

class StoryboardSegue : public rt::Object {
    RT_CLASS(StoryboardSegue)
public:
    static rt::Ref<StoryboardSegue> segueWithIdentifier(std::string_view identifier,
                                                        const rt::Ref<ViewController>& source,
                                                        const rt::Ref<ViewController>& destination);
    // The second phase of making a segue of a class found by name.
    void initWithIdentifier(std::string_view identifier, const rt::Ref<ViewController>& source,
                            const rt::Ref<ViewController>& destination);

    const rt::Ref<ns::String>& identifier() const noexcept { return identifier_; }
    const rt::Ref<ViewController>& sourceViewController() const noexcept { return source_; }
    const rt::Ref<ViewController>& destinationViewController() const noexcept { return destination_; }

    // Does the passage. The base class does nothing: a custom segue overrides it.
    virtual void perform() {}

    std::string description() const override;

protected:
    StoryboardSegue() = default;

private:
    rt::Ref<ns::String> identifier_;
    rt::Ref<ViewController> source_;
    rt::Ref<ViewController> destination_;
};

} // namespace ui
