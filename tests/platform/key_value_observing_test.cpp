#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/null.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "tests/testkit/latch.h"

namespace {

using ns::KeyValueChange;
using Options = ns::KeyValueObservingOptions;
using rt::Id;
using rt::Ref;

// The observable class: "balance" and "owner" notify from their setters, "quiet" has the setter
// line but its automatic notification is turned off, "active" is announced by hand and only when
// it changes, "items" is a to-many key announced at indexes.
class Account : public rt::Object {
    RT_CLASS(Account)
public:
    int balance() const { return balance_; }
    void setBalance(int v) {
        rt::KeyChange change(this, "balance");
        balance_ = v;
    }
    Ref<ns::String> owner() const { return owner_; }
    void setOwner(Ref<ns::String> v) {
        rt::KeyChange change(this, "owner");
        owner_ = std::move(v);
    }
    int quiet() const { return quiet_; }
    void setQuiet(int v) {
        rt::KeyChange change(this, "quiet");
        quiet_ = v;
    }
    bool active() const { return active_; }
    void setActive(bool v) {
        if (v == active_) return;
        ns::willChangeValueForKey(this, "active");
        active_ = v;
        ns::didChangeValueForKey(this, "active");
    }
    Ref<ns::Array> items() const { return rt::downcast<ns::Array>(items_->copy()); }
    // One change of "items" at `index`, announced around `edit`.
    void changeItems(KeyValueChange kind, std::size_t index,
                     const std::function<void(ns::MutableArray&)>& edit) {
        auto at = ns::IndexSet::indexSetWithIndex(index);
        ns::willChangeValuesAtIndexesForKey(this, kind, at, "items");
        edit(*items_);
        ns::didChangeValuesAtIndexesForKey(this, kind, at, "items");
    }
    void insertItem(const Id& item, std::size_t i) {
        changeItems(KeyValueChange::Insertion, i,
                    [&](ns::MutableArray& a) { a.insertObjectAtIndex(item, i); });
    }
    void removeItem(std::size_t i) {
        changeItems(KeyValueChange::Removal, i, [&](ns::MutableArray& a) { a.removeObjectAtIndex(i); });
    }
    void replaceItem(std::size_t i, const Id& item) {
        changeItems(KeyValueChange::Replacement, i,
                    [&](ns::MutableArray& a) { a.replaceObjectAtIndex(i, item); });
    }
    // Sets the balance, then fails.
    void setBalanceAndThrow(int v) {
        rt::KeyChange change(this, "balance");
        balance_ = v;
        throw std::runtime_error("refused");
    }

    bool automaticallyNotifiesObserversForKey(std::string_view key) const override {
        return key != "quiet" && key != "active" && Object::automaticallyNotifiesObserversForKey(key);
    }

