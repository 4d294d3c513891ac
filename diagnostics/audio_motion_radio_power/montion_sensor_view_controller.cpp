#include "diagnostics/audio_motion_radio_power/montion_sensor_view_controller.h"

#include <memory>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/foundation/operation_queue.h"
#include "platform/motion/motion_manager.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/disposable.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace ft {

namespace {

constexpr const char* kMontionRows[] = {"accelermeter", "gyroscope", "magnetometer"};

const bool montionSensorNibRegistered = registerTestScreenNib<MontionSensorViewController>(
    "MontionSensorViewController", [](const rt::Ref<ui::View>& view, MontionSensorViewController& screen) {
        const double width = view->bounds().width();
        for (std::size_t row = 0; row < 3; ++row) {
            const double y = 130 + 60 * double(row);
            screen.names[row] = addSceneLabel(view, cg::Rect::make(20, y, width - 100, 40), 17);
            auto indicator = rt::make<ui::ImageView>(cg::Rect::make(width - 70, y, 40, 40));
            view->addSubview(indicator);
            screen.indicators[row] = indicator;
        }
        screen.setAnswer(addSceneLabel(view, cg::Rect::make(20, 330, width - 40, 60), 17));
        auto skip = ui::Button::buttonWithType(ui::ButtonType::System);
        skip->setFrame(cg::Rect::make(width / 2 - 60, 400, 120, 44));
        skip->addTargetActionForControlEvents(rt::retained(&screen), rt::Sel("skip:"), ui::ControlEvent::TouchUpInside);
        view->addSubview(skip);
        screen.setSkipbtn(skip);
    });

// Errs for each subscriber on the main queue's next turn: the screen first shows, then fails.
rt::Ref<es::Signal> montionMissingSensor() {
    return es::Signal::error(nullptr)->deliverOn(es::Scheduler::mainThreadScheduler());
}

} // namespace

RT_DEFINE_CLASS(MontionSensorViewController, "MontionSensorViewController", BaseModelViewController,
                rt::prop("answer", &MontionSensorViewController::answer, &MontionSensorViewController::setAnswer,
                         {.memory = rt::Memory::Weak}),
                rt::prop("skipbtn", &MontionSensorViewController::skipbtn, &MontionSensorViewController::setSkipbtn,
                         {.memory = rt::Memory::Weak}),
                rt::method("skip:", &MontionSensorViewController::skip))

MontionSensorViewController::MontionSensorViewController() = default;

void MontionSensorViewController::setAnswer(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "answer");
    answer_ = label;
}

void MontionSensorViewController::setSkipbtn(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "skipbtn");
    skipbtn_ = button;
}

void MontionSensorViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    std::vector<rt::Id> rows;
    for (const char* title : kMontionRows) {
        auto row = ns::MutableDictionary::make();
        row->setObjectForKey(ns::String::make(title), "title");
        row->setObjectForKey(ns::Number::withBool(false), "result");
        rows.push_back(row);
    }
    setSubItemlist(ns::Array::make(rows));
    if (auto title = labelTitle()) title->setText(localized("MONTION_SENSOR_TITLE_LABEL"));
    const char* nameKeys[] = {"ROOTLIST_TITLE_ACCELEROMETER_TEST", "ROOTLIST_TITLE_GYRO_TEST", "MONTION_SENSOR_MAGNETOMETER"};
    for (std::size_t row = 0; row < 3; ++row) {
        if (auto name = names[row].lock()) name->setText(localized(nameKeys[row]));
        if (auto indicator = indicators[row].lock()) indicator->setImage(ui::Image::imageNamed("icon_fail_shape"));
    }
    if (auto label = answer()) {
        label->setText(localized("MONTION_SENSOR_ANSWER"));
        label->setHidden(true);
    }
    if (auto button = skipbtn()) {
        button->setTitleForState(localized("MONTION_SENSOR_SKIP_BUTTON"), ui::ControlStates::Normal);
        button->setHidden(true);
    }
    motionManager_ = cm::MotionManager::make();
    rt::Weak<MontionSensorViewController> weak(rt::retained(this));
    present()->subscribeNext([weak](bool shown) {
        auto self = weak.lock();
        if (!self) return;
        if (shown) return self->hidenButtons(true);
        self->motionManager_->stopAccelerometerUpdates();
        self->motionManager_->stopGyroUpdates();
        self->motionManager_->stopMagnetometerUpdates();
        ns::log("stop motion.");
    });
    completed_ = es::Subject::subject();
    subTest(0, signal1());
    // Disposed when the screen disappears (not ended by takeUntil, whose completion would pass):
    // a screen that has left writes nothing more.
    watchdog_ = completed_->timeoutOnScheduler(kWatchdogSeconds, es::Scheduler::mainThreadScheduler())
        ->subscribeErrorCompleted(
            [weak](const rt::Ref<ns::Error>&) {
                if (auto self = weak.lock()) self->timedOut();
            },
            [weak] {
                auto self = weak.lock();
                if (!self) return;
                if (auto item = self->info()) item->setSuccess(TestBaseModel::kPassed);
                self->gotoResultView();
            });
}

