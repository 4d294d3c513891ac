#pragma once
// A channel bound to one key of a user-defaults store.

#include <string_view>

#include "platform/runtime/object.h"

namespace ns {
class UserDefaults;
}

namespace es {

class ChannelTerminal;

// The terminal to hold: subscribing to it gives the key's current value, then each new value
// written to the store by other code (values equal to the last one delivered are not repeated);
// a value sent into it is written to the key on a background scheduler of the channel's own, and
// that write is not delivered back. The channel's inbound side ends when the store deallocates.
rt::Ref<ChannelTerminal> channelTerminalForKey(const rt::Ref<ns::UserDefaults>& defaults, std::string_view key);

} // namespace es
