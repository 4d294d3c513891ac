// Visual formats: any text either makes nothing and logs one line, or makes constraints over the
// bound views and their superview that the layout pass then solves (or breaks) without harm.

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ns::CapturedLog log;
    auto controller = rt::make<ui::ViewController>();
    auto root = rt::make<ui::View>(cg::Rect::make(0, 0, 320, 568));
    controller->setView(root);
    auto views = ns::MutableDictionary::make();
    for (const char* name : {"a", "b", "_c"}) {
        auto view = rt::make<ui::View>();
        view->setTranslatesAutoresizingMaskIntoConstraints(false);
        root->addSubview(view);
        views->setObjectForKey(view, name);
    }
    views->setObjectForKey(controller->topLayoutGuide(), "topLayoutGuide");
    views->setObjectForKey(rt::make<ui::View>(), "loose");
    auto metrics = ns::Dictionary::withPairs({{ns::str("m"), ns::Number::withDouble(12.5)},
                                              {ns::str("n"), ns::Number::withInt(-3)}});
    const std::string_view text = fuzz::text(data, size);
    const unsigned long options = size > 0 ? (1ul << (data[0] % 12)) : 0;
    auto made = ui::LayoutConstraint::constraintsWithVisualFormat(text, options, metrics, views);
    fuzz::check(made != nullptr, "no array");
    if (made->count() == 0) {
        fuzz::check(!log.lines().empty(), "nothing made, and nothing said");
        return 0;
    }
    for (const rt::Id& object : *made) {
        auto constraint = rt::cast<ui::LayoutConstraint>(object);
        fuzz::check(constraint && constraint->visualFormat() && constraint->views() == views, "a record forgot its format");
        fuzz::check(!constraint->isActive(), "a made constraint was added");
    }
    root->addConstraints(made);
    root->layoutIfNeeded();
    root->layoutIfNeeded();
    return 0;
}
