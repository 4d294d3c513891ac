// The Bluetooth state checker: one instance however many threads ask, and one log line per state
// update, in words, on the main thread.

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "device/bluetooth_checker.h"
#include "platform/bluetooth/central_manager.h"
#include "platform/foundation/thread.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/sim/device.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/virtual_time.h"

namespace {

class BluetoothCheckerTest : public testkit::VirtualTimeTest {
protected:
    void SetUp() override {
        sim::Profile p = sim::defaultProfile();
        p.bluetooth = {.state = 5, .firstStateAfter = 0.25, .peripherals = {}};
        device_.emplace(std::move(p));
        previous_ = ns::setLogSink([this](std::string_view line) {
            std::lock_guard g(lock_);
            lines_.push_back(std::string(line) + (ns::Thread::isMainThread() ? "" : " (off the main thread)"));
        });
    }
    void TearDown() override {
        ns::setLogSink(std::move(previous_));
        VirtualTimeTest::TearDown();
        device_.reset();
    }
    std::vector<std::string> lines() {
        std::lock_guard g(lock_);
        return lines_;
    }

private:
    std::optional<sim::ScopedDevice> device_;
    std::mutex lock_;
    std::vector<std::string> lines_;
    ns::LogSink previous_;
};

// One instance, however many threads ask at once (the first time, they race to make it).
TEST_F(BluetoothCheckerTest, OneCheckerHoweverManyThreadsAsk) {
    testkit::Latch ready(4);
    std::vector<const ft::BluetoothChecker*> seen(4);
    std::vector<const cb::CentralManager*> managers(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            ready.countDown();
            EXPECT_TRUE(ready.wait());
            const auto& checker = ft::BluetoothChecker::sharedChecker();
            seen[i] = checker.get();
            managers[i] = checker->bluetoothManager().get();
        });
    for (auto& t : threads) t.join();
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(seen[i], seen[0]);
        EXPECT_EQ(managers[i], managers[0]);
    }
    const auto& checker = ft::BluetoothChecker::sharedChecker();
    EXPECT_EQ(checker.get(), seen[0]);
    ASSERT_TRUE(checker->bluetoothManager());
    EXPECT_EQ(checker->bluetoothManager()->delegate().get(), checker.get());
    EXPECT_TRUE(checker->getClass().conformsTo(cb::centralManagerDelegateProtocol()));
    runFor(0.25); // the first report, when this test made the checker
}

// The checker lives for the process, so this test may meet it made already (by the test above,
// or an earlier run): the device's first report to it is let pass, then every change is logged.
TEST_F(BluetoothCheckerTest, LogsEveryStateInWordsOnTheMainThread) {
    ASSERT_TRUE(ft::BluetoothChecker::sharedChecker()->bluetoothManager());
    runFor(0.25);
    const std::size_t before = lines().size();
    EXPECT_LE(before, 1u);

    auto& device = sim::Device::shared();
    for (int state : {0, 1, 2, 3, 4, 5}) {
        runFor(1);
        ASSERT_TRUE(device.setBluetoothState(state));
    }
    runFor(1);
    // A value the stimulus refuses, straight into the device's state.
    device.change(sim::Aspect::Bluetooth, [](sim::Profile& p) { p.bluetooth.state = 9; });
    runFor(1);
    const std::vector<std::string> all = lines();
    EXPECT_EQ(
        std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()),
        (std::vector<std::string>{
            "Bluetooth State: State unknown, update imminent.",
            "Bluetooth State: The connection with the system service was momentarily lost, update imminent.",
            "Bluetooth State: The platform doesn't support Bluetooth Low Energy.",
            "Bluetooth State: The app is not authorized to use Bluetooth Low Energy.",
            "Bluetooth State: Bluetooth is currently powered off.",
            "Bluetooth State: Bluetooth is currently powered on and available to use.",
            "Bluetooth State: State unknown, update imminent.",
        }));
    EXPECT_EQ(device.logText().find("power alert"), std::string::npos) << "the checker asked for no power alert";
}

} // namespace