    std::function<void()> onDestroy;
    ~Account() override {
        if (onDestroy) onDestroy();
    }

private:
    std::atomic<int> balance_{0}; // set from several threads by the race tests
    Ref<ns::String> owner_;
    int quiet_ = 0;
    bool active_ = false;
    Ref<ns::MutableArray> items_ = ns::MutableArray::make();
};

RT_DEFINE_CLASS(Account, "Account", rt::Object, rt::prop("balance", &Account::balance, &Account::setBalance),
                rt::prop("owner", &Account::owner, &Account::setOwner),
                rt::prop("quiet", &Account::quiet, &Account::setQuiet),
                rt::prop("active", &Account::active, &Account::setActive, {.getter = "isActive"}),
                rt::prop("items", &Account::items))

// A registered setter without the announcing line.
class Silent : public rt::Object {
    RT_CLASS(Silent)
public:
    int level() const { return level_; }
    void setLevel(int v) { level_ = v; }

private:
    int level_ = 0;
};
RT_DEFINE_CLASS(Silent, "Silent", rt::Object, rt::prop("level", &Silent::level, &Silent::setLevel))

struct HeardChange {
    std::string keyPath;
    Id object;
    Ref<ns::Dictionary> change;
    void* context;
};

// Keeps every notification; `react` runs inside the callback.
class Watcher : public rt::Object {
    RT_CLASS(Watcher)
public:
    void observeValueForKeyPath(std::string_view keyPath, const Id& object, const Ref<ns::Dictionary>& change,
                                void* context) override {
        {
            std::lock_guard g(lock_);
            heard_.push_back({std::string(keyPath), object, change, context});
        }
        if (react) react(*change);
    }
    std::vector<HeardChange> heard() const {
        std::lock_guard g(lock_);
        return heard_;
    }
    std::size_t count() const {
        std::lock_guard g(lock_);
        return heard_.size();
    }
    std::function<void(const ns::Dictionary&)> react;

private:
    mutable std::mutex lock_;
    std::vector<HeardChange> heard_;
};

RT_DEFINE_CLASS(Watcher, "Watcher", rt::Object)

long kindOf(const ns::Dictionary& change) {
    auto n = rt::cast<ns::Number>(change.objectForKey(ns::KeyValueChangeKindKey));
    return n ? n->longValue() : -1;
}
long numberAt(const ns::Dictionary& change, const char* key) {
    auto n = rt::cast<ns::Number>(change.objectForKey(key));
    return n ? n->longValue() : -1;
}
bool isPrior(const ns::Dictionary& change) {
    auto n = rt::cast<ns::Number>(change.objectForKey(ns::KeyValueChangeNotificationIsPriorKey));
    return n && n->boolValue();
}
std::vector<std::size_t> indexesOf(const ns::Dictionary& change) {
    std::vector<std::size_t> out;
    if (auto set = rt::cast<ns::IndexSet>(change.objectForKey(ns::KeyValueChangeIndexesKey)))
        for (std::size_t i : *set)
            out.push_back(i);
    return out;
}
Ref<ns::Array> arrayAt(const ns::Dictionary& change, const char* key) {
    return rt::cast<ns::Array>(change.objectForKey(key));
}

constexpr Options kNewOld = Options::New | Options::Old;
int gContext = 0;

TEST(KeyValueObserving, SetterNotifiesOnceWhetherCalledDirectlyOrThroughKeyValueCoding) {
    auto account = rt::make<Account>();
    auto watcher = rt::make<Watcher>();
    ns::addObserverForKeyPath(account, watcher, "balance", kNewOld, &gContext);

    account->setBalance(5);
    ns::setValueForKey(account, ns::Number::withInt(7), "balance");
    ns::setValueForKeyPath(account, ns::Number::withInt(9), "balance");

    auto heard = watcher->heard();
    ASSERT_EQ(heard.size(), 3u);
    const long expected[][2] = {{0, 5}, {5, 7}, {7, 9}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(heard[i].keyPath, "balance");
        EXPECT_EQ(heard[i].object, account);
        EXPECT_EQ(heard[i].context, &gContext);
        EXPECT_EQ(kindOf(*heard[i].change), 1);
        EXPECT_EQ(numberAt(*heard[i].change, ns::KeyValueChangeOldKey), expected[i][0]);
        EXPECT_EQ(numberAt(*heard[i].change, ns::KeyValueChangeNewKey), expected[i][1]);
        EXPECT_FALSE(heard[i].change->containsKey(ns::KeyValueChangeNotificationIsPriorKey));
    }
    ns::removeObserverForKeyPath(account, watcher, "balance", &gContext);
    account->setBalance(11);
    EXPECT_EQ(watcher->count(), 3u);
    EXPECT_FALSE(account->isObserved());
}

TEST(KeyValueObserving, EntriesFollowTheOptions) {
    auto account = rt::make<Account>();
    auto none = rt::make<Watcher>(), onlyNew = rt::make<Watcher>(), prior = rt::make<Watcher>();
    ns::addObserverForKeyPath(account, none, "owner", Options::None);
    ns::addObserverForKeyPath(account, onlyNew, "owner", Options::New);
    ns::addObserverForKeyPath(account, prior, "owner", kNewOld | Options::Prior);

    account->setOwner(ns::String::make("ann"));
    account->setOwner(nullptr);

    ASSERT_EQ(none->count(), 2u);
    auto bare = none->heard()[0].change;
    EXPECT_EQ(bare->count(), 1u);
    EXPECT_EQ(kindOf(*bare), 1);

    ASSERT_EQ(onlyNew->count(), 2u);
    EXPECT_EQ(onlyNew->heard()[0].change->count(), 2u);
    EXPECT_TRUE(rt::equal(onlyNew->heard()[0].change->objectForKey(ns::KeyValueChangeNewKey),
                          ns::String::make("ann")));
    EXPECT_EQ(onlyNew->heard()[1].change->objectForKey(ns::KeyValueChangeNewKey), ns::Null::null()); // nil

    // Before each change the prior notification, with the old value and without the new one.
    auto heard = prior->heard();
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_TRUE(isPrior(*heard[0].change));
    EXPECT_EQ(heard[0].change->objectForKey(ns::KeyValueChangeOldKey), ns::Null::null());
    EXPECT_FALSE(heard[0].change->containsKey(ns::KeyValueChangeNewKey));
    EXPECT_FALSE(isPrior(*heard[1].change));
    EXPECT_TRUE(rt::equal(heard[1].change->objectForKey(ns::KeyValueChangeNewKey), ns::String::make("ann")));
    EXPECT_TRUE(isPrior(*heard[2].change));
    EXPECT_TRUE(rt::equal(heard[2].change->objectForKey(ns::KeyValueChangeOldKey), ns::String::make("ann")));
    EXPECT_EQ(heard[3].change->objectForKey(ns::KeyValueChangeNewKey), ns::Null::null());
}

TEST(KeyValueObserving, InitialNotificationCarriesTheCurrentValueBeforeAddReturns) {
    auto account = rt::make<Account>();
    account->setBalance(42);
    auto watcher = rt::make<Watcher>(), ownerWatcher = rt::make<Watcher>();
    ns::addObserverForKeyPath(account, watcher, "balance", Options::Initial | Options::New | Options::Old);
    ns::addObserverForKeyPath(account, ownerWatcher, "owner", Options::Initial | Options::New);

    ASSERT_EQ(watcher->count(), 1u);
    auto initial = watcher->heard()[0].change;
    EXPECT_EQ(kindOf(*initial), 1);
    EXPECT_EQ(numberAt(*initial, ns::KeyValueChangeNewKey), 42);
    EXPECT_FALSE(initial->containsKey(ns::KeyValueChangeOldKey));
    ASSERT_EQ(ownerWatcher->count(), 1u);
    EXPECT_EQ(ownerWatcher->heard()[0].change->objectForKey(ns::KeyValueChangeNewKey), ns::Null::null());

    account->setBalance(43);
    EXPECT_EQ(watcher->count(), 2u);
    EXPECT_EQ(ownerWatcher->count(), 1u); // another key
}

TEST(KeyValueObserving, KeyWithAutomaticNotificationOffNotifiesOnlyWhenAnnouncedByHand) {
    auto account = rt::make<Account>();
    auto watcher = rt::make<Watcher>();
    ns::addObserverForKeyPath(account, watcher, "quiet", kNewOld);
    ns::addObserverForKeyPath(account, watcher, "active", kNewOld | Options::Prior);

    account->setQuiet(1);
    ns::setValueForKey(account, ns::Number::withInt(2), "quiet");
    EXPECT_EQ(watcher->count(), 0u);

    ns::willChangeValueForKey(account, "quiet");
    account->setQuiet(3);
    ns::didChangeValueForKey(account, "quiet");
    ASSERT_EQ(watcher->count(), 1u);
    EXPECT_EQ(numberAt(*watcher->heard()[0].change, ns::KeyValueChangeOldKey), 2);
    EXPECT_EQ(numberAt(*watcher->heard()[0].change, ns::KeyValueChangeNewKey), 3);

    // "active" announces only real changes, once each, through either way of setting.
    account->setActive(false);
    ns::setValueForKey(account, ns::Number::withBool(true), "active");
    account->setActive(true);
    account->setActive(false);
    auto heard = watcher->heard();
    ASSERT_EQ(heard.size(), 5u); // two changes, each a prior and a final notification
    EXPECT_EQ(heard[1].keyPath, "active");
    EXPECT_TRUE(isPrior(*heard[1].change));
    EXPECT_EQ(numberAt(*heard[2].change, ns::KeyValueChangeNewKey), 1);
    EXPECT_EQ(numberAt(*heard[4].change, ns::KeyValueChangeNewKey), 0);
    EXPECT_EQ(numberAt(*heard[4].change, ns::KeyValueChangeOldKey), 1);
}

TEST(KeyValueObserving, ChangesAtIndexesCarryTheirKindIndexesAndObjects) {
    auto account = rt::make<Account>();
    auto watcher = rt::make<Watcher>();
    ns::addObserverForKeyPath(account, watcher, "items", kNewOld | Options::Prior);
    auto a = ns::String::make("a"), b = ns::String::make("b"), c = ns::String::make("c");

    account->insertItem(a, 0);
    account->insertItem(b, 1);
    account->replaceItem(0, c);
    account->removeItem(1);

    auto heard = watcher->heard();
    ASSERT_EQ(heard.size(), 8u);
    // Insertion of b at 1: the prior has no objects, the final one has the new ones and no old.
    EXPECT_TRUE(isPrior(*heard[2].change));
    EXPECT_EQ(kindOf(*heard[2].change), 2);
    EXPECT_EQ(indexesOf(*heard[2].change), std::vector<std::size_t>{1});
    EXPECT_FALSE(heard[2].change->containsKey(ns::KeyValueChangeOldKey));
    EXPECT_EQ(kindOf(*heard[3].change), 2);
    EXPECT_EQ(indexesOf(*heard[3].change), std::vector<std::size_t>{1});
    EXPECT_TRUE(rt::equal(arrayAt(*heard[3].change, ns::KeyValueChangeNewKey), ns::Array::withObjects({b})));
    EXPECT_FALSE(heard[3].change->containsKey(ns::KeyValueChangeOldKey));
    // Replacement at 0: old a, new c.
    EXPECT_EQ(kindOf(*heard[5].change), 4);
    EXPECT_TRUE(rt::equal(arrayAt(*heard[5].change, ns::KeyValueChangeOldKey), ns::Array::withObjects({a})));
    EXPECT_TRUE(rt::equal(arrayAt(*heard[5].change, ns::KeyValueChangeNewKey), ns::Array::withObjects({c})));
    // Removal at 1: the prior already carries the object removed; the final one has no new.
    EXPECT_TRUE(isPrior(*heard[6].change));
    EXPECT_EQ(kindOf(*heard[6].change), 3);
    EXPECT_TRUE(rt::equal(arrayAt(*heard[6].change, ns::KeyValueChangeOldKey), ns::Array::withObjects({b})));
    EXPECT_EQ(kindOf(*heard[7].change), 3);
    EXPECT_EQ(indexesOf(*heard[7].change), std::vector<std::size_t>{1});
    EXPECT_TRUE(rt::equal(arrayAt(*heard[7].change, ns::KeyValueChangeOldKey), ns::Array::withObjects({b})));
    EXPECT_FALSE(heard[7].change->containsKey(ns::KeyValueChangeNewKey));
}

TEST(KeyValueObserving, ChangeAtIndexesWithBadArgumentsIsLoggedNotSent) {
    auto account = rt::make<Account>();
    auto watcher = rt::make<Watcher>();
    ns::addObserverForKeyPath(account, watcher, "items", kNewOld);
    ns::addObserverForKeyPath(account, watcher, "balance", kNewOld);
    ns::CapturedLog log;

    // No indexes, or a kind that is not about indexes: nothing is announced.
    ns::willChangeValuesAtIndexesForKey(account, KeyValueChange::Insertion, nullptr, "items");
    ns::didChangeValuesAtIndexesForKey(account, KeyValueChange::Insertion, nullptr, "items");
    ns::willChangeValuesAtIndexesForKey(account, KeyValueChange::Setting, ns::IndexSet::indexSetWithIndex(0),
                                        "items");
    ns::didChangeValuesAtIndexesForKey(account, KeyValueChange::Setting, ns::IndexSet::indexSetWithIndex(0),
                                       "items");
    EXPECT_EQ(watcher->count(), 0u);
    EXPECT_EQ(log.lines().size(), 2u);

    // Indexes past the end, and a key whose value is no array: sent, without objects, and logged.
    auto far = ns::IndexSet::indexSetWithIndex(5);
    ns::willChangeValuesAtIndexesForKey(account, KeyValueChange::Removal, far, "items");
    ns::didChangeValuesAtIndexesForKey(account, KeyValueChange::Removal, far, "items");
    ns::willChangeValuesAtIndexesForKey(account, KeyValueChange::Removal, far, "balance");
    ns::didChangeValuesAtIndexesForKey(account, KeyValueChange::Removal, far, "balance");
    auto heard = watcher->heard();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(arrayAt(*heard[0].change, ns::KeyValueChangeOldKey)->count(), 0u);
    EXPECT_FALSE(heard[1].change->containsKey(ns::KeyValueChangeOldKey));
    EXPECT_EQ(log.lines().size(), 4u);
}

TEST(KeyValueObserving, DeallocatedObserverIsNoLongerCalled) {
    auto account = rt::make<Account>();
    auto stays = rt::make<Watcher>();
    rt::Weak<Watcher> weakGone;
    int goneCalls = 0;
    {
        auto gone = rt::make<Watcher>();
        weakGone = gone;
        gone->react = [&](const ns::Dictionary&) { ++goneCalls; };
        ns::addObserverForKeyPath(account, gone, "balance", Options::New);
        ns::addObserverForKeyPath(account, stays, "balance", Options::New);
        account->setBalance(1);
        EXPECT_EQ(goneCalls, 1);
    }
    EXPECT_FALSE(weakGone.lock());
    account->setBalance(2);
    EXPECT_EQ(goneCalls, 1);
    EXPECT_EQ(stays->count(), 2u);

    // Once the last observer is gone, the object stops being treated as observed.
    ns::removeObserverForKeyPath(account, stays, "balance");
    {
        auto gone = rt::make<Watcher>();
        ns::addObserverForKeyPath(account, gone, "balance", Options::New);
    }
    EXPECT_TRUE(account->isObserved());
    account->setBalance(3);
    EXPECT_FALSE(account->isObserved());
}

TEST(KeyValueObserving, ObserverReleasedDuringAChangeHearsItToTheEndAndNothingAfter) {
    auto account = rt::make<Account>();
    auto first = rt::make<Watcher>();
    auto second = rt::make<Watcher>();
    rt::Weak<Watcher> weakSecond = second;
    int secondCalls = 0;
    second->react = [&](const ns::Dictionary&) { ++secondCalls; };
    ns::addObserverForKeyPath(account, first, "balance", Options::Prior);
    ns::addObserverForKeyPath(account, second, "balance", Options::Prior);
    // The first observer's prior notification lets go of the second, which is held for the
    // change under way and dies when it ends.
    first->react = [&](const ns::Dictionary& change) {
        if (isPrior(change)) second = nullptr;
    };
    account->setBalance(1);
    EXPECT_FALSE(weakSecond.lock());
    EXPECT_EQ(secondCalls, 2);
    account->setBalance(2);
    EXPECT_EQ(first->count(), 4u);
    EXPECT_EQ(secondCalls, 2);
}

TEST(KeyValueObserving, ReentrantChangesAndRemovalsFromInsideACallback) {
    auto account = rt::make<Account>();
    auto clamp = rt::make<Watcher>();
    auto once = rt::make<Watcher>();
    ns::addObserverForKeyPath(account, clamp, "balance", Options::New);
    ns::addObserverForKeyPath(account, once, "balance", Options::New);
    // A change made by an observer is announced (nested) inside the outer one.
    clamp->react = [&](const ns::Dictionary& change) {
        if (numberAt(change, ns::KeyValueChangeNewKey) > 100) account->setBalance(100);
    };
    // An observer that removes itself while being called.
    once->react = [&](const ns::Dictionary&) { ns::removeObserverForKeyPath(account, once, "balance"); };

    account->setBalance(150);
    auto heard = clamp->heard();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(numberAt(*heard[0].change, ns::KeyValueChangeNewKey), 150);
    EXPECT_EQ(numberAt(*heard[1].change, ns::KeyValueChangeNewKey), 100);
    EXPECT_EQ(account->balance(), 100);
    EXPECT_EQ(once->count(), 1u); // removed during the outer call, so not told of the nested change

    account->setBalance(5);
    EXPECT_EQ(clamp->count(), 3u);
    EXPECT_EQ(once->count(), 1u);
}

TEST(KeyValueObserving, ManualAnnouncementsNestAndMatchByKey) {
    auto account = rt::make<Account>();
    auto watcher = rt::make<Watcher>();
    ns::addObserverForKeyPath(account, watcher, "quiet", kNewOld);
    ns::addObserverForKeyPath(account, watcher, "balance", kNewOld);

    ns::willChangeValueForKey(account, "quiet");
    ns::willChangeValueForKey(account, "quiet");
    account->setQuiet(1);
    ns::didChangeValueForKey(account, "quiet");
    account->setBalance(3); // an automatic change inside the manual ones
    account->setQuiet(2);
    ns::didChangeValueForKey(account, "quiet");
    ns::didChangeValueForKey(account, "quiet"); // no open change left: nothing

    auto heard = watcher->heard();
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0].keyPath, "quiet");
    EXPECT_EQ(numberAt(*heard[0].change, ns::KeyValueChangeOldKey), 0);
    EXPECT_EQ(numberAt(*heard[0].change, ns::KeyValueChangeNewKey), 1);
    EXPECT_EQ(heard[1].keyPath, "balance");
    EXPECT_EQ(numberAt(*heard[2].change, ns::KeyValueChangeOldKey), 0); // the outer change's old value
    EXPECT_EQ(numberAt(*heard[2].change, ns::KeyValueChangeNewKey), 2);
}

