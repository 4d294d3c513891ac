#pragma once
// si::System ("SISystem"): the system-information family's answers gathered into dictionaries
// keyed by the answering method's name: one per area, and one flat dictionary holding every area's
// keys in the order battery, disk, hardware, jailbreak, localization, memory, network, processor,
// carrier, accessory. Every call makes a new dictionary and asks every value anew; an answer that
// is nil leaves its key out. Numbers keep their kinds: bools, "batteryState" a 32-bit int, counts
// and "totalMemory" 64-bit, measures single-precision floats. Main thread (the hardware and battery
// areas ask the user interface's objects); the flat and network dictionaries read the address page
// while connected, blocking up to the read's time-out.

#include "platform/foundation/dictionary.h"
#include "platform/runtime/object.h"

namespace si {

class System : public rt::Object {
    RT_CLASS(System)
public:
    static rt::Ref<ns::MutableDictionary> systemInformations();
    static rt::Ref<ns::MutableDictionary> batteryInformations();
    static rt::Ref<ns::MutableDictionary> diskInformations();
    static rt::Ref<ns::MutableDictionary> hardwareInformations();
    static rt::Ref<ns::MutableDictionary> jailbreakInformations();
    static rt::Ref<ns::MutableDictionary> localizationInformations();
    static rt::Ref<ns::MutableDictionary> memoryInformations();
    // Reads the address page while connected: blocks the caller up to the read's time-out.
    static rt::Ref<ns::MutableDictionary> networkInformations();
    static rt::Ref<ns::MutableDictionary> processorInformations();
    static rt::Ref<ns::MutableDictionary> carrierInformations();
    static rt::Ref<ns::MutableDictionary> accessoryInformations();

private:
    System() = default;
};

} // namespace si
