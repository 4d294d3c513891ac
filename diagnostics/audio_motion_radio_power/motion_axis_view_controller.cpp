#include "diagnostics/audio_motion_radio_power/motion_axis_view_controller.h"

#include <string>
#include <vector>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/foundation/operation_queue.h"
#include "platform/motion/motion_manager.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/text_attachment.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/disposable.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/subject.h"
#include "streams/subscriber.h"

namespace ft {

namespace {

constexpr const char* kMotionAxisLetters[] = {"X", "Y", "Z"};
constexpr const char* kMotionAxisRows[] = {"X axis", "Y axis", "Z axis"};

// Hands each reading of a sensor to `reading` as its three components, or as none.
template <class Data, class Components>
auto motionAxisHandler(MotionAxisSensor::Reading reading, Components components) {
    return [reading = std::move(reading), components](const rt::Ref<Data>& data, const rt::Ref<ns::Error>& error) {
        if (error || !data) return reading(error, nullptr);
        const auto value = components(*data);
        const double xyz[] = {value.x, value.y, value.z};
        reading(nullptr, xyz);
    };
}

const MotionAxisSensor motionAxisAccelerometer{
    [](const cm::MotionManager& manager) { return manager.isAccelerometerAvailable(); },
    [](cm::MotionManager& manager, MotionAxisSensor::Reading reading) {
        manager.setAccelerometerUpdateInterval(MotionAxisViewController::kInterval);
        manager.startAccelerometerUpdatesToQueue(
            ns::OperationQueue::currentQueue(),
            motionAxisHandler<cm::AccelerometerData>(std::move(reading),
                                                     [](const cm::AccelerometerData& d) { return d.acceleration(); }));
    },
    [](cm::MotionManager& manager) { manager.stopAccelerometerUpdates(); },
    "ACCELEROMETER_CONTROLLER_",
    {"PNG_AccelerometerTest Graphic_Move or Shake on X Axis", "PNG_AccelerometerTest Graphic_Move or Shake on Y Axis",
     "PNG_AccelerometerTest Graphic_Move or Shake on Z Axis"},
    "centerImageView",
    false,
};

const MotionAxisSensor motionAxisGyroscope{
    [](const cm::MotionManager& manager) { return manager.isGyroAvailable(); },
    [](cm::MotionManager& manager, MotionAxisSensor::Reading reading) {
        manager.setGyroUpdateInterval(MotionAxisViewController::kInterval);
        manager.startGyroUpdatesToQueue(
            ns::OperationQueue::currentQueue(),
            motionAxisHandler<cm::GyroData>(std::move(reading), [](const cm::GyroData& d) { return d.rotationRate(); }));
    },
    [](cm::MotionManager& manager) { manager.stopGyroUpdates(); },
    "GYROSCOPE_CONTROLLER_",
    {"PNG_AccelerometerTest Graphic_Tilt or Rotate on X Axis", "PNG_AccelerometerTest Graphic_Tilt or Rotate on Y Axis",
     "PNG_AccelerometerTest Graphic_Tilt or Rotate on Z Axis"},
    "tipImage",
    true,
};

// The three axis labels, the tip and the picture between them.
void addMotionAxisViews(const rt::Ref<ui::View>& view, MotionAxisViewController& screen) {
    const double width = view->bounds().width();
    screen.setTipLabel(addSceneLabel(view, cg::Rect::make(20, 110, width - 40, 50), 17));
    auto picture = rt::make<ui::ImageView>(cg::Rect::make(width / 2 - 60, 170, 120, 120));
    view->addSubview(picture);
    screen.setPicture(picture);
    screen.setX(addSceneLabel(view, cg::Rect::make(20, 310, width - 40, 30), 17));
    screen.setY(addSceneLabel(view, cg::Rect::make(20, 350, width - 40, 30), 17));
    screen.setZ(addSceneLabel(view, cg::Rect::make(20, 390, width - 40, 30), 17));
}

const bool accelerometerNibRegistered =
    registerTestScreenNib<AccelerometerViewController>("AccelerometerViewController", addMotionAxisViews);
const bool gyroscopeNibRegistered =
    registerTestScreenNib<GyroscopeViewController>("GyroscopeViewController", addMotionAxisViews);

} // namespace

RT_DEFINE_CLASS(MotionAxisViewController, "MotionAxisViewController", BaseModelViewController,
                rt::prop("x", &MotionAxisViewController::x, &MotionAxisViewController::setX,
                         {.memory = rt::Memory::Weak}),
                rt::prop("y", &MotionAxisViewController::y, &MotionAxisViewController::setY,
                         {.memory = rt::Memory::Weak}),
                rt::prop("z", &MotionAxisViewController::z, &MotionAxisViewController::setZ,
                         {.memory = rt::Memory::Weak}),
                rt::prop("tipLabel", &MotionAxisViewController::tipLabel, &MotionAxisViewController::setTipLabel,
                         {.memory = rt::Memory::Weak}))
RT_DEFINE_CLASS(AccelerometerViewController, "AccelerometerViewController", MotionAxisViewController,
                rt::prop("centerImageView", &AccelerometerViewController::centerImageView,
                         &AccelerometerViewController::setCenterImageView, {.memory = rt::Memory::Weak}))
RT_DEFINE_CLASS(GyroscopeViewController, "GyroscopeViewController", MotionAxisViewController,
                rt::prop("tipImage", &GyroscopeViewController::tipImage, &GyroscopeViewController::setTipImage,
                         {.memory = rt::Memory::Weak}))

AccelerometerViewController::AccelerometerViewController() : MotionAxisViewController(motionAxisAccelerometer) {}
GyroscopeViewController::GyroscopeViewController() : MotionAxisViewController(motionAxisGyroscope) {}

MotionAxisViewController::MotionAxisViewController(const MotionAxisSensor& sensor) : sensor_(sensor) {}

void MotionAxisViewController::setAxisLabel(int axis, const rt::Ref<ui::Label>& label) {
    constexpr const char* keys[] = {"x", "y", "z"};
    rt::KeyChange change(this, keys[axis]);
    axisLabels_.at(std::size_t(axis)) = label;
}

void MotionAxisViewController::setTipLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "tipLabel");
    tipLabel_ = label;
}