TEST(KeyValueObserving, SetterLeftByAnExceptionSendsNoFinalNotification) {
    auto account = rt::make<Account>();
    auto watcher = rt::make<Watcher>();
    ns::addObserverForKeyPath(account, watcher, "balance", kNewOld | Options::Prior);
    EXPECT_THROW(account->setBalanceAndThrow(8), std::runtime_error);
    ASSERT_EQ(watcher->count(), 1u);
    EXPECT_TRUE(isPrior(*watcher->heard()[0].change));

    // Nothing of the abandoned change is left open to be finished by a later one.
    ns::didChangeValueForKey(account, "balance");
    EXPECT_EQ(watcher->count(), 1u);
    account->setBalance(9);
    auto heard = watcher->heard();
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(numberAt(*heard[2].change, ns::KeyValueChangeOldKey), 8);
    EXPECT_EQ(numberAt(*heard[2].change, ns::KeyValueChangeNewKey), 9);
}

TEST(KeyValueObserving, ThrowingObserverIsLoggedAndOthersStillHear) {
    auto account = rt::make<Account>();
    auto thrower = rt::make<Watcher>(), other = rt::make<Watcher>();
    thrower->react = [](const ns::Dictionary&) { throw std::runtime_error("observer failed"); };
    ns::addObserverForKeyPath(account, thrower, "balance", Options::New);
    ns::addObserverForKeyPath(account, other, "balance", Options::New);
    ns::CapturedLog log;
    account->setBalance(1);
    EXPECT_EQ(other->count(), 1u);
    EXPECT_TRUE(log.contains("observer failed"));
}

