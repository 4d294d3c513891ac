// The concurrency substrate: main-queue throughput, a serial-queue round trip against a bare
// thread with a mutex and condition variable, a burst onto a serial background queue, and how late
// timers fire on the system clock.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/foundation/dispatch.h"
#include "platform/foundation/run_loop.h"

namespace {

// Enqueue N blocks on the main queue, then drain them through the main run loop.
void MainQueueAsyncThenDrain(benchmark::State& state) {
    const auto n = state.range(0);
    const auto& loop = ns::RunLoop::main();
    long counter = 0;
    for (auto _ : state) {
        for (long i = 0; i < n; ++i)
            dispatch::async(dispatch::Queue::main(), [&counter] { ++counter; });
        while (loop->runMode(ns::DefaultRunLoopMode, nullptr)) {
        }
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(MainQueueAsyncThenDrain)->Arg(1000);

// A block on a serial background queue signals back; the caller waits for it.
void SerialQueueRoundTrip(benchmark::State& state) {
    auto queue = dispatch::Queue::serial("bench.round-trip");
    auto done = dispatch::Semaphore::make(0);
    for (auto _ : state) {
        dispatch::async(queue, [&done] { done->signal(); });
        done->wait();
    }
}
BENCHMARK(SerialQueueRoundTrip)->UseRealTime();

// A burst of blocks onto one serial background queue, the last of which signals the caller.
void SerialQueueBurst(benchmark::State& state) {
    const auto n = state.range(0);
    auto queue = dispatch::Queue::serial("bench.burst");
    auto done = dispatch::Semaphore::make(0);
    long counter = 0;
    for (auto _ : state) {
        for (long i = 1; i < n; ++i)
            dispatch::async(queue, [&counter] { ++counter; });
        dispatch::async(queue, [&counter, &done] {
            ++counter;
            done->signal();
        });
        done->wait();
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(SerialQueueBurst)->Arg(10000)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same round trip with one std::thread serving a mutex and condition-variable queue.
class BareWorker {
public:
    BareWorker() : thread_([this] { loop(); }) {}
    ~BareWorker() {
        {
            std::lock_guard g(lock_);
            stop_ = true;
        }
        cv_.notify_one();
        thread_.join();
    }
    void post(std::function<void()> job) {
        {
            std::lock_guard g(lock_);
            jobs_.push_back(std::move(job));
        }
        cv_.notify_one();
    }

private:
    void loop() {
        std::unique_lock lock(lock_);
        for (;;) {
            cv_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }
    std::mutex lock_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    bool stop_ = false;
    std::thread thread_;
};

void BareThreadRoundTrip(benchmark::State& state) {
    BareWorker worker;
    std::mutex lock;
    std::condition_variable cv;
    bool done = false;
    for (auto _ : state) {
        worker.post([&] {
            std::lock_guard g(lock);
            done = true;
            cv.notify_one();
        });
        std::unique_lock l(lock);
        cv.wait(l, [&] { return done; });
        done = false;
    }
}
BENCHMARK(BareThreadRoundTrip)->UseRealTime();

// asyncAfter with delays of 0.5 to 5 ms on the system clock; lateness = fire time - deadline.
void TimerLateness(benchmark::State& state) {
    constexpr int kBatch = 50;
    std::vector<double> lateness;
    for (auto _ : state) {
        auto group = dispatch::Group::make();
        std::mutex lock;
        for (int i = 0; i < kBatch; ++i) {
            dispatch::Time deadline = dispatch::after(0.0005 + 0.0001 * i);
            group->enter();
            dispatch::asyncAfter(deadline, dispatch::Queue::global(), [&, deadline, group] {
                double late = dispatch::now() - deadline;
                {
                    std::lock_guard g(lock);
                    lateness.push_back(late);
                }
                group->leave();
            });
        }
        group->wait();
    }
    std::sort(lateness.begin(), lateness.end());
    auto at = [&](double q) {
        return lateness[std::min(lateness.size() - 1, std::size_t(q * lateness.size()))];
    };
    state.counters["p50_us"] = at(0.50) * 1e6;
    state.counters["p99_us"] = at(0.99) * 1e6;
    state.counters["max_us"] = lateness.back() * 1e6;
}
BENCHMARK(TimerLateness)->Iterations(20)->UseRealTime();

} // namespace
