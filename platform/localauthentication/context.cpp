#include "platform/localauthentication/context.h"

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/dispatch.h"
#include "platform/runtime/class.h"
#include "platform/sim/callbacks.h"
#include "platform/sim/device.h"

namespace la {

RT_DEFINE_CLASS(Context, "LAContext", rt::Object, rt::prop("localizedReason", &Context::localizedReason))

namespace {

rt::Ref<ns::Error> biometricError(long code, const char* description) {
    auto info = ns::MutableDictionary::make();
    info->setObjectForKey(ns::String::make(description), "NSLocalizedDescription");
    return ns::Error::make(kErrorDomain, code, info);
}

// The evaluations waiting for the sensor, answered by their timer or by the tester's stimulus.
struct BiometricSensor {
    struct Waiting {
        std::uint64_t id;
        rt::Ref<Context> context; // kept until answered, as the system keeps it
        Context::Reply reply;
    };
    std::mutex lock;
    std::vector<Waiting> waiting;
    std::uint64_t nextId = 1;
    bool hooked = false;

    static BiometricSensor& shared() {
        static BiometricSensor* sensor =
            new BiometricSensor; // lives for the process: answers may come at exit
        return *sensor;
    }

    std::uint64_t wait(rt::Ref<Context> context, Context::Reply reply) {
        std::lock_guard g(lock);
        if (!std::exchange(hooked, true))
            sim::Device::shared().addEventHook([](const sim::DeviceEvent& event) {
                if (event.kind == sim::DeviceEvent::Kind::BiometricReply) shared().answerAll(event.answer);
            });
        waiting.push_back({nextId, std::move(context), std::move(reply)});
        return nextId++;
    }

    // Answers the evaluation `id` if it still waits.
    void answer(std::uint64_t id, bool success) {
        std::vector<Waiting> answered;
        {
            std::lock_guard g(lock);
            std::erase_if(waiting, [&](Waiting& w) {
                if (w.id != id) return false;
                answered.push_back(std::move(w));
                return true;
            });
        }
        deliver(std::move(answered), success);
    }

    void answerAll(bool success) {
        std::vector<Waiting> answered;
        {
            std::lock_guard g(lock);
            answered.swap(waiting);
        }
        deliver(std::move(answered), success);
    }

    static void deliver(std::vector<Waiting> answered, bool success) {
        for (Waiting& w : answered)
            sim::deliverCallback([reply = std::move(w.reply), success] {
                reply(success,
                      success ? nullptr : biometricError(kAuthenticationFailed, "Authentication failed."));
            });
    }
};

} // namespace

rt::Ref<Context> Context::make() {
    return rt::make<Context>();
}

bool Context::canEvaluatePolicy(long policy, rt::Ref<ns::Error>* error) const {
    rt::Ref<ns::Error> refusal;
    const sim::Biometrics& biometrics = sim::currentDevice()->biometrics;
    if (policy != kPolicyDeviceOwnerAuthenticationWithBiometrics)
        refusal = biometricError(kPolicyNotSupported, "The policy is not supported.");
    else if (!biometrics.available || biometrics.type == sim::BiometryType::None)
        refusal = biometricError(kBiometryNotAvailable, "Biometry is not available on this device.");
    if (error) *error = refusal;
    return !refusal;
}

void Context::evaluatePolicy(long policy, const rt::Ref<ns::String>& localizedReason, Reply reply) {
    if (!reply) return;
    reason_ = localizedReason;
    rt::Ref<ns::Error> refusal;
    if (!canEvaluatePolicy(policy, &refusal)) {
        sim::deliverCallback([reply = std::move(reply), refusal] { reply(false, refusal); });
        return;
    }
    sim::Device::shared().log("biometric prompt: " +
                              (localizedReason ? localizedReason->utf8() : std::string()));
    const sim::Biometrics biometrics = sim::currentDevice()->biometrics;
    const std::uint64_t id = BiometricSensor::shared().wait(rt::retained(this), std::move(reply));
    dispatch::asyncAfter(dispatch::after(biometrics.after), dispatch::Queue::main(),
                         [id, success = biometrics.reply] { BiometricSensor::shared().answer(id, success); });
}

} // namespace la
