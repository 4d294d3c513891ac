#include "diagnostics/audio_motion_radio_power/wifi_view_controller.h"

#include <optional>
#include <string>

#include "diagnostics/audio_motion_radio_power/automatic_ending.h"
#include "diagnostics/audio_motion_radio_power/radio_steps.h"
#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/data.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/runtime/number.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_request.h"
#include "platform/runtime/class.h"
#include "platform/sim/interfaces.h"
#include "platform/systemconfiguration/captive_network.h"
#include "platform/uikit/activity_indicator_view.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "session/string_split.h"
#include "session/test_screen_scene.h"
#include "streams/foundation_signals.h"
#include "streams/scheduler.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "streams/tuple.h"

namespace ft {

namespace {

constexpr const char* kWifiAddressPageKey = "IPCheckServer";
constexpr const char* kWifiAddressPagePath = "/cgi-bin/check_ip.cgi";

const bool wifiNibRegistered = registerTestScreenNib<WifiViewController>(
    "WifiViewController", [](const rt::Ref<ui::View>& view, WifiViewController& screen) {
        const double width = view->bounds().width();
        auto lines = addRadioStepLines(view, WifiViewController::kSteps);
        auto ssid = addSceneLabel(view, cg::Rect::make(20, 380, width - 40, 24), 13);
        auto bssid = addSceneLabel(view, cg::Rect::make(20, 404, width - 40, 24), 13);
        screen.setOutlets(ssid, bssid, lines);
    });

// The body as UTF-8, between the page's markers; "" without them.
rt::Ref<ns::String> wifiPageAddress(const rt::Id& reply) {
    auto tuple = rt::cast<es::Tuple>(reply);
    auto body = tuple ? rt::cast<ns::Data>(tuple->second()) : nullptr;
    if (!body || !ns::String::isValidUTF8(body->view())) return ns::String::make("");
    auto found = stringSplitWithBegin(ns::String::make(body->view()), ns::String::make("Your IP address is:"),
                                      ns::String::make("</h1>"));
    return found && found->length() > 0 ? found : ns::String::make("");
}

rt::Ref<ns::URLRequest> wifiAddressPageRequest() {
    auto base = rt::cast<ns::String>(ns::Bundle::mainBundle()->objectForInfoDictionaryKey(kWifiAddressPageKey));
    auto url = ns::URL::URLWithString((base ? base->utf8() : std::string()) + kWifiAddressPagePath);
    return ns::URLRequest::requestWithURL(url, ns::URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData,
                                          WifiViewController::kPageTimeout);
}

} // namespace

RT_DEFINE_CLASS(WifiViewController, "WifiViewController", BaseModelViewController,
                rt::prop("ssid", &WifiViewController::ssid, {.memory = rt::Memory::Weak}),
                rt::prop("bssid", &WifiViewController::bssid, {.memory = rt::Memory::Weak}),
                rt::prop("chipsetTest", &WifiViewController::chipsetTest, {.memory = rt::Memory::Weak}),
                rt::prop("internalAddress", &WifiViewController::internalAddress, {.memory = rt::Memory::Weak}),
                rt::prop("internetAddress", &WifiViewController::internetAddress, {.memory = rt::Memory::Weak}),
                rt::prop("networkpacketCheck", &WifiViewController::networkpacketCheck,
                         {.memory = rt::Memory::Weak}),
                rt::method("onDone:", &WifiViewController::onDone))

WifiViewController::WifiViewController() = default;

rt::Ref<ui::Label> WifiViewController::ssid() const {
    return ssid_.lock();
}

rt::Ref<ui::Label> WifiViewController::bssid() const {
    return bssid_.lock();
}

rt::Ref<ui::Label> WifiViewController::chipsetTest() const {
    return captions_[0].lock();
}

rt::Ref<ui::Label> WifiViewController::internalAddress() const {
    return captions_[1].lock();
}

rt::Ref<ui::Label> WifiViewController::internetAddress() const {
    return captions_[2].lock();
}

rt::Ref<ui::Label> WifiViewController::networkpacketCheck() const {
    return captions_[3].lock();
}

rt::Ref<ui::ImageView> WifiViewController::step(int index) const {
    return ticks_.at(index).lock();
}

rt::Ref<ui::ActivityIndicatorView> WifiViewController::activityIndicator(int index) const {
    return spinners_.at(index).lock();
}

void WifiViewController::setOutlets(const rt::Ref<ui::Label>& ssid, const rt::Ref<ui::Label>& bssid,
                                    const std::vector<RadioStepLine>& steps) {
    ssid_ = ssid;
    bssid_ = bssid;
    for (std::size_t i = 0; i < steps.size() && i < kSteps; ++i) {
        captions_[i] = steps[i].caption;
        ticks_[i] = steps[i].tick;
        spinners_[i] = steps[i].spinner;
    }
}

rt::Ref<ns::String> WifiViewController::getIPAddress() {
    // en0's IPv4 address, the last the interface list gives; "error" without one, or without a list.
    const std::optional<std::string> address = sim::ipv4Address("en0");
    return ns::String::make(address && !address->empty() ? *address : std::string("error"));
}

rt::Ref<ns::Dictionary> WifiViewController::fetchSSIDInfo() {
    auto names = cn::copySupportedInterfaces();
    ns::log("%s: Supported interfaces: %@", "-[WifiViewController fetchSSIDInfo]", names);
    rt::Ref<ns::Dictionary> info;
    for (std::size_t i = 0; names && i < names->count(); ++i) {
        auto name = rt::cast<ns::String>(names->objectAtIndex(i));
        info = cn::copyCurrentNetworkInfo(name);
        ns::log("%s: %@ => %@", "-[WifiViewController fetchSSIDInfo]", name, info);
        if (auto label = ssid()) label->setText(info ? rt::cast<ns::String>(info->objectForKey("SSID")) : nullptr);
        if (auto label = bssid()) label->setText(info ? rt::cast<ns::String>(info->objectForKey("BSSID")) : nullptr);
        if (info && info->count() > 0) break;
    }
    return info;
}

void WifiViewController::onDone(const rt::Id&) {
    ns::log("onDone");
}

void WifiViewController::passStep(int index, const rt::Ref<ns::String>& found) {
    tickRadioStep(step(index), activityIndicator(index));
    if (index + 1 < kSteps)
        if (auto next = activityIndicator(index + 1)) next->setHidden(false);
    if (found)
        if (auto label = captions_[index].lock()) label->setText(ns::stringWithFormat("%@ %@", label->text(), found));
    setRadioStepResult(subItemlist(), index, 1);
}

void WifiViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    setSubItemlist(radioStepRows({"Chipset Test", "Wi-Fi (internal) IP", "Internet IP", "Check network packet"}));
    const rt::Weak<WifiViewController> weak(rt::retained(this));
    hideButtonsWhenShown();
    if (auto title = labelTitle()) title->setText(localized("WIFI_CONTROLLER_TITLE"));
    const char* keys[kSteps] = {"WIFI_CONTROLLER_CHIPSET_TEST", "WIFI_CONTROLLER_INTERNAL_IP",
                                "WIFI_CONTROLLER_INERNET_IP", "WIFI_CONTROLLER_CHECK_NETWORK_PACKET"};
    for (int i = 0; i < kSteps; ++i)
        if (auto label = captions_[i].lock()) label->setText(localized(keys[i]));

