#include "tests/testkit/streams/operator_contract.h"

#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/runtime/number.h"
#include "streams/signal.h"
#include "tests/testkit/streams/recorder.h"

namespace testkit {

namespace {

// The source of every scenario: remembers each subscriber it was given and whether that
// subscription has been disposed. Events are sent outside its lock (a delivery may dispose).
class Probe {
public:
    rt::Ref<es::Signal> signal(const std::shared_ptr<Probe>& self) {
        return es::Signal::createSignal([self](const rt::Ref<es::Subscriber>& subscriber) {
            std::size_t index;
            {
                std::lock_guard g(self->m_);
                index = self->entries_.size();
                self->entries_.push_back({subscriber, false});
            }
            return es::Disposable::withBlock([self, index] {
                std::lock_guard g(self->m_);
                if (index < self->entries_.size()) self->entries_[index].disposed = true; // not yet let go
            });
        });
    }

    std::size_t subscriptions() const {
        std::lock_guard g(m_);
        return entries_.size();
    }
    // The subscriptions not yet disposed, by index.
    std::vector<std::size_t> live() const {
        std::lock_guard g(m_);
        std::vector<std::size_t> indexes;
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (!entries_[i].disposed) indexes.push_back(i);
        return indexes;
    }
    bool isDisposed(std::size_t index) const {
        std::lock_guard g(m_);
        return entries_[index].disposed;
    }

    // Through each live subscription, as the source itself would send.
    void sendNext(const rt::Id& value) {
        for (const auto& s : subscribers(true)) s->sendNext(value);
    }
    void sendError(const rt::Ref<ns::Error>& error) {
        for (const auto& s : subscribers(true)) s->sendError(error);
    }
    void sendCompleted() {
        for (const auto& s : subscribers(true)) s->sendCompleted();
    }
    // Straight to the operator's subscriber behind every subscription, disposed or not: an event
    // that got past the source's own check just before the subscription was disposed.
    void sendPastTheSourcesCheck(const rt::Id& value) {
        for (const auto& s : subscribers(false)) {
            auto passthrough = rt::cast<es::PassthroughSubscriber>(s);
            rt::Ref<es::Subscriber> inner = passthrough ? passthrough->innerSubscriber() : s;
            inner->sendNext(value);
            inner->sendCompleted();
        }
    }

    // Lets go of the subscribers (after the lock: releasing one may run disposal blocks).
    void clear() {
        std::vector<Entry> entries;
        {
            std::lock_guard g(m_);
            entries.swap(entries_);
        }
    }

private:
    struct Entry {
        rt::Ref<es::Subscriber> subscriber;
        bool disposed;
    };

    std::vector<rt::Ref<es::Subscriber>> subscribers(bool liveOnly) const {
        std::lock_guard g(m_);
        std::vector<rt::Ref<es::Subscriber>> all;
        for (const auto& e : entries_)
            if (!liveOnly || !e.disposed) all.push_back(e.subscriber);
        return all;
    }

    mutable std::mutex m_;
    std::vector<Entry> entries_;
};

class Scenario {
public:
    Scenario(const char* name, const OperatorBuilder& build, const ContractOptions& options)
        : name_(name), build_(build), options_(options) {}

    // Runs the body over a fresh probe and operator, then checks that nothing it made is left.
    template <class Body>
    void run(Body body) {
        std::int64_t before = rt::liveObjectCount();
        {
            auto probe = std::make_shared<Probe>();
            rt::Ref<es::Signal> result = build_(probe->signal(probe));
            if (!result) {
                fail() << "the operator gave no signal";
            } else {
                body(*probe, result);
            }
            probe->clear();
        }
        if (options_.drain) options_.drain();
        else settle();
        std::int64_t after = rt::liveObjectCount();
        if (after != before) fail() << after - before << " object(s) left alive";
    }

    void settle() const {
        if (options_.settle) options_.settle();
    }
    rt::Id value() const { return options_.value ? options_.value() : rt::Id(ns::num(7)); }
    const ContractOptions& options() const { return options_; }