TEST(KeyValueObserving, RegistrationsAreSeparateAndRemovedMostRecentFirst) {
    auto account = rt::make<Account>();
    auto watcher = rt::make<Watcher>();
    int a = 0, b = 0;
    ns::addObserverForKeyPath(account, watcher, "balance", Options::None, &a);
    ns::addObserverForKeyPath(account, watcher, "balance", Options::None, &b);
    ns::addObserverForKeyPath(account, watcher, "balance", Options::None, &a);
    account->setBalance(1);
    EXPECT_EQ(watcher->count(), 3u);

    ns::removeObserverForKeyPath(account, watcher, "balance", &b);
    ns::removeObserverForKeyPath(account, watcher, "balance"); // the latest: a
    account->setBalance(2);
    auto heard = watcher->heard();
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[3].context, &a);

    ns::CapturedLog log;
    ns::removeObserverForKeyPath(account, watcher, "balance", &b);
    ns::removeObserverForKeyPath(account, watcher, "owner");
    EXPECT_EQ(log.lines().size(), 2u);
    EXPECT_TRUE(log.contains("because it is not registered as an observer"));
    ns::addObserverForKeyPath(account, watcher, "owner.length", Options::New);
    EXPECT_EQ(log.lines().size(), 3u);
    account->setOwner(ns::String::make("x"));
    EXPECT_EQ(watcher->count(), 4u);
}

