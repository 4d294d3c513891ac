#include "platform/sim/network_state.h"

#include <algorithm>
#include <string>

#include "platform/sim/profile.h"

namespace sim {

CellularService cellularService(const Profile& device) {
    if (!device.cellular) return CellularService::NoRadio;
    if (!device.carrier) return CellularService::NoSim;
    if (device.carrier->mnc.empty() || device.carrier->radioTech.empty()) return CellularService::NoService;
    return CellularService::InService;
}

int signalBars(const Profile& device) {
    return cellularService(device) == CellularService::InService ? std::clamp(device.statusBar.signalBars, 0, 4) : 0;
}

unsigned reachabilityFlags(const Profile& device, std::string_view target, bool isHostName) {
    using namespace reachability;
    if (auto fixed = device.reachability.find(std::string(target)); fixed != device.reachability.end())
        return fixed->second;
    // A host name is reached as anywhere is.
    if (isHostName) return reachabilityFlags(device, "0.0.0.0", false);
    const bool anywhere = target == "0.0.0.0";
    if (device.onWifi()) return anywhere || target == "169.254.0.0" ? kReachable | kIsDirect : 0;
    if (anywhere && cellularService(device) == CellularService::InService) return kReachable | kIsWWAN;
    return 0;
}

} // namespace sim
