// The local-authentication stand-in: which sensors evaluate which policy, and an evaluation's one
// reply, off the main thread. (How the reply's timing and the tester's answer decide is shown
// through the fingerprint screen, tests/diagnostics/.)

#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/localauthentication/context.h"
#include "platform/sim/device.h"
#include "tests/testkit/main_loop.h"
#include "tests/testkit/virtual_time.h"

namespace {

class LocalAuthentication : public testkit::VirtualTimeTest {
protected:
    void install(const sim::Biometrics& biometrics) {
        device_.reset();
        sim::Profile profile = sim::defaultProfile();
        profile.biometrics = biometrics;
        device_.emplace(std::move(profile));
    }
    void TearDown() override {
        testkit::waitForWorkersIdle();
        device_.reset();
        VirtualTimeTest::TearDown();
    }
    std::optional<sim::ScopedDevice> device_;
};

TEST_F(LocalAuthentication,
       OnlyAnAvailableSensorOfAKindEvaluatesTheBiometricPolicyAndRepliesOnceOffTheMainThread) {
    struct Case {
        sim::Biometrics biometrics;
        long policy;
        long refusal; // 0: it can
    };
    const Case cases[] = {
        {{.available = true, .type = sim::BiometryType::TouchID, .reply = true, .after = 0.5}, 1, 0},
        {{.available = true, .type = sim::BiometryType::FaceID, .reply = false, .after = 0.5}, 1, 0},
        {{.available = true, .type = sim::BiometryType::None}, 1, la::kBiometryNotAvailable},
        {{.available = false}, 1, la::kBiometryNotAvailable},
        {{}, 2, la::kPolicyNotSupported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refusal);
        install(c.biometrics);
        auto context = la::Context::make();
        rt::Ref<ns::Error> error;
        EXPECT_EQ(context->canEvaluatePolicy(c.policy, &error), c.refusal == 0);
        EXPECT_EQ(error ? error->code() : 0, c.refusal);
        int replies = 0;
        long code = 0;
        bool onMain = true;
        context->evaluatePolicy(
            c.policy, ns::String::make("Touch"),
            [&, main = std::this_thread::get_id()](bool success, const rt::Ref<ns::Error>& e) {
                ++replies;
                code = success ? 0 : e->code();
                onMain = std::this_thread::get_id() == main;
            });
        runFor(1.0);
        testkit::waitForWorkersIdle();
        EXPECT_EQ(replies, 1);
        EXPECT_FALSE(onMain);
        EXPECT_EQ(code, c.refusal ? c.refusal : (c.biometrics.reply ? 0 : la::kAuthenticationFailed));
        EXPECT_EQ(context->localizedReason()->utf8(), "Touch");
        EXPECT_EQ(sim::Device::shared().logText().find("biometric prompt: Touch") != std::string::npos,
                  c.refusal == 0);
    }
}

} // namespace
