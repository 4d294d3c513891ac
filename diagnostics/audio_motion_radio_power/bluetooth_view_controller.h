#pragma once
// ft::BluetoothViewController ("BluetoothViewController"): the Bluetooth test (key "BLUETOOTH"),
// automatic. Step 1 (launch) ticks 3.0 s after the load; step 2 (discovery) 3.0 s after the radio
// first reports itself usable (powered on, or without Bluetooth LE), not before 3.0 s after step
// 1; then 1 and the screen leaves. A radio that reports itself powered off records 2 and leaves
// at once (the platform shows its power alert). Other states wait for the tester: no watchdog.
//
// While scanning, each discovered peripheral is connected and its services discovered; a service
// "FFE0" has its characteristics asked for. None of it changes the result. Leaving stops the
// scan and cancels every connection the screen asked for, pending or made.
//
// The peer-session handlers are here over the peer-session stand-in, but nothing in the system
// starts a session or shows a picker. Main thread only; keeps running in the background.

#include <array>
#include <vector>

#include "session/base_model_view_controller.h"

namespace cb {
class CentralManager;
class Peripheral;
} // namespace cb
namespace gk {
class PeerPickerController;
class Session;
} // namespace gk
namespace ui {
class ActivityIndicatorView;
class ImageView;
class TextView;
} // namespace ui

namespace ft {

struct RadioStepLine;

class BluetoothViewController : public BaseModelViewController {
    RT_CLASS(BluetoothViewController)
public:
    static constexpr double kLaunchDelay = 3.0;
    static constexpr double kPowerDelay = 3.0;
    static constexpr double kPickerDelay = 1.0;
    static constexpr double kPeerTimeout = 10.0;
    static constexpr std::int32_t kPeerGreeting = 1337;
    static constexpr int kSteps = 3;

    bool hasPowerOn() const noexcept { return hasPowerOn_; }
    void setHasPowerOn(bool on);
    bool canScanPeripherals() const noexcept { return canScanPeripherals_; }
    void setCanScanPeripherals(bool can);
    bool hasReceiveData() const noexcept { return hasReceiveData_; }
    void setHasReceiveData(bool received);

    const rt::Ref<cb::CentralManager>& cm() const noexcept { return cm_; }
    const rt::Ref<gk::Session>& session() const noexcept { return session_; }
    void setSession(const rt::Ref<gk::Session>& session);
    const rt::Ref<gk::PeerPickerController>& peerPicker() const noexcept { return peerPicker_; }
    void setPeerPicker(const rt::Ref<gk::PeerPickerController>& picker);

    rt::Ref<ui::ImageView> step(int index) const;
    rt::Ref<ui::ActivityIndicatorView> activityIndicator(int index) const;
    rt::Ref<ui::Label> launchTest() const;
    rt::Ref<ui::Label> discoverycapacityTest() const;
    rt::Ref<ui::TextView> outMessageTextView() const;
    // The scene's views; `steps` holds a line per step.
    void setOutlets(const std::vector<RadioStepLine>& steps, const rt::Ref<ui::TextView>& outMessageTextView);

    // The central's and the peripherals' delegate.
    void centralManagerDidUpdateState(const rt::Id& central);
    void didDiscoverPeripheral(const rt::Id& central, const rt::Id& peripheral, const rt::Id& advertisement,
                               const rt::Id& rssi);
    void didConnectPeripheral(const rt::Id& central, const rt::Id& peripheral);
    void didRetrievePeripherals(const rt::Id& central, const rt::Id& peripherals);
    void didDiscoverServices(const rt::Id& peripheral, const rt::Id& error);

    // The peer-session step's handlers.
    void pickerDidSelectConnectionType(const rt::Id& picker, unsigned long type);
    rt::Id pickerSessionForConnectionType(const rt::Id& picker, unsigned long type);
    void pickerDidConnectPeer(const rt::Id& picker, const rt::Id& peer, const rt::Id& session);
    void pickerDidCancel(const rt::Id& picker);
    void sessionPeerDidChangeState(const rt::Id& session, const rt::Id& peer, int state);
    void sessionDidReceiveConnectionRequest(const rt::Id& session, const rt::Id& peer);
    void receiveData(const rt::Id& data, const rt::Id& peer, const rt::Id& session, const rt::Id& context);
    // Appends `text` and a new line to the message view, unless it is nil, empty or already there.
    void outMessage(const rt::Ref<ns::String>& text);
    rt::Ref<ns::String> translatePeerIdToDisplayname(const rt::Ref<ns::String>& peer) const;

    // The peripherals connected or being connected.
    const std::vector<rt::Ref<cb::Peripheral>>& peripherals() const noexcept { return peripherals_; }

protected:
    BluetoothViewController();
    ~BluetoothViewController() override;
    void viewDidLoadBody() override;

private:
    void passStep(int index);
    void letPeripheralsGo();

    bool hasPowerOn_ = false, canScanPeripherals_ = false, hasReceiveData_ = false;
    rt::Ref<cb::CentralManager> cm_;
    rt::Ref<gk::Session> session_;
    rt::Ref<gk::PeerPickerController> peerPicker_;
    std::vector<rt::Ref<cb::Peripheral>> peripherals_;
    std::array<rt::Weak<ui::ImageView>, kSteps> ticks_;
    std::array<rt::Weak<ui::ActivityIndicatorView>, kSteps> spinners_;
    rt::Weak<ui::Label> launchTest_, discoverycapacityTest_;
    rt::Weak<ui::TextView> outMessageTextView_;
};

} // namespace ft