void MotionAxisViewController::setPicture(const rt::Ref<ui::ImageView>& picture) {
    rt::KeyChange change(this, sensor_.pictureOutlet);
    picture_ = picture;
}

rt::Ref<ns::String> MotionAxisViewController::text(std::string_view suffix) const {
    return localized(std::string(sensor_.keyPrefix) + std::string(suffix));
}

void MotionAxisViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    std::vector<rt::Id> rows;
    for (int axis = 0; axis < 3; ++axis) {
        if (auto label = axisLabels_[std::size_t(axis)].lock())
            label->setText(text(std::string(kMotionAxisLetters[axis]) + "_LABEL"));
        progressFormats_[std::size_t(axis)] = text(kMotionAxisLetters[axis])->utf8();
        auto row = ns::MutableDictionary::make();
        row->setObjectForKey(ns::String::make(kMotionAxisRows[axis]), "title");
        rows.push_back(row);
    }
    setSubItemlist(ns::Array::make(rows));
    motionManager_ = cm::MotionManager::make();
    rt::Weak<MotionAxisViewController> weak(rt::retained(this));
    present()->subscribeNext([weak](bool shown) {
        auto self = weak.lock();
        if (!self) return;
        if (shown) return self->hidenButtons(true);
        self->sensor_.stop(*self->motionManager_);
        ns::log("stop motion.");
    });
    showAxis(0);
    testAxis(0);
    choose()->subscribeNext([weak](const rt::Id&) {
        if (auto self = weak.lock()) self->gotoResultView();
    });
}

rt::Ref<es::Signal> MotionAxisViewController::signal111(int axis) {
    // Errs for each subscriber, on the main queue's next turn: the screen first shows, then fails.
    if (!sensor_.available(*motionManager_))
        return es::Signal::error(nullptr)->deliverOn(es::Scheduler::mainThreadScheduler());
    auto subject = es::Subject::subject();
    rt::Weak<MotionAxisViewController> weak(rt::retained(this));
    sensor_.start(*motionManager_, [subject, weak, axis](const rt::Ref<ns::Error>& error, const double* xyz) {
        if (!xyz) return subject->sendError(error);
        const double value = xyz[axis];
        auto self = weak.lock();
        if (self && value > kBound && !self->passed_.at(std::size_t(axis))) {
            self->passed_.at(std::size_t(axis)) = true;
            return subject->sendCompleted();
        }
        auto progress = ns::MutableDictionary::make();
        progress->setObjectForKey(ns::Number::withInt(axis), "name");
        progress->setObjectForKey(ns::Number::withDouble(value), "value");
        subject->sendNext(progress);
    });
    return subject;
}