TEST(KeyValueObserving, SetterThatDoesNotAnnounceIsReportedWhenSetThroughKeyValueCoding) {
    auto silent = rt::make<Silent>();
    auto account = rt::make<Account>();
    auto watcher = rt::make<Watcher>();
    ns::CapturedLog log;
    ns::setValueForKey(silent, ns::Number::withInt(1), "level"); // nobody observes: nothing to report
    ns::addObserverForKeyPath(silent, watcher, "level", Options::New);
    ns::addObserverForKeyPath(account, watcher, "balance", Options::New);
    ns::setValueForKey(silent, ns::Number::withInt(2), "level");
    ns::setValueForKey(account, ns::Number::withInt(2), "balance");
    ns::setValueForKey(account, ns::Number::withInt(3), "quiet"); // announced by hand, not checked
    EXPECT_EQ(silent->level(), 2);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.contains("the setter of the property level does not announce its changes"));
    EXPECT_EQ(watcher->count(), 1u);
}

TEST(KeyValueObserving, ObservationKeepsTheClassAndTheObjectsLifetimes) {
    rt::Weak<Account> weakAccount;
    auto watcher = rt::make<Watcher>();
    const std::int64_t before = rt::liveObjectCount();
    {
        auto account = rt::make<Account>();
        weakAccount = account;
        const rt::Class* cls = &account->actualClass();
        ns::addObserverForKeyPath(account, watcher, "balance", Options::New);
        ns::addObserverForKeyPath(account, account, "owner", Options::New);
        EXPECT_EQ(&account->actualClass(), cls);
        EXPECT_EQ(&account->getClass(), &Account::staticClass());
        account->onDestroy = [&, raw = account.get()] {
            raw->setBalance(-1); // set while being torn down: no one is told of it
        };
    }
    EXPECT_FALSE(weakAccount.lock());
    EXPECT_EQ(watcher->count(), 0u);
    EXPECT_EQ(rt::liveObjectCount(), before); // the registrations went with the object
}

