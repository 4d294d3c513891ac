#pragma once
// ft::PhysicalKeyViewController ("PhysicalKeyViewController"): the physical key test (key
// "PHYSICAL_KEYS_TEST"). A table lists the volume-up and volume-down keys and, on an iPhone, the
// ring/silent switch (rows 0, 1 and 2, in `itemList` and `subItemlist` alike); each row ticks when
// its key responds. Every row ticked: the item's code is 1 and the screen moves on. Not all ticked
// 30 s after the load: 2, with the ratio {"price": 10 per unticked row}.
//
// Volume presses are changes of the audio session's "outputVolume", watched from 1.0 s after the
// screen appears; the first reading is the reference and is not judged. The switch is seen by a
// ring/silent switch detector, whose first report (the position at load) is ignored. While the
// screen shows, the system volume indicator is hidden.
//
// The volume-button stealer (start, initialise, the 'chov' listener, stop, suspend, resume) is a
// second way to hear the keys: an off-screen volume view in the first window and an audio-session
// property listener. Only `resume` after a `suspend` starts it; its stop runs on every way out of
// the test, so every exit deactivates the audio session.
//
// Threads: output-volume readings and the stealer's listener are judged on the thread that
// delivers them (`launchVolume` is atomic); rows, lists and the table change on the main thread.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "session/base_model_view_controller.h"

namespace ns {
class IndexPath;
}

namespace ui {
class TableView;
class TableViewCell;
class View;
} // namespace ui

namespace ft {

class MuteSwitchDetector;

class PhysicalKeyViewController : public BaseModelViewController {
    RT_CLASS(PhysicalKeyViewController)
public:
    static constexpr double kWatchdogSeconds = 30.0;
    // From the screen's appearance to the volume watch.
    static constexpr double kWatchDelay = 1.0;
    // The player's volume on appearance, and the first reference.
    static constexpr float kLaunchVolume = 0.5f;
    // Percentage points off the estimate per key that did not respond.
    static constexpr long kPricePerKey = 10;
    static constexpr std::size_t kVolumeUpRow = 0, kVolumeDownRow = 1, kSwitchRow = 2;

    rt::Ref<ui::TableView> tableView() const;
    void setTableView(const rt::Ref<ui::TableView>& table);
    const rt::Ref<ns::Array>& itemList() const noexcept { return itemList_; }
    void setItemList(rt::Ref<ns::Array> list);
    const rt::Ref<MuteSwitchDetector>& detector() const noexcept { return detector_; }
    // Whether the detector's first report has been seen.
    bool skip() const noexcept { return skip_; }
    float launchVolume() const noexcept;
    bool isStopMonitorVolumeKey() const noexcept { return isStopMonitorVolumeKey_.load(); }
    void setIsStopMonitorVolumeKey(bool stop);
    rt::Ref<ui::View> volumeView() const;
    void setVolumeView(rt::Ref<ui::View> view);
    bool isStealingVolumeButtons() const noexcept { return isStealingVolumeButtons_.load(); }
    bool suspended() const noexcept { return suspended_.load(); }

    // YES after every viewWillDisappear:.
    rt::Ref<es::Signal> disappear() override;

    // ---- Data source: one section, a row per key ----
    long tableViewNumberOfRowsInSection(const rt::Ref<ui::TableView>& table, long section) const;
    rt::Ref<ui::TableViewCell> tableViewCellForRowAtIndexPath(const rt::Ref<ui::TableView>& table,
                                                              const rt::Ref<ns::IndexPath>& indexPath);

    // ---- Keys ----
    void volumeUp();
    void volumeDown();
    // gotoResultView once every row has responded.
    void updateState();
    void monitorVolumeKeyEvent();
    // Whether the machine's switch row carries the action-button title (iPhone16,1 and 16,2).
    static bool greaterthaniPhone15pro();
    // The system volume indicator hidden (YES) or shown (NO).
    void setVolumeHidden(bool hidden);

    // ---- The stealer ----
    void startStealingVolumeButtonEvents();
    void initializeVolumeButtonStealer();
    void stopStealingVolumeButtonEvents();
    void suspendStealingVolumeButtonEvents(const rt::Id& sender);
    void resumeStealingVolumeButtonEvents(const rt::Id& sender);
    // The session's 'chov' listener: `clientData` is the screen's weak reference to itself, `data`
    // the new volume (a 4-byte float). Judges it against `launchVolume` without moving it.
    static void volumeChangeListenerCallback(void* clientData, std::uint32_t propertyId, std::uint32_t dataSize,
                                             const void* data);

protected:
    PhysicalKeyViewController();
    ~PhysicalKeyViewController() override;
    void viewDidLoadBody() override;

private:
    // Row `index` responded: its model's "success" by key-value coding, its sub-item's "result",
    // the table, then updateState. Rows the lists do not hold are left alone.
    void markRow(std::size_t index);
    // The key press of `row` ("volumeUp" / "volumeDown"): the player back to the reference, then
    // the row on the main queue.
    void keyPressed(std::size_t row, const char* name);
    void setLaunchVolume(float volume);
    // A volume reading after the first: a press up or down from the reference, which moves to it.
    void judgeVolume(float volume);
    void observeVolume();

    rt::Weak<ui::TableView> tableView_;
    rt::Ref<ns::Array> itemList_;
    rt::Ref<MuteSwitchDetector> detector_;
    bool skip_ = false;
    std::atomic<float> launchVolume_{0};
    std::atomic<bool> isStopMonitorVolumeKey_{false};
    mutable std::mutex volumeViewLock_; // guards volumeView_
    rt::Ref<ui::View> volumeView_;
    std::atomic<bool> isStealingVolumeButtons_{false}, suspended_{false};
    std::atomic<bool> hadToLowerVolume_{false}, hadToRaiseVolume_{false};
    // What the stealer's listener is given.
    rt::Weak<PhysicalKeyViewController> stealerSelf_;
};

} // namespace ft
