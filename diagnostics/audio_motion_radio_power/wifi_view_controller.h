#pragma once
// ft::WifiViewController ("WifiViewController"): the Wi-Fi test (key "WIFI"), automatic. Four steps
// run one after another from the load, each ticked off on screen as it passes: a 3.0-s wait, the
// address of "en0" (1.0 s later), the address page fetched off the main thread (its own 10.0-s
// time-out), and a 2.0-s wait; then 1 and the screen leaves. No address on "en0", or a page that
// cannot be fetched, marks the "Internet IP" row 2 and records 2 at once. Leaving ends the chain
// without writing anything. No buttons. Keeps running in the background.

#include <array>
#include <vector>

#include "session/base_model_view_controller.h"

namespace ui {
class ActivityIndicatorView;
class ImageView;
} // namespace ui

namespace ft {

struct RadioStepLine;

class WifiViewController : public BaseModelViewController {
    RT_CLASS(WifiViewController)
public:
    static constexpr double kFirstWait = 3.0;
    static constexpr double kAddressDelay = 1.0;
    static constexpr double kPageTimeout = 10.0;
    static constexpr double kLastWait = 2.0;
    static constexpr int kSteps = 4;

    // The IPv4 address of "en0" (the last one listed), or "error".
    static rt::Ref<ns::String> getIPAddress();
    // The joined network's information, also shown in `ssid` and `bssid`; nil without one.
    rt::Ref<ns::Dictionary> fetchSSIDInfo();
    void onDone(const rt::Id& sender);

    rt::Ref<ui::Label> ssid() const;
    rt::Ref<ui::Label> bssid() const;
    rt::Ref<ui::Label> chipsetTest() const;
    rt::Ref<ui::Label> internalAddress() const;
    rt::Ref<ui::Label> internetAddress() const;
    rt::Ref<ui::Label> networkpacketCheck() const;
    // Step `index` (0 to 3): its tick and its spinner.
    rt::Ref<ui::ImageView> step(int index) const;
    rt::Ref<ui::ActivityIndicatorView> activityIndicator(int index) const;

    // The scene's views; `steps` holds a line per step.
    void setOutlets(const rt::Ref<ui::Label>& ssid, const rt::Ref<ui::Label>& bssid,
                    const std::vector<RadioStepLine>& steps);

protected:
    WifiViewController();
    void viewDidLoadBody() override;

private:
    // Step `index` passed: its spinner off, the next one's on, its tick, its row 1; a label
    // given gets `found` after its caption.
    void passStep(int index, const rt::Ref<ns::String>& found = nullptr);

    rt::Weak<ui::Label> ssid_, bssid_;
    std::array<rt::Weak<ui::Label>, kSteps> captions_;
    std::array<rt::Weak<ui::ImageView>, kSteps> ticks_;
    std::array<rt::Weak<ui::ActivityIndicatorView>, kSteps> spinners_;
};

} // namespace ft
