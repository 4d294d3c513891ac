#include "diagnostics/audio_motion_radio_power/power_plug_support.h"

#include <utility>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/notification_center.h"
#include "platform/uikit/device.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "session/base_model_view_controller.h"
#include "session/core/test_base_model.h"
#include "streams/foundation_signals.h"
#include "streams/signal.h"

namespace ft {

bool batteryPowered() {
    const ui::DeviceBatteryState state = ui::Device::currentDevice()->batteryState();
    return state == ui::DeviceBatteryState::Charging || state == ui::DeviceBatteryState::Full;
}

rt::Ref<es::Signal> countedPowerChanges() {
    return es::addObserverForName(ns::NotificationCenter::defaultCenter(),
                                  ns::String::make(ns::UIDeviceBatteryStateDidChangeNotification), nullptr)
        ->skip(1)
        ->map([](const rt::Id&) { return batteryPowered(); });
}

void showPlugVerdict(BaseModelViewController& screen, const rt::Ref<ui::ImageView>& image, bool passed,
                     std::string_view rowTitle, std::string why) {
    if (image) image->setImage(ui::Image::imageNamed(passed ? "icon_success_shape" : "icon_fail_shape"));
    screen.setVerdict(passed ? TestBaseModel::kPassed : TestBaseModel::kFailed, std::move(why));
    auto row = ns::MutableDictionary::make();
    row->setObjectForKey(ns::String::make(rowTitle), "title");
    row->setObjectForKey(ns::Number::withBool(passed), "result");
    screen.setSubItemlist(ns::Array::make({row}));
}

void monitorBatteryWhileShown(BaseModelViewController& screen) {
    screen.present()->subscribeNext(
        [](bool shown) { ui::Device::currentDevice()->setBatteryMonitoringEnabled(shown); });
}

} // namespace ft