rt::Ref<es::Signal> MotionAxisViewController::motionSignal(int axis) {
    rt::Weak<MotionAxisViewController> weak(rt::retained(this));
    return es::Signal::createSignal([weak, axis](const rt::Ref<es::Subscriber>& subscriber) {
        auto serial = es::SerialDisposable::make();
        auto self = weak.lock();
        if (!self) return serial;
        const auto stop = [weak] {
            if (auto screen = weak.lock()) screen->sensor_.stop(*screen->motionManager_);
        };
        serial->setDisposable(
            self->signal111(axis)
                ->timeoutOnScheduler(kAxisSeconds, es::Scheduler::mainThreadScheduler())
                ->subscribeNextErrorCompleted([subscriber](const rt::Id& value) { subscriber->sendNext(value); },
                                              [subscriber, stop](const rt::Ref<ns::Error>& error) {
                                                  stop();
                                                  subscriber->sendError(error);
                                              },
                                              [subscriber, stop] {
                                                  stop();
                                                  subscriber->sendCompleted();
                                              }));
        return serial;
    });
}

void MotionAxisViewController::showAxis(int axis) {
    if (auto tip = tipLabel()) tip->setText(ns::stringWithFormat(text("TIPLABEL")->utf8(), kMotionAxisLetters[axis]));
    if (auto image = picture()) image->setImage(ui::Image::imageNamed(sensor_.pictures.at(std::size_t(axis))));
}

void MotionAxisViewController::testAxis(int axis) {
    auto signal = motionSignal(axis);
    if (axis == 2) signal = signal->logAll();
    rt::Weak<MotionAxisViewController> weak(rt::retained(this));
    signal->takeUntil(disappear())
        ->subscribeNextErrorCompleted(
            [weak, axis](const rt::Ref<ns::Dictionary>& progress) {
                auto self = weak.lock();
                auto label = self ? self->axisLabels_[std::size_t(axis)].lock() : nullptr;
                if (!label) return;
                const double value = rt::cast<ns::Number>(progress->objectForKey("value"))->doubleValue();
                label->setText(ns::stringWithFormat(self->progressFormats_[std::size_t(axis)], value));
            },
            [weak, axis](const rt::Ref<ns::Error>& error) {
                if (auto self = weak.lock()) self->axisFailed(axis, error);
            },
            [weak, axis] {
                if (auto self = weak.lock()) self->axisCompleted(axis);
            });
}

void MotionAxisViewController::axisFailed(int axis, const rt::Ref<ns::Error>& error) {
    // No error: no sensor, or a reading without data; the time-out's: no movement in time.
    const bool late = error && error->code() == es::Signal::kErrorTimedOut && error->domain() &&
                      error->domain()->utf8() == es::Signal::kErrorDomain;
    setVerdict(TestBaseModel::kFailed,
               !error ? "the sensor gave no reading"
               : late ? timedOut(kAxisSeconds, std::string("movement on the ") + kMotionAxisRows[axis])
                      : "the sensor failed" + describedError(error));
    if (auto image = picture(); image && sensor_.hidePictureAtEnd) image->setHidden(true);
    rt::cast<ns::MutableDictionary>(subItemlist()->objectAtIndex(std::size_t(axis)))
        ->setObjectForKey(ns::Number::withLong(TestBaseModel::kFailed), "result");
    gotoResultView();
}

void MotionAxisViewController::axisCompleted(int axis) {
    if (!passed_.at(std::size_t(axis))) return;
    if (auto label = axisLabels_[std::size_t(axis)].lock()) {
        auto marked = ns::MutableAttributedString::make(text(std::string(kMotionAxisLetters[axis]) + "_LABEL"));
        auto mark = ui::TextAttachment::make(ui::Image::imageNamed("icon_small_success"));
        marked->appendAttributedString(*ui::TextAttachment::attributedStringWithAttachment(mark));
        label->setAttributedText(marked);
    }
    rt::cast<ns::MutableDictionary>(subItemlist()->objectAtIndex(std::size_t(axis)))
        ->setObjectForKey(ns::Number::withLong(TestBaseModel::kPassed), "result");
    if (axis < 2) {
        showAxis(axis + 1);
        return testAxis(axis + 1);
    }
    if (auto image = picture(); image && sensor_.hidePictureAtEnd) image->setHidden(true);
    if (auto item = info()) item->setSuccess(TestBaseModel::kPassed);
    gotoResultView();
}

} // namespace ft
