#pragma once
// What the device's networks are, derived from its state and from nothing else, so that everything
// that shows or measures a network reads the same facts: the cellular service the status bar draws
// and the telephony stand-in reports, the Wi-Fi network the bar's fan and the captive network show
// and whose address the interfaces list (sim/interfaces.h), and the reachability of a target.
//
// - The cellular radio has service while its SIM names the network it is on (a mobile network code)
//   and a current radio technology; a SIM without either has none ("No Service"), a radio without
//   a SIM has no SIM, and a device without a radio has neither.
// - The Wi-Fi interface (en0) has its addresses while the device has joined a network on it
//   (Profile::onWifi).
// - A target's reachability: the flags the profile fixes for it, if it does; else a host name is
//   reached as anywhere (0.0.0.0) is; while on Wi-Fi, the route to anywhere and the link-local
//   network (169.254.0.0) are reachable and direct; off Wi-Fi with cellular service, the route to
//   anywhere goes over it (reachable, WWAN); otherwise nothing is reachable. Any other address is
//   not reachable.

#include <string_view>

namespace sim {

struct Profile;

enum class CellularService { NoRadio, NoSim, NoService, InService };
CellularService cellularService(const Profile& device);

// The signal bars the radio shows: the profile's bars (0 to 4) in service, else 0.
int signalBars(const Profile& device);

// The reachability flags of `target`, an address as text or a host name.
unsigned reachabilityFlags(const Profile& device, std::string_view target, bool isHostName);

} // namespace sim
