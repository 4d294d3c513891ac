#include "platform/uikit/storyboard_segue.h"

#include <algorithm>

#include "platform/foundation/array.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/format.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/navigation_controller.h"

namespace ui {

rt::Ref<StoryboardSegue> StoryboardSegue::segueWithIdentifier(std::string_view identifier,
                                                              const rt::Ref<ViewController>& source,
                                                              const rt::Ref<ViewController>& destination) {
    auto segue = rt::make<StoryboardSegue>();
    segue->initWithIdentifier(identifier, source, destination);
    return segue;
}

void StoryboardSegue::initWithIdentifier(std::string_view identifier, const rt::Ref<ViewController>& source,
                                         const rt::Ref<ViewController>& destination) {
    identifier_ = ns::String::make(identifier);
    source_ = source;
    destination_ = destination;
}

std::string StoryboardSegue::description() const {
    return ns::format("<%@: %p; identifier = %@; source = %@; destination = %@>", getClass().name(),
                      static_cast<const void*>(this), identifier_, source_, destination_);
}

namespace {

// "push": the source's navigation controller pushes the destination, animated.
class PushSegue : public StoryboardSegue {
    RT_CLASS(PushSegue)
public:
    void perform() override {
        rt::Ref<NavigationController> navigation = sourceViewController()->navigationController();
        if (!navigation) {
            std::string reason =
                "Could not find a navigation controller for segue '" + identifier()->utf8() +
                "'. Push segues can only be used when the source controller is managed by an "
                "instance of UINavigationController.";
            ns::logLine(reason);
            ns::raise("NSGenericException", std::move(reason));
        }
        navigation->pushViewController(destinationViewController(), true);
    }

private:
    PushSegue() = default;
};

// "show": a push inside a navigation controller, else a presentation.
class ShowSegue : public StoryboardSegue {
    RT_CLASS(ShowSegue)
public:
    void perform() override {
        if (rt::Ref<NavigationController> navigation = sourceViewController()->navigationController())
            navigation->pushViewController(destinationViewController(), true);
        else
            sourceViewController()->presentViewController(destinationViewController(), true);
    }

private:
    ShowSegue() = default;
};

// "present": a presentation over the source.
class PresentationSegue : public StoryboardSegue {
    RT_CLASS(PresentationSegue)
public:
    void perform() override {
        sourceViewController()->presentViewController(destinationViewController(), true);
    }

private:
    PresentationSegue() = default;
};

// "unwind": back to the destination, which is below the source.
class UnwindSegue : public StoryboardSegue {
    RT_CLASS(UnwindSegue)
public:
    void perform() override {
        // The pop goes first: under a presentation it happens off screen, so that the dismissal
        // uncovers the destination itself.
        rt::Ref<ViewController> destination = destinationViewController();
        if (rt::Ref<NavigationController> navigation = destination->navigationController()) {
            rt::Ref<ViewController> entry = destination;
            while (entry && entry->parentViewController() != navigation)
                entry = entry->parentViewController();
            if (entry && navigation->topViewController() != entry)
                navigation->popToViewController(entry, true);
        }
        rt::Ref<ViewController> root = destination;
        while (rt::Ref<ViewController> parent = root->parentViewController())
            root = std::move(parent);
        if (root->presentedViewController()) root->dismissViewControllerAnimated(true);
    }

private:
    UnwindSegue() = default;
};

} // namespace

RT_DEFINE_CLASS(StoryboardSegue, "UIStoryboardSegue", rt::Object,
                rt::prop("identifier", &StoryboardSegue::identifier),
                rt::prop("sourceViewController", &StoryboardSegue::sourceViewController),
                rt::prop("destinationViewController", &StoryboardSegue::destinationViewController),
                rt::method("perform", &StoryboardSegue::perform))
RT_DEFINE_CLASS(PushSegue, "UIStoryboardPushSegue", StoryboardSegue)
RT_DEFINE_CLASS(ShowSegue, "UIStoryboardShowSegue", StoryboardSegue)
RT_DEFINE_CLASS(PresentationSegue, "UIStoryboardPresentationSegue", StoryboardSegue)
RT_DEFINE_CLASS(UnwindSegue, "UIStoryboardUnwindSegue", StoryboardSegue)

} // namespace ui
