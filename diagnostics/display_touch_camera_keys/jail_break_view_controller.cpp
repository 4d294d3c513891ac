#include "diagnostics/display_touch_camera_keys/jail_break_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/json.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/sim/device_path.h"
#include "platform/uikit/label.h"
#include "platform/uikit/navigation_item.h"
#include "session/core/test_base_model.h"
#include "session/result_view_controller.h"
#include "session/screen_support.h"
#include "streams/scheduler.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"

namespace ft {

namespace {

// The flag that makes a jailbroken device the passing one.
constexpr const char* kJailBreakPassFlag = "ROOT_DEVICE_IS_PASS";

// Whether the run's flag file makes a jailbroken device the passing one.
bool jailbreakExpected() {
    const std::string path = ResultViewController::documentsPath(ResultViewController::kFlagFileName);
    const auto& files = ns::FileManager::defaultManager();
    auto data = files->fileExistsAtPath(path) ? files->contentsAtPath(path) : nullptr;
    auto flags = data ? rt::cast<ns::Dictionary>(ns::JSONSerialization::JSONObjectWithData(
                            data, ns::JSONReadingOptions::MutableContainers))
                      : nullptr;
    auto flag = flags ? rt::cast<ns::String>(flags->objectForKey(kJailBreakPassFlag)) : nullptr;
    return flag && flag->isEqualToString("True");
}

} // namespace

RT_DEFINE_CLASS(JailBreakViewController, "JailBreakViewController", BaseModelViewController,
                rt::prop("enterBackgound", &JailBreakViewController::enterBackgound,
                         &JailBreakViewController::setEnterBackgound),
                rt::prop("isDone", &JailBreakViewController::isDone, &JailBreakViewController::setIsDone),
                rt::classMethod("detectJailbreak", &JailBreakViewController::detectJailbreak),
                rt::classMethod("alreadyJailbreak", &JailBreakViewController::alreadyJailbreak))

JailBreakViewController::JailBreakViewController() = default;

void JailBreakViewController::setEnterBackgound(bool disappeared) {
    rt::KeyChange change(this, "enterBackgound");
    enterBackgound_ = disappeared;
}

void JailBreakViewController::setIsDone(bool done) {
    rt::KeyChange change(this, "isDone");
    isDone_ = done;
}

bool JailBreakViewController::detectJailbreak() {
    const auto path = sim::devicePath("/Applications/Cydia.app");
    return path && ns::FileManager::defaultManager()->fileExistsAtPath(*path);
}

bool JailBreakViewController::alreadyJailbreak() {
    return detectJailbreak() == jailbreakExpected();
}

rt::Ref<es::Signal> JailBreakViewController::disappear() {
    return es::signalForSelector(this, rt::Sel("viewWillDisappear:"));
}

void JailBreakViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    setSubItemlist(ns::Array::make({titledRow("Jailbreak test")}));
    hidenButtons(true);
}

void JailBreakViewController::viewWillAppearBody(bool animated) {
    BaseModelViewController::viewWillAppearBody(animated);
    rt::Weak<JailBreakViewController> weak(rt::retained(this));
    disappear()->subscribeNext([weak](const rt::Id&) {
        if (auto self = weak.lock()) self->setEnterBackgound(true);
    });
    navigationItem()->setHidesBackButton(true);
    setIsDone(true);
    if (auto label = labelTitle())
        label->setText(localized(detectJailbreak() ? "JAILBREAK_CONTROLLER_TITLE_YES"
                                                   : "JAILBREAK_CONTROLLER_TITLE_NO"));
    es::Signal::interval(kDecisionDelay, es::Scheduler::mainThreadScheduler())
        ->take(1)
        ->takeUntil(disappear())
        ->subscribeNext([weak](const rt::Id&) {
            if (auto self = weak.lock()) self->decide();
        });
}

void JailBreakViewController::decide() {
    auto item = info();
    auto record = [this] {
        const bool jailbroken = detectJailbreak(), expected = jailbreakExpected();
        const std::string found = jailbroken ? "jailbroken" : "not jailbroken";
        setVerdict(jailbroken == expected ? TestBaseModel::kPassed : TestBaseModel::kFailed,
                   jailbroken == expected ? found + ", as the run expects"
                                          : found + ", but the run expects " +
                                                (expected ? "a jailbroken phone" : "one that is not") + " (" +
                                                kJailBreakPassFlag + ")");
    };
    record();
    navigationItem()->setHidesBackButton(false);
    if (enterBackgound_) {
        if (item) item->setSuccess(TestBaseModel::kNotTested);
        return;
    }
    if (single()) {
        record();
        gotoResultView();
    } else if (isRetryItem() || isLastTestingItem()) {
        gotoResultView();
    } else {
        gotoPreviousView();
    }
}

} // namespace ft
