// The local-authentication stand-in: which devices can evaluate, and an evaluation's one reply (the
// profile's after its delay, or the tester's first), off the main thread, its prompt on the device.

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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
    // The replies so far: "yes" or "no <code>", and whether each came off the main thread.
    std::vector<std::string> replies() {
        testkit::waitForWorkersIdle();
        std::lock_guard g(lock_);
        return replies_;
    }
    la::Context::Reply recorder() {
        return [this, main = std::this_thread::get_id()](bool success, const rt::Ref<ns::Error>& error) {
            std::lock_guard g(lock_);
            replies_.push_back((success ? std::string("yes") : "no " + std::to_string(error ? error->code() : 0)) +
                               (std::this_thread::get_id() == main ? " main" : ""));
        };
    }

    std::optional<sim::ScopedDevice> device_;
    std::mutex lock_;
    std::vector<std::string> replies_;
};

TEST_F(LocalAuthentication, OnlyAnAvailableSensorOfAKindEvaluatesTheBiometricPolicy) {
    struct Case {
        const char* name;
        sim::Biometrics biometrics;
        long policy;
        long refusal; // 0: it can
    };
    const Case cases[] = {
        {"touch", {.available = true, .type = sim::BiometryType::TouchID}, 1, 0},
        {"face", {.available = true, .type = sim::BiometryType::FaceID}, 1, 0},
        {"no kind", {.available = true, .type = sim::BiometryType::None}, 1, la::kBiometryNotAvailable},
        {"unavailable", {.available = false}, 1, la::kBiometryNotAvailable},
        {"another policy", {}, 2, la::kPolicyNotSupported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        install(c.biometrics);
        rt::Ref<ns::Error> error;
        EXPECT_EQ(la::Context::make()->canEvaluatePolicy(c.policy, &error), c.refusal == 0);
        EXPECT_EQ(error ? error->code() : 0, c.refusal);
        if (error) {
            EXPECT_EQ(error->domain()->utf8(), la::kErrorDomain);
        }
    }
}

TEST_F(LocalAuthentication, AnEvaluationGetsOneReplyTheProfilesAfterItsDelayOrTheTestersFirst) {
    struct Case {
        const char* name;
        sim::Biometrics biometrics;
        std::optional<bool> tester; // the stimulus at 0.2 s
        std::vector<std::string> at01, at06;
        const char* log;
    };
    const Case cases[] = {
        {"matched after 0.5 s", {.reply = true, .after = 0.5}, std::nullopt, {}, {"yes"}, "biometric prompt: Touch"},
        {"refused after 0.5 s", {.reply = false, .after = 0.5}, std::nullopt, {}, {"no -1"}, "biometric prompt: Touch"},
        {"at once", {.reply = true, .after = 0}, std::nullopt, {"yes"}, {"yes"}, "biometric prompt: Touch"},
        {"the tester first", {.reply = true, .after = 0.5}, false, {}, {"no -1"}, "fingerprint: not matched"},
        {"no sensor", {.available = false}, std::nullopt, {"no -6"}, {"no -6"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        install(c.biometrics);
        const double start = elapsed();
        auto context = la::Context::make();
        context->evaluatePolicy(1, ns::String::make("Touch"), recorder());
        EXPECT_EQ(context->localizedReason()->utf8(), "Touch");
        runUntil(start + 0.1);
        EXPECT_EQ(replies(), c.at01);
        runUntil(start + 0.2);
        if (c.tester) sim::Device::shared().replyBiometric(*c.tester);
        runUntil(start + 0.6);
        EXPECT_EQ(replies(), c.at06) << "one reply, off the main thread";
        const std::string log = sim::Device::shared().logText();
        EXPECT_EQ(log.find("biometric prompt") != std::string::npos, *c.log != 0) << log;
        EXPECT_NE(log.find(c.log), std::string::npos) << log;
        std::lock_guard g(lock_);
        replies_.clear();
    }
}

} // namespace
