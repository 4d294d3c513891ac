#pragma once
// ct::Carrier ("CTCarrier") and ct::TelephonyNetworkInfo ("CTTelephonyNetworkInfo"): the SIM's
// carrier as the simulated device has it. A carrier is a snapshot of the device's carrier when it
// was asked for: name, mobile country and network codes, ISO country code and VOIP. Any thread.

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {
class Dictionary;
}

namespace sim {
struct Carrier;
struct CarrierService;
}

namespace ct {

class Carrier : public rt::Object {
    RT_CLASS(Carrier)
public:
    static rt::Ref<Carrier> make(const sim::Carrier& carrier);
    // The SIM of one service: its own name and codes where it has them, else the carrier's.
    static rt::Ref<Carrier> make(const sim::Carrier& carrier, const sim::CarrierService& service);

    const rt::Ref<ns::String>& carrierName() const { return carrierName_; }
    const rt::Ref<ns::String>& mobileCountryCode() const { return mobileCountryCode_; }
    const rt::Ref<ns::String>& mobileNetworkCode() const { return mobileNetworkCode_; }
    const rt::Ref<ns::String>& isoCountryCode() const { return isoCountryCode_; }
    bool allowsVOIP() const { return allowsVOIP_; }

    std::string description() const override;

protected:
    Carrier() = default;

private:
    rt::Ref<ns::String> carrierName_, mobileCountryCode_, mobileNetworkCode_, isoCountryCode_;
    bool allowsVOIP_ = false;
};

class TelephonyNetworkInfo : public rt::Object {
    RT_CLASS(TelephonyNetworkInfo)
public:
    static rt::Ref<TelephonyNetworkInfo> make();

    // The carrier of the SIM in the device now; nil without a SIM.
    rt::Ref<Carrier> subscriberCellularProvider() const;
    // The radio access technology of the SIM now ("CTRadioAccessTechnologyLTE"); nil without a SIM
    // or a technology.
    rt::Ref<ns::String> currentRadioAccessTechnology() const;
    // From system version 12.0 (nil before, and without a SIM): the carrier and the technology of
    // each service, keyed by service id, in the profile's order; a service without a technology
    // has no entry in the second.
    rt::Ref<ns::Dictionary> serviceSubscriberCellularProviders() const;
    rt::Ref<ns::Dictionary> serviceCurrentRadioAccessTechnology() const;

protected:
    TelephonyNetworkInfo() = default;
};

} // namespace ct
