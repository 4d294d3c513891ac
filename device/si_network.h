#pragma once
// si::Network ("SINetwork"): the device's network connection as text: local addresses, the Wi-Fi
// interface's hardware address, mask and broadcast address, the joined Wi-Fi network, the kind of
// connection and the public address. Every query is a class method, reads the device anew and keeps
// nothing; the one instance exists only because the class has always offered it.

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace si {

class Network : public rt::Object {
    RT_CLASS(Network)
public:
    // Run setting: the base address of the page that echoes the caller's public address.
    static constexpr const char* kAddressPageServerInfoKey = "IPCheckServer";
    static constexpr const char* kAddressPagePath = "/cgi-bin/check_ip.cgi";
    // The page is a line of text; a longer one is not read (no address).
    static constexpr long long kAddressPageMaximumLength = 64 * 1024;

    // The one instance, made once; copying it gives itself.
    static const rt::Ref<Network>& sharedInstance();

    // The last IPv4 address of "en0", else of "pdp_ip0", else "0.0.0.0" (IPv6 entries are skipped).
    static rt::Ref<ns::String> currentIPAddress();
    // The route to anywhere is reachable over Wi-Fi, respectively over the cellular path.
    static bool connectedViaWiFi();
    static bool connectedVia3G();
    // "en0"'s hardware address "%02X:..:%02X", or the text of the step that failed (logged as
    // "Error: <text>").
    static rt::Ref<ns::String> macAddress();
    // The address the address page sees, while connected; nil otherwise or when the page cannot be
    // read (the caller waits for the read, at most its time-out), is longer than
    // kAddressPageMaximumLength or holds no word after "Address:".
    static rt::Ref<ns::String> externalIPAddress();
    // The last IPv4 address of "pdp_ip0"; nil without one.
    static rt::Ref<ns::String> cellIPAddress();
    // "en0"'s network mask, dotted; nil when it cannot be read.
    static rt::Ref<ns::String> WiFiNetmaskAddress();
    // The current address with every bit outside the mask set; nil unless both are four dotted parts.
    static rt::Ref<ns::String> WiFiBroadcastAddress();
    // The joined Wi-Fi network's BSSID and SSID; nil when not joined.
    static rt::Ref<ns::String> BSSID();
    static rt::Ref<ns::String> SSID();

    // The word after the first "Address:" in `page` once every tag ("<" up to the next ">") is a
    // blank and the text is split at blanks (" " only); nil when there is none or it is empty.
    // One pass over the page.
    static rt::Ref<ns::String> addressInPage(const rt::Ref<ns::String>& page);

private:
    Network() = default;
};

} // namespace si
