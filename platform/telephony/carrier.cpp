#include "platform/telephony/carrier.h"

#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/runtime/class.h"
#include "platform/sim/device.h"

namespace ct {

RT_DEFINE_CLASS(Carrier, "CTCarrier", rt::Object,
                rt::prop("carrierName", &Carrier::carrierName),
                rt::prop("mobileCountryCode", &Carrier::mobileCountryCode),
                rt::prop("mobileNetworkCode", &Carrier::mobileNetworkCode),
                rt::prop("isoCountryCode", &Carrier::isoCountryCode),
                rt::prop("allowsVOIP", &Carrier::allowsVOIP))

RT_DEFINE_CLASS(TelephonyNetworkInfo, "CTTelephonyNetworkInfo", rt::Object,
                rt::prop("subscriberCellularProvider", &TelephonyNetworkInfo::subscriberCellularProvider),
                rt::prop("currentRadioAccessTechnology", &TelephonyNetworkInfo::currentRadioAccessTechnology),
                rt::prop("serviceSubscriberCellularProviders",
                         &TelephonyNetworkInfo::serviceSubscriberCellularProviders),
                rt::prop("serviceCurrentRadioAccessTechnology",
                         &TelephonyNetworkInfo::serviceCurrentRadioAccessTechnology))

namespace {

constexpr double telephonyServicesSince = 12.0;

// The services of the SIM in the device now, each as `value` makes it (nil: left out), keyed by id
// in the profile's order; nil before the services existed and without a SIM.
template <class Value>
rt::Ref<ns::Dictionary> telephonyServiceDictionary(Value value) {
    const auto device = sim::currentDevice();
    if (!device || !device->carrier || device->systemVersionNumber() < telephonyServicesSince) return nullptr;
    std::vector<rt::Id> keys, values;
    for (const sim::CarrierService& service : device->carrier->services) {
        rt::Id made = value(*device->carrier, service);
        if (!made) continue;
        keys.push_back(ns::String::make(service.id));
        values.push_back(std::move(made));
    }
    return ns::Dictionary::withStringKeys(keys, values);
}

const std::string& telephonyOr(const std::string& own, const std::string& carrier) {
    return own.empty() ? carrier : own;
}

// A radio technology's name; nil for none.
rt::Ref<ns::String> telephonyTechnology(const std::string& technology) {
    return technology.empty() ? nullptr : ns::String::make(technology);
}

} // namespace

rt::Ref<Carrier> Carrier::make(const sim::Carrier& carrier) {
    auto made = rt::make<Carrier>();
    made->carrierName_ = ns::String::make(carrier.name);
    made->mobileCountryCode_ = ns::String::make(carrier.mcc);
    made->mobileNetworkCode_ = ns::String::make(carrier.mnc);
    made->isoCountryCode_ = ns::String::make(carrier.iso);
    made->allowsVOIP_ = carrier.allowsVOIP;
    return made;
}

rt::Ref<Carrier> Carrier::make(const sim::Carrier& carrier, const sim::CarrierService& service) {
    sim::Carrier own = carrier;
    own.name = telephonyOr(service.name, carrier.name);
    own.mcc = telephonyOr(service.mcc, carrier.mcc);
    own.mnc = telephonyOr(service.mnc, carrier.mnc);
    own.iso = telephonyOr(service.iso, carrier.iso);
    return make(own);
}

std::string Carrier::description() const {
    return "CTCarrier (" + carrierName_->utf8() + ") mcc " + mobileCountryCode_->utf8() + " mnc " +
           mobileNetworkCode_->utf8();
}

rt::Ref<TelephonyNetworkInfo> TelephonyNetworkInfo::make() {
    return rt::make<TelephonyNetworkInfo>();
}

rt::Ref<Carrier> TelephonyNetworkInfo::subscriberCellularProvider() const {
    // One read of the device: the carrier is whole, whatever another thread changes meanwhile.
    const auto device = sim::currentDevice();
    if (!device || !device->carrier) return nullptr;
    return Carrier::make(*device->carrier);
}

rt::Ref<ns::String> TelephonyNetworkInfo::currentRadioAccessTechnology() const {
    const auto device = sim::currentDevice();
    if (!device || !device->carrier) return nullptr;
    return telephonyTechnology(device->carrier->radioTech);
}

rt::Ref<ns::Dictionary> TelephonyNetworkInfo::serviceSubscriberCellularProviders() const {
    return telephonyServiceDictionary([](const sim::Carrier& carrier, const sim::CarrierService& service) {
        return rt::Id(Carrier::make(carrier, service));
    });
}

rt::Ref<ns::Dictionary> TelephonyNetworkInfo::serviceCurrentRadioAccessTechnology() const {
    return telephonyServiceDictionary([](const sim::Carrier&, const sim::CarrierService& service) {
        return rt::Id(telephonyTechnology(service.radioTech));
    });
}

} // namespace ct