    std::ostringstream& fail() {
        failures_ << (failures_.tellp() > 0 ? "; " : "") << name_ << ": ";
        return failures_;
    }
    std::string failures() const { return failures_.str(); }

private:
    const char* name_;
    const OperatorBuilder& build_;
    const ContractOptions& options_;
    std::ostringstream failures_;
};

// Subscribes, and checks the source was subscribed.
bool subscribed(Scenario& scenario, const Probe& probe) {
    scenario.settle();
    if (probe.subscriptions() > 0) return true;
    scenario.fail() << "the source was never subscribed";
    return false;
}

void disposalDisposesTheSource(Scenario& scenario) {
    scenario.run([&](Probe& probe, const rt::Ref<es::Signal>& result) {
        auto recorder = record(result);
        if (!subscribed(scenario, probe)) return recorder.dispose();
        probe.sendNext(scenario.value());
        scenario.settle();
        recorder.dispose();
        scenario.settle();
        if (!scenario.options().sharesSource && !probe.live().empty()) {
            scenario.fail() << probe.live().size() << " of " << probe.subscriptions()
                            << " source subscription(s) still live after the result's was disposed";
        }
        std::string seen = recorder.text();
        probe.sendPastTheSourcesCheck(scenario.value());
        scenario.settle();
        if (recorder.text() != seen)
            scenario.fail() << "after disposal the subscriber got \"" << recorder.text().substr(seen.size()) << "\"";
    });
}

template <class End>
void endingDisposesTheSource(Scenario& scenario, End end) {
    scenario.run([&](Probe& probe, const rt::Ref<es::Signal>& result) {
        auto recorder = record(result);
        if (!subscribed(scenario, probe)) return recorder.dispose();
        std::vector<std::size_t> ended = probe.live();
        end(probe);
        scenario.settle();
        for (std::size_t index : ended)
            if (!probe.isDisposed(index)) scenario.fail() << "source subscription " << index << " still live";
        recorder.dispose();
        scenario.settle();
    });
}

// The source drops its subscribers without ending them (after `before`, which may make the
// operator subscribe again), and the subscription is never disposed: Scenario::run counts what is
// left once the probe and the recorder are gone.
template <class Before>
void releaseLeavesNothing(Scenario& scenario, Before before) {
    scenario.run([&](Probe& probe, const rt::Ref<es::Signal>& result) {
        auto recorder = record(result);
        if (!subscribed(scenario, probe)) return recorder.dispose();
        probe.sendNext(scenario.value());
        before(probe);
        scenario.settle();
    });
}

} // namespace

::testing::AssertionResult keepsOperatorContract(const OperatorBuilder& build, const ContractOptions& options) {
    std::string failures;
    // Each scenario runs on its own, and its failures join the list.
    auto check = [&](const char* name, auto body) {
        Scenario scenario(name, build, options);
        body(scenario);
        if (!failures.empty() && !scenario.failures().empty()) failures += "; ";
        failures += scenario.failures();
    };
    auto error = [](Probe& probe) { probe.sendError(ns::Error::make("Probe", 1)); };
    auto completion = [](Probe& probe) { probe.sendCompleted(); };
    check("disposal", [](Scenario& s) { disposalDisposesTheSource(s); });
    check("error", [&](Scenario& s) { endingDisposesTheSource(s, error); });
    check("completion", [&](Scenario& s) { endingDisposesTheSource(s, completion); });
    // A shared subscription may be kept by the other signals it is subscribed to (a lifting, by its
    // receiver's deallocation signal) until they end.
    if (!options.sharesSource) check("release", [](Scenario& s) { releaseLeavesNothing(s, [](Probe&) {}); });
    if (options.resubscribes) {
        check("release after an error", [&](Scenario& s) { releaseLeavesNothing(s, error); });
        check("release after a completion", [&](Scenario& s) { releaseLeavesNothing(s, completion); });
    }
    if (failures.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << failures;
}

} // namespace testkit