// Four threads change the key while observers are added, removed and released: a removed
// registration is never called after its removal returns, and nothing crashes.
TEST(KeyValueObservingRace, RemovalRacingWithNotificationsOnFourThreads) {
    auto account = rt::make<Account>();
    std::atomic<bool> stop{false};
    std::atomic<int> lateCalls{0}, calls{0};
    testkit::Latch started(4);

    struct Slot {
        Ref<Watcher> watcher;
        std::shared_ptr<std::atomic<bool>> removed = std::make_shared<std::atomic<bool>>(false);
    };
    std::vector<std::thread> setters;
    for (int t = 0; t < 4; ++t) {
        setters.emplace_back([&, t] {
            started.countDown();
            for (int i = 0; !stop.load(); ++i) {
                if (i % 2)
                    account->setBalance(t * 1000 + i);
                else
                    ns::setValueForKey(account, ns::Number::withInt(i), "balance");
            }
        });
    }
    ASSERT_TRUE(started.wait());
    for (int round = 0; round < 400; ++round) {
        Slot slots[3];
        // Removal starts once every observer of the round is being called.
        auto heard = std::make_shared<testkit::Latch>(3);
        for (Slot& s : slots) {
            s.watcher = rt::make<Watcher>();
            s.watcher->react = [&, heard, removed = s.removed,
                                first = std::make_shared<std::once_flag>()](const ns::Dictionary&) {
                ++calls;
                if (removed->load()) ++lateCalls;
                std::call_once(*first, [&] { heard->countDown(); });
            };
            ns::addObserverForKeyPath(account, s.watcher, "balance", kNewOld | Options::Prior);
        }
        if (!heard->wait()) {
            ADD_FAILURE() << "the observers of round " << round << " were not all called";
            break;
        }
        ns::removeObserverForKeyPath(account, slots[0].watcher, "balance");
        slots[0].removed->store(true);
        ns::removeObserverForKeyPath(account, slots[1].watcher, "balance");
        slots[1].removed->store(true);
        slots[2].watcher = nullptr; // released while registered, perhaps while being called
    }
    stop = true;
    for (auto& t : setters)
        t.join();
    EXPECT_EQ(lateCalls.load(), 0);
    EXPECT_GE(calls.load(), 1200);
}

// Each thread's will and did pair up on that thread, even when several threads announce the same
// key of the same object at once.
TEST(KeyValueObservingRace, AnnouncementsPairUpPerThread) {
    auto account = rt::make<Account>();
    auto watcher = rt::make<Watcher>();
    ns::addObserverForKeyPath(account, watcher, "quiet", Options::Prior);
    testkit::Latch ready(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            ready.countDown();
            (void)ready.wait();
            for (int i = 0; i < 500; ++i) {
                ns::willChangeValueForKey(account, "quiet");
                ns::didChangeValueForKey(account, "quiet");
            }
        });
    }
    for (auto& t : threads)
        t.join();
    auto heard = watcher->heard();
    ASSERT_EQ(heard.size(), 4000u);
    std::size_t priors = 0;
    for (auto& h : heard)
        priors += isPrior(*h.change) ? 1 : 0;
    EXPECT_EQ(priors, 2000u);
}

} // namespace
