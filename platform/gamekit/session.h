#pragma once
// gk::Session ("GKSession") and gk::PeerPickerController ("GKPeerPickerController"): the least of a
// peer-to-peer service. There is no peer here: a session records each call it is given (in
// calls(), as "<selector> <argument>") and does nothing else; a picker is only shown or dismissed.

#include <string>
#include <vector>

#include "platform/foundation/data.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace rt {
class Protocol;
}

namespace gk {

// "GKSessionDelegate" and "GKPeerPickerControllerDelegate": every method optional.
const rt::Protocol& sessionDelegateProtocol();
const rt::Protocol& peerPickerControllerDelegateProtocol();

enum class PeerConnectionState : int { Available = 0, Unavailable = 1, Connected = 2, Disconnected = 3, Connecting = 4 };
enum class SendDataMode : int { Reliable = 0, Unreliable = 1 };

class Session final : public rt::Object {
    RT_CLASS(Session)
public:
    static rt::Ref<Session> make(std::string sessionID, std::string displayName);

    bool isAvailable() const noexcept { return available_; }
    void setAvailable(bool available);
    // The peer's id as its name: no peer announces another.
    rt::Ref<ns::String> displayNameForPeer(const rt::Ref<ns::String>& peer) const;
    void connectToPeer(const rt::Ref<ns::String>& peer, double timeout);
    bool sendDataToAllPeers(const rt::Ref<ns::Data>& data, SendDataMode mode);
    bool acceptConnectionFromPeer(const rt::Ref<ns::String>& peer);
    void disconnectFromAllPeers();
    const std::vector<std::string>& calls() const noexcept { return calls_; }

private:
    Session(std::string sessionID, std::string displayName);
    std::string sessionID_, displayName_;
    bool available_ = false;
    std::vector<std::string> calls_;
};

class PeerPickerController final : public rt::Object {
    RT_CLASS(PeerPickerController)
public:
    static rt::Ref<PeerPickerController> make();
    // Held weakly.
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate) { delegate_ = rt::Weak<rt::Object>(delegate); }
    bool isVisible() const noexcept { return visible_; }
    void show() { visible_ = true; }
    void dismiss() { visible_ = false; }

private:
    PeerPickerController() = default;
    rt::Weak<rt::Object> delegate_;
    bool visible_ = false;
};

} // namespace gk
