#pragma once
// The contract every signal operator keeps, checked over a probe source: a signal that counts its
// subscriptions and their disposals and lets the check send events from it.
//
//     EXPECT_TRUE(testkit::keepsOperatorContract([](const Ref<Signal>& source) { return source->take(2); }));
//
// Each part of the contract is its own scenario, with a fresh operator and probe:
// - disposing the result's subscription disposes the source's subscription;
// - the source's error, and its completion, dispose the source's subscription that got it;
// - nothing reaches the subscriber after disposal, not even an event that got past the source's
//   own check (sent straight to the operator's subscriber, as a racing event would be);
// - a source that lets go of its subscribers without an end event, from a subscription nobody
//   disposes, takes the whole subscription with it (unless the operator shares its source); for
//   an operator that subscribes again, also after it has done so (after an error, and after a
//   completion);
// - once the scenario has dropped its references, the live-object count is back where it started.

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/runtime/object.h"

namespace es {
class Signal;
}

namespace testkit {

struct ContractOptions {
    // What the probe sends as a value (nil: a number). Operators that need a kind of value (a
    // signal, a tuple, an event) say so here.
    std::function<rt::Id()> value;
    // Runs the work the operator left pending (scheduled blocks, timers due soon). The checks call
    // it after each step; nil: nothing is pending.
    std::function<void()> settle;
    // Runs out everything still armed (cancelled timers too, which may hold what they were given
    // until their deadline) before the live objects are counted; nil: settle.
    std::function<void()> drain;
    // The operator shares one subscription to the source among all its subscribers and keeps it
    // after they leave (the replay forms): disposing the result leaves the source subscribed.
    bool sharesSource = false;
    // The operator subscribes to the source again after it ended (repeat, retry): only the
    // subscription that got the terminating event has to be disposed, and the release is also
    // checked after a resubscription.
    bool resubscribes = false;
};

using OperatorBuilder = std::function<rt::Ref<es::Signal>(const rt::Ref<es::Signal>& source)>;

::testing::AssertionResult keepsOperatorContract(const OperatorBuilder& build, const ContractOptions& options = {});

} // namespace testkit
