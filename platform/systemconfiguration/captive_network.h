#pragma once
// The least of the captive network's queries, over the simulated device: its Wi-Fi interface and
// the network it has joined (the wifi.join and wifi.leave stimuli).

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"

namespace cn {

// ["en0"] when the device has a Wi-Fi interface (an "en0" among its interfaces, fixed or aliased to
// the host's), else nil.
rt::Ref<ns::Array> copySupportedInterfaces();
// {"SSID", "BSSID"} of the joined network for a supported interface; nil when not joined, or for any
// other interface.
rt::Ref<ns::Dictionary> copyCurrentNetworkInfo(const rt::Ref<ns::String>& interfaceName);

} // namespace cn
