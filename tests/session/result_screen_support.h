#pragma once
// The results screen's test fixture: an iPhone 7 with a SIM of network code "01", the stored
// identity and login values of a finished login, and the screen pushed over a stand-in for the
// runner, which records the row a retry asks for.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/uikit/view_controller.h"
#include "session/core/test_base_model.h"
#include "session/result_view_controller.h"
#include "tests/testkit/app/navigation_app_test.h"

namespace resulttest {

// Stands in for the runner: the controller "doRetryFromResult" unwinds to.
class RetryRunner : public ui::ViewController {
    RT_CLASS(RetryRunner)
public:
    RetryRunner() = default;
    void doRetryFromResult(const rt::Id& segue);
    // The retryIndex of each results screen that unwound here, in order.
    std::vector<std::int64_t> retried;
};

struct Item {
    const char* profile;
    std::int64_t success;
    long ratio = -1; // the "price" ratio; -1 for none
};

class ResultScreenTest : public testkit::NavigationAppTest {
protected:
    testkit::AppOptions appOptions() const override;
    void SetUp() override;
    void TearDown() override;

    static rt::Ref<ns::Array> items(const std::vector<Item>& list);
    // The screen for these items, pushed over the runner and on screen.
    void show(const std::vector<Item>& list);
    // The flag file's text, or none.
    void writeFlagFile(std::string_view text);
    // The texts of the auto-hiding messages on the screen's view, oldest first.
    std::vector<std::string> messages() const;
    bool tapEnding(long tag);

    rt::Ref<RetryRunner> runner_;
    rt::Ref<ft::ResultViewController> screen_;
};

} // namespace resulttest
