#include "platform/gamekit/session.h"

#include "platform/foundation/format.h"
#include "platform/runtime/class.h"

namespace gk {

RT_DEFINE_CLASS(Session, "GKSession", rt::Object)
RT_DEFINE_CLASS(PeerPickerController, "GKPeerPickerController", rt::Object)

const rt::Protocol& sessionDelegateProtocol() {
    static const rt::Protocol protocol(
        "GKSessionDelegate", {{rt::Sel("session:peer:didChangeState:"), "v@:@@i", false},
                              {rt::Sel("session:didReceiveConnectionRequestFromPeer:"), "v@:@@", false},
                              {rt::Sel("session:connectionWithPeerFailed:withError:"), "v@:@@@", false},
                              {rt::Sel("session:didFailWithError:"), "v@:@@", false}});
    return protocol;
}

const rt::Protocol& peerPickerControllerDelegateProtocol() {
    static const rt::Protocol protocol(
        "GKPeerPickerControllerDelegate",
        {{rt::Sel("peerPickerController:didSelectConnectionType:"), "v@:@Q", false},
         {rt::Sel("peerPickerController:sessionForConnectionType:"), "@@:@Q", false},
         {rt::Sel("peerPickerController:didConnectPeer:toSession:"), "v@:@@@", false},
         {rt::Sel("peerPickerControllerDidCancel:"), "v@:@", false}});
    return protocol;
}

Session::Session(std::string sessionID, std::string displayName)
    : sessionID_(std::move(sessionID)), displayName_(std::move(displayName)) {}

rt::Ref<Session> Session::make(std::string sessionID, std::string displayName) {
    return rt::make<Session>(std::move(sessionID), std::move(displayName));
}

void Session::setAvailable(bool available) {
    available_ = available;
    calls_.push_back(std::string("setAvailable: ") + (available ? "YES" : "NO"));
}

rt::Ref<ns::String> Session::displayNameForPeer(const rt::Ref<ns::String>& peer) const {
    return peer;
}

void Session::connectToPeer(const rt::Ref<ns::String>& peer, double timeout) {
    calls_.push_back(ns::format("connectToPeer:withTimeout: %@ %g", peer, timeout));
}

bool Session::sendDataToAllPeers(const rt::Ref<ns::Data>& data, SendDataMode mode) {
    calls_.push_back(ns::format("sendDataToAllPeers:withDataMode:error: %lu %d", data ? data->length() : 0ul,
                                static_cast<int>(mode)));
    return false;
}

bool Session::acceptConnectionFromPeer(const rt::Ref<ns::String>& peer) {
    calls_.push_back(ns::format("acceptConnectionFromPeer:error: %@", peer));
    return false;
}

void Session::disconnectFromAllPeers() {
    calls_.push_back("disconnectFromAllPeers");
}

} // namespace gk