    auto ended = es::signalForSelector(this, rt::Sel("viewWillDisappear:"))->mapReplace(ns::Number::withBool(true));
    const auto& main = es::Scheduler::mainThreadScheduler();
    auto firstWait = es::Signal::interval(kFirstWait, main)->take(1);
    auto localAddress = es::Signal::defer([] {
                            auto address = getIPAddress();
                            if (!address || address->length() == 0 || address->utf8() == "error")
                                return es::Signal::error(ns::Error::make("Function", 1));
                            return es::Signal::returnValue(address);
                        })->delay(kAddressDelay);
    auto publicAddress = es::Signal::defer([] { return es::sendAsynchronousRequest(wifiAddressPageRequest()); })
                             ->map([](const rt::Id& reply) -> rt::Id { return wifiPageAddress(reply); })
                             ->deliverOnMainThread();
    auto lastWait = es::Signal::interval(kLastWait, main)->take(1);

    if (auto spinner = activityIndicator(0)) spinner->setHidden(false);
    firstWait
        ->flattenMap([weak, localAddress](const rt::Id&) {
            if (auto self = weak.lock()) self->passStep(0);
            return localAddress;
        })
        ->flattenMap([weak, publicAddress](const rt::Id& address) {
            if (auto self = weak.lock()) self->passStep(1, rt::cast<ns::String>(address));
            return publicAddress;
        })
        ->catchError([weak](const rt::Ref<ns::Error>& error) {
            if (auto self = weak.lock()) {
                setRadioStepResult(self->subItemlist(), 2, 2);
                // The local address's failure is the "Function" error; any other is the page's.
                const bool local = error && error->domain() && error->domain()->utf8() == "Function";
                endAutomatically(*self, TestBaseModel::kFailed,
                                 local ? "no Wi-Fi (internal) IP address"
                                       : "no Internet IP address from the address page" +
                                             describedError(error));
            }
            return es::Signal::empty();
        })
        ->flattenMap([weak, lastWait](const rt::Id& text) {
            if (auto self = weak.lock()) self->passStep(2, rt::cast<ns::String>(text));
            return lastWait;
        })
        ->takeUntil(ended)
        ->subscribeNext([weak](const rt::Id&) {
            auto self = weak.lock();
            if (!self) return;
            self->passStep(3);
            ns::log("all task has been done.");
            endAutomatically(*self, TestBaseModel::kPassed, "every Wi-Fi step passed");
        });
}

} // namespace ft
