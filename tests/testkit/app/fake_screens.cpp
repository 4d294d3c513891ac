#include "tests/testkit/app/fake_screens.h"

#include "platform/foundation/dispatch.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/uikit/storyboard.h"
#include "session/core/test_base_model.h"
#include "streams/disposable.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"

namespace testkit {

RT_DEFINE_CLASS(FakeTestScreen, "TestkitManualScreen", ft::BaseModelViewController)
RT_DEFINE_CLASS(FakeAutomaticScreen, "TestkitAutomaticScreen", FakeTestScreen)
RT_DEFINE_CLASS(FakeRefusingScreen, "TestkitRefusingScreen", FakeTestScreen,
                rt::classMethod("extraMessage", &FakeRefusingScreen::extraMessage))
RT_DEFINE_CLASS(FakeTupleScreen, "TestkitTupleScreen", FakeTestScreen)

namespace {

struct Refusal {
    std::optional<std::string> text;
    int calls = 0;
};

Refusal& refusal() {
    static Refusal shared;
    return shared;
}

const rt::Class& classOf(FakeScreen kind) {
    switch (kind) {
    case FakeScreen::Automatic: return FakeAutomaticScreen::staticClass();
    case FakeScreen::Refusing: return FakeRefusingScreen::staticClass();
    case FakeScreen::TupleDisappearing: return FakeTupleScreen::staticClass();
    case FakeScreen::Manual: break;
    }
    return FakeTestScreen::staticClass();
}

} // namespace

void registerFakeScreen(ui::Storyboard& storyboard, std::string_view identifier, FakeScreen kind, bool nameClass) {
    const rt::Class& fake = classOf(kind);
    std::string className(fake.name());
    if (nameClass) {
        className = std::string(identifier);
        // Made once per process; a name taken by another kind keeps its first class.
        if (!rt::Class::named(className)) rt::Class::createSubclass(className, fake, fake);
    }
    storyboard.registerScene(std::string(identifier), className);
    storyboard.registerSegue({.source = "ReadyStartViewController",
                              .identifier = std::string(identifier),
                              .kind = "push",
                              .destination = std::string(identifier),
                              .action = {}});
}

std::vector<std::string>& FakeTestScreen::journal() {
    static std::vector<std::string> shared;
    return shared;
}

void FakeTestScreen::record(std::string event) {
    journal().push_back(event);
    events_.push_back(std::move(event));
}

void FakeTestScreen::viewDidLoadBody() {
    ft::BaseModelViewController::viewDidLoadBody();
    record(std::string("load") + (single() ? " single" : "") + (isRetryItem() ? " retry" : ""));
    rt::Weak<FakeTestScreen> weak(rt::retained(this));
    presentSubscription_ = present()->subscribeNext([weak](bool shown) {
        if (auto self = weak.lock()) self->record(shown ? "present:1" : "present:0");
    });
    chooseSubscription_ = choose()->subscribeNext([weak](bool pass) {
        auto self = weak.lock();
        if (!self) return;
        self->record(pass ? "choose:1" : "choose:0");
        if (self->info()) self->record("code:" + std::to_string(self->info()->success()));
        self->gotoResultView();
    });
    backgroundSubscription_ = enterToBackgound()->subscribeNext([weak](const rt::Id&) {
        if (auto self = weak.lock()) self->record("background");
    });
}

void FakeTestScreen::viewWillAppearBody(bool animated) {
    ft::BaseModelViewController::viewWillAppearBody(animated);
    record("appear");
}

void FakeAutomaticScreen::viewDidLoadBody() {
    FakeTestScreen::viewDidLoadBody();
    rt::Weak<FakeAutomaticScreen> weak(rt::retained(this));
    // Once on screen: the first viewDidAppear: after a present YES.
    auto appeared = es::signalForSelector(this, rt::Sel("viewDidAppear:"));
    run_ = present()->filter([](bool shown) { return shown; })->take(1)->flattenMap([appeared](const rt::Id&) {
        return appeared->take(1);
    })->subscribeNext([weak](const rt::Id&) {
        dispatch::async(dispatch::Queue::main(), [weak] {
            auto self = weak.lock();
            if (!self || !self->info()) return;
            self->info()->setSuccess(ft::TestBaseModel::kPassed);
            if (self->single() || self->isRetryItem() || self->isLastTestingItem()) self->gotoResultView();
            else self->gotoPreviousView();
        });
    });
}

rt::Ref<ns::String> FakeRefusingScreen::extraMessage() {
    ++refusal().calls;
    return refusal().text ? ns::String::make(*refusal().text) : nullptr;
}

void FakeRefusingScreen::setRefusal(std::optional<std::string> text) {
    refusal().text = std::move(text);
}

int FakeRefusingScreen::extraMessageCalls() {
    return refusal().calls;
}

void FakeRefusingScreen::resetCalls() {
    refusal().calls = 0;
}

rt::Ref<es::Signal> FakeTupleScreen::disappear() {
    return es::signalForSelector(this, rt::Sel("viewWillDisappear:"));
}

} // namespace testkit
