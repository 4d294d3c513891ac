#include "app/not_built_screens.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <string>

#include "platform/runtime/class.h"
#include "platform/uikit/storyboard.h"

// The stand-ins derive from the base test screen; until it is built, there are none.
#if __has_include("session/base_model_view_controller.h")
#define FT_HAS_BASE_TEST_SCREEN 1
#include "platform/foundation/dispatch.h"
#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"
#include "streams/disposable.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#else
#define FT_HAS_BASE_TEST_SCREEN 0
#endif

namespace app {

namespace {

// A test screen's scene: the pass action is connected in it.
bool isTestScene(const ui::Storyboard::Scene& scene) {
    return std::find(scene.actions.begin(), scene.actions.end(), "passAction:") != scene.actions.end();
}

#if FT_HAS_BASE_TEST_SCREEN
// The unsupported result a test screen records when it cannot test.
constexpr std::int64_t kUnsupported = 2;
#endif

struct StandIns {
    std::mutex lock;
    std::set<std::string, std::less<>> names;
};

StandIns& standIns() {
    static StandIns* shared = new StandIns; // immortal: classes stay registered for the process
    return *shared;
}

} // namespace

#if FT_HAS_BASE_TEST_SCREEN
// A test screen that is not built: the first time it is shown (present YES) it records the test as
// unsupported, and once on screen (its next viewDidAppear:, then the main queue's next turn, so the
// push has finished) it leaves by the run's position. It never records a pass.
class NotBuiltViewController : public ft::BaseModelViewController {
    RT_CLASS(NotBuiltViewController)
protected:
    NotBuiltViewController() = default;

    void viewDidLoadBody() override {
        ft::BaseModelViewController::viewDidLoadBody();
        rt::Weak<NotBuiltViewController> weak(this);
        auto appeared = es::signalForSelector(this, rt::Sel("viewDidAppear:"));
        leave_ = present()
                     ->filter([](bool shown) { return shown; })
                     ->take(1)
                     ->flattenMap([weak, appeared](const rt::Id&) {
                         if (auto self = weak.lock(); self && self->info())
                             self->setVerdict(kUnsupported, "its screen is not built");
                         return appeared->take(1);
                     })
                     ->subscribeNext([weak](const rt::Id&) {
                         dispatch::async(dispatch::Queue::main(), [weak] {
                             if (auto self = weak.lock()) self->gotoResultView();
                         });
                     });
    }

private:
    rt::Ref<es::Disposable> leave_;
};

RT_DEFINE_CLASS(NotBuiltViewController, "NotBuiltViewController", ft::BaseModelViewController)
#endif

void registerNotBuiltScreens(const rt::Ref<ns::Bundle>& bundle) {
    StandIns& s = standIns();
    std::lock_guard g(s.lock);
    rt::Ref<ui::Storyboard> storyboard = ui::Storyboard::storyboardWithName("Main", bundle);
    for (const ui::Storyboard::Scene& scene : storyboard->scenes()) {
        const std::string& name = scene.className;
        // Built, or registered by an earlier run: nothing to stand in for.
        if (!FT_HAS_BASE_TEST_SCREEN || !isTestScene(scene) || rt::Class::named(name)) continue;
#if FT_HAS_BASE_TEST_SCREEN
        // A class of the scene's name whose objects are stand-ins; the storyboard moves the object
        // it makes into the named class, so it reports the scene's name.
        rt::detail::registerClass(name, &NotBuiltViewController::staticClass(),
                                  rt::detail::Factory::of<NotBuiltViewController>(), {});
        s.names.insert(name);
#endif
    }
}

bool isNotBuiltScreen(std::string_view className) {
    StandIns& s = standIns();
    std::lock_guard g(s.lock);
    return className == "NotBuiltViewController" || s.names.contains(className);
}

} // namespace app