void MontionSensorViewController::viewWillDisappearBody(bool animated) {
    BaseModelViewController::viewWillDisappearBody(animated);
    if (watchdog_) watchdog_->dispose();
}

rt::Ref<es::Signal> MontionSensorViewController::signal1() {
    if (!motionManager_->isAccelerometerAvailable()) return montionMissingSensor();
    auto subject = es::Subject::subject();
    auto flags = std::make_shared<std::array<bool, 3>>();
    rt::Ref<cm::MotionManager> manager = motionManager_;
    manager->setAccelerometerUpdateInterval(kInterval);
    manager->startAccelerometerUpdatesToQueue(
        ns::OperationQueue::currentQueue(),
        [subject, flags, weakManager = rt::Weak<cm::MotionManager>(manager)](
            const rt::Ref<cm::AccelerometerData>& data, const rt::Ref<ns::Error>& error) {
            if (error || !data) return subject->sendError(error);
            const cm::Acceleration a = data->acceleration();
            const double xyz[] = {a.x, a.y, a.z};
            for (std::size_t axis = 0; axis < 3; ++axis)
                if (xyz[axis] > kBound) (*flags)[axis] = true;
            if (!((*flags)[0] && (*flags)[1] && (*flags)[2])) return;
            if (auto m = weakManager.lock()) m->stopAccelerometerUpdates();
            subject->sendNext(ns::Number::withBool(true));
            subject->sendCompleted();
        });
    return subject;
}

rt::Ref<es::Signal> MontionSensorViewController::signal2() {
    if (!motionManager_->isGyroAvailable()) return montionMissingSensor();
    auto subject = es::Subject::subject();
    motionManager_->setGyroUpdateInterval(kInterval);
    motionManager_->startGyroUpdatesToQueue(
        ns::OperationQueue::currentQueue(),
        [subject, weakManager = rt::Weak<cm::MotionManager>(motionManager_)](const rt::Ref<cm::GyroData>& data,
                                                                             const rt::Ref<ns::Error>& error) {
            if (error || !data) return subject->sendError(error);
            if (auto m = weakManager.lock()) m->stopGyroUpdates();
            subject->sendNext(ns::Number::withBool(true));
            subject->sendCompleted();
        });
    return subject;
}

rt::Ref<es::Signal> MontionSensorViewController::signal3() {
    if (!motionManager_->isMagnetometerAvailable()) return montionMissingSensor();
    auto subject = es::Subject::subject();
    motionManager_->setMagnetometerUpdateInterval(kInterval);
    motionManager_->startMagnetometerUpdatesToQueue(
        ns::OperationQueue::currentQueue(),
        [subject, weakManager = rt::Weak<cm::MotionManager>(motionManager_)](
            const rt::Ref<cm::MagnetometerData>& data, const rt::Ref<ns::Error>& error) {
            if (error || !data) return subject->sendError(error);
            if (auto m = weakManager.lock()) m->stopMagnetometerUpdates();
            subject->sendNext(ns::Number::withBool(true));
            subject->sendCompleted();
        });
    return subject;
}

void MontionSensorViewController::subTest(std::size_t row, const rt::Ref<es::Signal>& signal) {
    rt::Weak<MontionSensorViewController> weak(rt::retained(this));
    // The pass is the sub-test's value: the completion that disappearing brings passes nothing.
    signal->takeUntil(disappear())
        ->subscribeNextError(
            [weak, row](const rt::Id&) {
                if (auto self = weak.lock()) self->passed(row);
            },
            [weak, row](const rt::Ref<ns::Error>& error) {
                auto self = weak.lock();
                if (!self) return;
                self->setVerdict(TestBaseModel::kFailed,
                                 std::string("the ") + kMontionRows[row] + " failed" + describedError(error));
                self->gotoResultView();
            });
}

void MontionSensorViewController::passed(std::size_t row) {
    rt::cast<ns::MutableDictionary>(subItemlist()->objectAtIndex(row))->setObjectForKey(ns::Number::withBool(true), "result");
    if (auto indicator = indicators[row].lock()) indicator->setImage(ui::Image::imageNamed("icon_success_shape"));
    if (row == 0) return subTest(1, signal2());
    if (row == 1) return subTest(2, signal3()->delay(kMagnetometerDelay));
    completed_->sendCompleted();
}

void MontionSensorViewController::timedOut() {
    setVerdict(TestBaseModel::kFailed, BaseModelViewController::timedOut(kWatchdogSeconds, "every sensor"));
    if (auto button = skipbtn()) button->setHidden(false);
    if (auto label = answer()) label->setHidden(false);
    long price = 0;
    for (const rt::Id& row : *subItemlist())
        if (!rt::cast<ns::Number>(rt::cast<ns::Dictionary>(row)->objectForKey("result"))->boolValue()) price += kPricePerRow;
    auto ratio = ns::MutableDictionary::make();
    ratio->setObjectForKey(ns::Number::withLong(price), "price");
    if (auto item = info()) item->setRatio(ratio);
}

void MontionSensorViewController::skip(const rt::Id&) {
    setVerdict(TestBaseModel::kFailed, "skipped");
    gotoResultView();
}

} // namespace ft
