#include "tests/testkit/streams/recorder.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"
#include "streams/signal.h"
#include "streams/tuple.h"

namespace testkit {

std::string show(const rt::Id& value) {
    if (!value || value == es::TupleNil::tupleNil()) return "nil";
    if (auto tuple = rt::cast<es::Tuple>(value)) {
        std::string s = "(";
        for (std::size_t i = 0; i < tuple->count(); ++i) s += (i ? "," : "") + show(tuple->objectAtIndex(i));
        return s + ")";
    }
    if (auto number = rt::cast<ns::Number>(value); number && !number->isFloatingPoint())
        return std::to_string(number->longLongValue());
    if (auto string = rt::cast<ns::String>(value)) return string->utf8();
    return value->description();
}

struct Recorder::State {
    RecordOptions options;
    ns::TimeInterval start = 0;
    mutable std::mutex m;
    mutable std::condition_variable changed;
    std::string text;
    std::vector<rt::Id> values;
    bool completed = false;
    bool ended = false; // an error (nil included) or a completion arrived
    rt::Ref<ns::Error> error;

    // The event as it is written, with its time when there is a clock.
    std::string entry(std::string event) const {
        if (options.clock) {
            char at[32];
            std::snprintf(at, sizeof at, "@%.2f", options.clock->now() - start);
            event += at;
        }
        return event;
    }
    std::string entry(const rt::Ref<ns::Error>& e) const {
        if (!e) return entry(options.errorDomains ? "E:nil" : "Enil");
        if (!options.errorDomains) return entry("E" + std::to_string(e->code()));
        bool info = e->userInfo() && !e->userInfo()->isEmpty();
        return entry("E:" + e->domain()->utf8() + "/" + std::to_string(e->code()) + (info ? "+info" : ""));
    }
    // Under the lock, with what the event changes, so a waiter sees both together.
    void append(const std::string& entry) {
        text += (text.empty() ? "" : " ") + entry;
        changed.notify_all();
    }
};

Recorder::Recorder(const rt::Ref<es::Signal>& signal, RecordOptions options)
    : state_(std::make_shared<State>()) {
    state_->options = options;
    if (options.clock) state_->start = options.clock->now();
    disposable_ = signal->subscribeNextErrorCompleted(
        [state = state_](const rt::Id& value) {
            std::string entry = state->entry(show(value));
            std::lock_guard g(state->m);
            state->values.push_back(value);
            state->append(entry);
        },
        [state = state_](const rt::Ref<ns::Error>& error) {
            std::string entry = state->entry(error);
            std::lock_guard g(state->m);
            state->error = error;
            state->ended = true;
            state->append(entry);
        },
        [state = state_] {
            std::string entry = state->entry("C");
            std::lock_guard g(state->m);
            state->completed = state->ended = true;
            state->append(entry);
        });
}

Recorder::~Recorder() = default;
Recorder::Recorder(Recorder&&) noexcept = default;
Recorder& Recorder::operator=(Recorder&&) noexcept = default;

std::string Recorder::text() const {
    std::lock_guard g(state_->m);
    return state_->text;
}

std::vector<rt::Id> Recorder::values() const {
    std::lock_guard g(state_->m);
    return state_->values;
}

bool Recorder::hasCompleted() const {
    std::lock_guard g(state_->m);
    return state_->completed;
}

rt::Ref<ns::Error> Recorder::error() const {
    std::lock_guard g(state_->m);
    return state_->error;
}

bool Recorder::hasEnded() const {
    std::lock_guard g(state_->m);
    return state_->ended;
}

::testing::AssertionResult Recorder::waitFor(const std::string& expected, double realSeconds) const {
    std::unique_lock g(state_->m);
    if (state_->changed.wait_for(g, std::chrono::duration<double>(realSeconds),
                                 [&] { return state_->text == expected; }))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "recorded \"" << state_->text << "\", expected \"" << expected
                                         << "\" within " << realSeconds << " s";
}

::testing::AssertionResult Recorder::waitForEnd(double realSeconds) const {
    std::unique_lock g(state_->m);
    if (state_->changed.wait_for(g, std::chrono::duration<double>(realSeconds),
                                 [&] { return state_->ended; }))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "recorded \"" << state_->text << "\" and no end within " << realSeconds << " s";
}

const rt::Ref<es::Disposable>& Recorder::disposable() const { return disposable_; }

void Recorder::dispose() const {
    if (disposable_) disposable_->dispose();
}

rt::Ref<ns::Error> failure(const char* domain) {
    return ns::Error::make(domain, 1);
}

rt::Ref<ns::Error> failure(long code) {
    return ns::Error::make("Test", code);
}

} // namespace testkit
