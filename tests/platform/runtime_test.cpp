#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "tests/testkit/class_names.h"
#include "platform/runtime/object_arena.h"

namespace {

using rt::Id;
using rt::Ref;

// Records what happens to it, so tests can check the order of teardown.
class Recorder : public rt::Object {
    RT_CLASS(Recorder)
public:
    explicit Recorder(std::vector<std::string>* log = nullptr, std::atomic<int>* destroyed = nullptr)
        : log_(log), destroyed_(destroyed) {}
    ~Recorder() override {
        if (log_) log_->push_back("destructor");
        if (destroyed_) ++*destroyed_;
    }
    Ref<Recorder> next; // for chains

private:
    std::vector<std::string>* log_;
    std::atomic<int>* destroyed_;
};

class Probe : public rt::Disposable {
    RT_CLASS(Probe)
public:
    explicit Probe(std::function<void()> f) : f_(std::move(f)) {}
    void dispose() override {
        if (!disposed_.exchange(true) && f_) f_();
    }
    bool isDisposed() const override { return disposed_; }

private:
    std::function<void()> f_;
    std::atomic<bool> disposed_{false};
};

class Person : public rt::Object {
    RT_CLASS(Person)
public:
    bool active() const { return active_; }
    void setActive(bool v) { active_ = v; }
    int age() const { return age_; }
    void setAge(int v) { age_ = v; }
    double height() const { return height_; }
    void setHeight(double v) { height_ = v; }
    unsigned long count() const { return 7; }
    Ref<ns::String> name() const { return name_; }
    void setName(Ref<ns::String> v) { name_ = v ? rt::cast<ns::String>(v->copy()) : v; }
    Ref<Person> partner() const { return partner_; }
    void setPartner(Ref<Person> p) { partner_ = std::move(p); }
    Id delegate() const { return delegate_.lock(); }
    void setDelegate(Id d) { delegate_ = d; }

private:
    bool active_ = false;
    int age_ = 0;
    double height_ = 0;
    Ref<ns::String> name_;
    Ref<Person> partner_;
    rt::Weak<rt::Object> delegate_;
};

RT_DEFINE_CLASS(Recorder, "Recorder", rt::Object)
RT_DEFINE_CLASS(Probe, "Probe", rt::Disposable)
RT_DEFINE_CLASS(Person, "Person", rt::Object,
                rt::prop("active", &Person::active, &Person::setActive, {.getter = "isActive"}),
                rt::prop("age", &Person::age, &Person::setAge),
                rt::prop("height", &Person::height, &Person::setHeight),
                rt::prop("count", &Person::count),
                rt::prop("name", &Person::name, &Person::setName, {.memory = rt::Memory::Copy}),
                rt::prop("partner", &Person::partner, &Person::setPartner),
                rt::prop("delegate", &Person::delegate, &Person::setDelegate, {.memory = rt::Memory::Weak}))

class Student : public Person {
    RT_CLASS(Student)
};
RT_DEFINE_CLASS(Student, "Student", Person)

// A person whose nil handler zeroes the age (registered, so the try-forms may use it).
class Clearable : public Person {
    RT_CLASS(Clearable)
public:
    void setNilValueForKey(std::string_view key) override {
        if (key == "age") setAge(0);
    }
    void setNilValueForKeyNamed(const Ref<ns::String>& key) { setNilValueForKey(key ? key->utf8() : ""); }
};
RT_DEFINE_CLASS(Clearable, "Clearable", Person,
                rt::method("setNilValueForKey:", &Clearable::setNilValueForKeyNamed))

// A base that takes an object made for it in the derived class's initialiser list.
class Holder : public rt::Object {
    RT_CLASS(Holder)
public:
    const Ref<Person>& held() const { return held_; }

protected:
    explicit Holder(Ref<Person> held) : held_(std::move(held)) {}

private:
    Ref<Person> held_;
};
RT_DEFINE_CLASS(Holder, "Holder", rt::Object)

class MadeHolder : public Holder {
    RT_CLASS(MadeHolder)
protected:
    MadeHolder() : Holder(rt::make<Student>()) {}
};
RT_DEFINE_CLASS(MadeHolder, "MadeHolder", Holder)

TEST(ObjectLifetime, AnObjectMadeForABaseInitialiserLeavesTheOuterClassAlone) {
    auto holder = rt::make<MadeHolder>();
    EXPECT_EQ(&holder->getClass(), &MadeHolder::staticClass());
    EXPECT_EQ(&holder->held()->getClass(), &Student::staticClass());
    EXPECT_EQ(&rt::make<Person>()->getClass(), &Person::staticClass()) << "nothing left over for the next";
}

TEST(ObjectLifetime, ConcurrentRetainReleaseDestroysOnce) {
    std::atomic<int> destroyed{0};
    {
        auto obj = rt::make<Recorder>(nullptr, &destroyed);
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([raw = obj.get()] {
                for (int i = 0; i < 1'000'000; ++i) {
                    raw->retain();
                    raw->release();
                }
            });
        for (auto& t : threads) t.join();
        EXPECT_EQ(obj->retainCount(), 1u);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(ObjectLifetime, DeallocOrderAndWeakReferences) {
    std::vector<std::string> log;
    static const char key = 0;
    rt::Weak<Recorder> weak;
    {
        auto obj = rt::make<Recorder>(&log);
        weak = obj;
        rt::deallocDisposable(obj.get(), [&] {
            return Ref<rt::Disposable>(rt::make<Probe>([&] {
                // The object is still whole here, but weak references already read null.
                log.push_back(weak.lock() ? "slot: weak alive" : "slot: weak null");
            }));
        });
        rt::setAssociatedObject(obj.get(), &key, rt::make<Recorder>(&log), rt::AssociationPolicy::Retain);
        EXPECT_TRUE(weak.lock());
    }
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "slot: weak null");
    EXPECT_EQ(log[1], "destructor"); // the object's own
    EXPECT_EQ(log[2], "destructor"); // the associated object's
    EXPECT_FALSE(weak.lock());
}

TEST(ObjectLifetime, DeallocDisposableAskedForDuringDeallocIsDisposed) {
    Ref<rt::Disposable> late;
    {
        auto obj = rt::make<Recorder>();
        rt::deallocDisposable(obj.get(), [&, raw = obj.get()] {
            return Ref<rt::Disposable>(rt::make<Probe>([&, raw] {
                late = rt::deallocDisposable(raw, [] { return Ref<rt::Disposable>(rt::make<Probe>(nullptr)); });
            }));
        });
    }
    ASSERT_TRUE(late);
    EXPECT_TRUE(late->isDisposed());
}

// Its destructor is the first to ask for the side table: locks itself and attaches an object.
class LateSide : public rt::Object {
    RT_CLASS(LateSide)
public:
    explicit LateSide(std::atomic<int>* destroyed) : destroyed_(destroyed) {}
    ~LateSide() override {
        static const char key = 0;
        rt::SyncGuard guard(this);
        rt::setAssociatedObject(this, &key, rt::make<Recorder>(nullptr, destroyed_), rt::AssociationPolicy::Retain);
    }

private:
    std::atomic<int>* destroyed_;
};
RT_DEFINE_CLASS(LateSide, "LateSide", rt::Object)

TEST(ObjectLifetime, SideTableMadeDuringTeardownIsReleased) {
    std::atomic<int> destroyed{0};
    rt::make<LateSide>(&destroyed);
    EXPECT_EQ(destroyed, 1); // the associated object went with it
}

TEST(ObjectLifetime, MillionLongChainReleasesWithoutDeepRecursion) {
    std::atomic<int> destroyed{0};
    {
        auto head = rt::make<Recorder>(nullptr, &destroyed);
        Recorder* tail = head.get();
        for (int i = 0; i < 1'000'000; ++i) {
            tail->next = rt::make<Recorder>(nullptr, &destroyed);
            tail = tail->next.get();
        }
    }
    EXPECT_EQ(destroyed, 1'000'001);
}

// Carries a number and counts destructions, to tell whether memory still holds the object made.
class Tagged : public rt::Object {
    RT_CLASS(Tagged)
public:
    Tagged(int tag, std::atomic<int>* destroyed) : tag(tag), destroyed_(destroyed) {
        if (tag < 0) throw std::runtime_error("refused");
    }
    ~Tagged() override { ++*destroyed_; }
    const int tag;

private:
    std::atomic<int>* destroyed_;
};
RT_DEFINE_CLASS(Tagged, "Tagged", rt::Object)

// Objects made in an arena die as any other, on whatever thread lets the last reference go, with
// weak references zeroed; the ones kept keep their memory while later arenas reuse the blocks the
// others left, and a constructor that throws leaves nothing behind.
TEST(ObjectArena, PlacedObjectsLiveAndDieAsAnyOther) {
    struct Case {
        const char* name;
        int count; // several blocks' worth at the most
        bool releasedOnAnotherThread;
    };
    for (const Case& c :
         {Case{"one", 1, false}, Case{"many", 3000, false}, Case{"many elsewhere", 3000, true}}) {
        SCOPED_TRACE(c.name);
        const std::int64_t liveBefore = rt::liveObjectCount();
        std::atomic<int> destroyed{0};
        std::vector<Ref<Tagged>> made, kept;
        rt::Weak<Tagged> firstWeak;
        {
            rt::ObjectArena arena;
            for (int i = 0; i < c.count; ++i)
                made.push_back(rt::make<Tagged>(i, &destroyed));
            EXPECT_THROW(rt::make<Tagged>(-1, &destroyed), std::runtime_error);
            firstWeak = made.front();
        }
        for (std::size_t i = 7; i < made.size(); i += 10)
            kept.push_back(made[i]);
        if (c.releasedOnAnotherThread)
            std::thread([&made] { made.clear(); }).join();
        made.clear();
        EXPECT_EQ(destroyed, c.count - static_cast<int>(kept.size()));
        EXPECT_FALSE(firstWeak.lock());

        for (int round = 0; round < 3; ++round) {
            rt::ObjectArena arena;
            std::vector<Ref<Tagged>> others;
            for (int i = 0; i < c.count; ++i)
                others.push_back(rt::make<Tagged>(1'000'000 + i, &destroyed));
        }
        for (std::size_t k = 0; k < kept.size(); ++k) {
            EXPECT_EQ(kept[k]->tag, static_cast<int>(7 + 10 * k));
            EXPECT_EQ(kept[k]->retainCount(), 1u);
        }
        kept.clear();
        EXPECT_EQ(destroyed, 4 * c.count);
        EXPECT_EQ(rt::liveObjectCount(), liveBefore);
    }
}

// Releases made through the teardown of many holders at once (rt::releaseInTeardown) leave the
// counts exact, however many shared objects there are, and an object that only the holders had is
// gone before the release that began the teardown returns.
TEST(ObjectLifetime, ReleasesGatheredInATeardownLeaveExactCounts) {
    for (int shared : {1, 5, 1000}) { // up to more than a teardown gathers at once
        SCOPED_TRACE(shared);
        std::atomic<int> destroyed{0};
        std::vector<Id> objects;
        for (int i = 0; i < shared; ++i)
            objects.push_back(rt::make<Tagged>(i, &destroyed));
        std::vector<Id> holders;
        for (int h = 0; h < 50; ++h)
            holders.push_back(ns::Array::make(objects));
        auto outer = ns::Array::make(std::move(holders));
        const Id keptOne = objects.front();
        objects.clear();
        outer = nullptr;
        EXPECT_EQ(destroyed, shared - 1);
        EXPECT_EQ(keptOne->retainCount(), 1u);
    }
}

TEST(ObjectLifetime, WeakReferencesZeroAndCopy) {
    rt::Weak<Recorder> a;
    {
        auto obj = rt::make<Recorder>();
        a = obj;
        rt::Weak<Recorder> b = a;
        EXPECT_EQ(b.lock(), obj);
    }
    rt::Weak<Recorder> c = a;
    EXPECT_FALSE(a.lock());
    EXPECT_FALSE(c.lock());
}

TEST(References, RetainedTakesANewReference) {
    std::atomic<int> destroyed{0};
    auto obj = rt::make<Recorder>(nullptr, &destroyed);
    const Recorder* raw = obj.get();
    Ref<Recorder> extra = rt::retained(raw);
    static_assert(std::is_same_v<decltype(extra), decltype(rt::retained(raw))>);
    EXPECT_EQ(extra, obj);
    EXPECT_EQ(obj->retainCount(), 2u);
    obj = nullptr;
    EXPECT_EQ(destroyed, 0); // the new reference keeps it
    extra = nullptr;
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(rt::retained(static_cast<const Recorder*>(nullptr)));
}

TEST(References, DowncastKeepsIdentityAndCounts) {
    auto student = rt::make<Student>();
    Id id = student;
    Ref<Person> person = rt::downcast<Person>(id);
    EXPECT_EQ(person, student);
    EXPECT_EQ(student->retainCount(), 3u);

    // From a temporary the reference moves over: no extra retain, nothing left behind.
    Ref<Student> moved = rt::downcast<Student>(std::move(id));
    EXPECT_FALSE(id);
    EXPECT_EQ(moved, student);
    EXPECT_EQ(student->retainCount(), 3u);

    EXPECT_EQ(rt::downcast<Student>(static_cast<rt::Object*>(student.get())), student.get());
    EXPECT_FALSE(rt::downcast<Student>(Id()));
    EXPECT_EQ(rt::downcast<Student>(static_cast<rt::Object*>(nullptr)), nullptr);
}

#ifndef NDEBUG
TEST(ReferencesDeathTest, DowncastToTheWrongTypeAbortsInDebugBuilds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(rt::downcast<Student>(Id(rt::make<Person>())), "Person is not a .*Student");
}
#endif

TEST(ObjectLock, IsRecursiveAndExcludesOtherThreads) {
    auto obj = rt::make<Recorder>();
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10'000; ++i) {
                rt::SyncGuard outer(obj.get());
                rt::SyncGuard inner(obj.get());
                ++counter;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 40'000);
}

TEST(AssociatedObjects, PoliciesAndReplacement) {
    static const char strongKey = 0, copyKey = 0, assignKey = 0;
    auto owner = rt::make<Recorder>();
    std::atomic<int> destroyed{0};
    rt::Weak<Recorder> weakValue;
    {
        auto value = rt::make<Recorder>(nullptr, &destroyed);
        weakValue = value;
        rt::setAssociatedObject(owner.get(), &strongKey, value, rt::AssociationPolicy::Retain);
        rt::setAssociatedObject(owner.get(), &assignKey, value, rt::AssociationPolicy::Assign);
    }
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(rt::getAssociatedObject(owner.get(), &strongKey), weakValue.lock());
    rt::setAssociatedObject(owner.get(), &strongKey, nullptr, rt::AssociationPolicy::Retain);
    EXPECT_EQ(destroyed, 1);
    rt::setAssociatedObject(owner.get(), &assignKey, nullptr, rt::AssociationPolicy::Assign);

    auto n = ns::num(5);
    rt::setAssociatedObject(owner.get(), &copyKey, n, rt::AssociationPolicy::Copy);
    EXPECT_TRUE(rt::getAssociatedObject(owner.get(), &copyKey)->isEqual(n.get()));
    EXPECT_FALSE(rt::getAssociatedObject(owner.get(), &strongKey));
}

TEST(Classes, RegistryHierarchyAndReportedClass) {
    auto s = rt::make<Student>();
    const rt::Class* person = rt::Class::named("Person");
    ASSERT_NE(person, nullptr);
    EXPECT_EQ(&s->getClass(), rt::Class::named("Student"));
    EXPECT_TRUE(s->isKindOfClass(*person));
    EXPECT_FALSE(s->isMemberOfClass(*person));
    EXPECT_TRUE(s->isKindOfClass(rt::Object::staticClass()));
    EXPECT_EQ(rt::Object::staticClass().name(), "NSObject");
    EXPECT_TRUE(rt::Class::named("Student")->alloc()->isKindOfClass(*person));

    // A runtime subclass made for one object: the object keeps reporting its class. Classes live
    // for the process, so a repeated run of the test makes one of another name.
    const std::string name = testkit::uniqueClassName("Student_Probe");
    rt::Class* sub = rt::Class::createSubclass(name, Student::staticClass(), Student::staticClass());
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(rt::Class::createSubclass(name, Student::staticClass(), Student::staticClass()), nullptr);
    s->setActualClass(*sub);
    EXPECT_EQ(&s->getClass(), &Student::staticClass());
    EXPECT_EQ(&s->actualClass(), sub);
    EXPECT_NE(s->actualClass().property("age"), nullptr);
}

TEST(Classes, MethodsBySelector) {
    rt::Sel sel("greet:");
    EXPECT_EQ(sel, rt::Sel(std::string("greet:")));
    EXPECT_EQ(sel.argumentCount(), 1u);
    rt::Class* cls = rt::Class::createSubclass(testkit::uniqueClassName("PersonWithGreeting"),
                                               Person::staticClass(), Person::staticClass());
    ASSERT_NE(cls, nullptr);
    ASSERT_TRUE(cls->addInstanceMethod(sel, "@@:@", [](rt::Object&, std::span<const Id> args) { return args[0]; }));
    EXPECT_FALSE(cls->addInstanceMethod(sel, "@@:@", nullptr));
    EXPECT_NE(cls->instanceMethod(sel), nullptr);
    EXPECT_EQ(Person::staticClass().instanceMethod(sel), nullptr);
    rt::Class* sub = rt::Class::createSubclass(testkit::uniqueClassName("PersonWithGreetingSub"), *cls, *cls);
    ASSERT_NE(sub, nullptr);
    EXPECT_NE(sub->instanceMethod(sel), nullptr);
    EXPECT_EQ(sub->immediateInstanceMethod(sel), nullptr);
    auto previous = cls->replaceInstanceMethod(sel, "@@:@", [](rt::Object&, std::span<const Id>) { return Id(); });
    ASSERT_TRUE(previous);
    auto p = rt::make<Person>();
    Id arg = ns::num(3);
    EXPECT_EQ(previous(*p, std::span<const Id>(&arg, 1)), arg);
    EXPECT_FALSE(cls->instanceMethod(sel)->imp(*p, std::span<const Id>(&arg, 1)));
}

TEST(KeyValueCoding, ScalarsAreBoxedAndUnboxed) {
    auto p = rt::make<Person>();
    p->setValueForKey(ns::num(true), "active");
    p->setValueForKey(ns::num(41.9), "age"); // converted like the platform: truncated
    p->setValueForKey(ns::num(1), "height");
    EXPECT_TRUE(p->active());
    EXPECT_EQ(p->age(), 41);
    EXPECT_EQ(p->height(), 1.0);

    auto age = rt::cast<ns::Number>(p->valueForKey("age"));
    ASSERT_TRUE(age);
    EXPECT_EQ(age->objCType(), "i");
    EXPECT_EQ(age->intValue(), 41);
    EXPECT_EQ(rt::cast<ns::Number>(p->valueForKey("active"))->objCType(), "B");
    EXPECT_EQ(rt::cast<ns::Number>(p->valueForKey("height"))->objCType(), "d");
    EXPECT_EQ(rt::cast<ns::Number>(p->valueForKey("count"))->unsignedLongValue(), 7u);
}

TEST(KeyValueCoding, ObjectsKeyPathsNilAndUndefinedKeys) {
    auto p = rt::make<Person>();
    auto partner = rt::make<Person>();
    p->setValueForKey(partner, "partner");
    EXPECT_EQ(p->partner(), partner);
    ns::setValueForKeyPath(p, ns::num(30), "partner.age");
    EXPECT_EQ(partner->age(), 30);
    EXPECT_TRUE(ns::valueForKeyPath(p, "partner.age")->isEqual(ns::num(30).get()));
    EXPECT_FALSE(ns::valueForKeyPath(p, "partner.partner.age"));

    ns::CapturedLog log;
    p->setAge(5);
    p->setValueForKey(nullptr, "age"); // nil for a scalar: logged, value kept
    EXPECT_EQ(p->age(), 5);
    EXPECT_TRUE(log.contains("setNilValueForKey"));
    EXPECT_FALSE(p->valueForKey("shoeSize"));
    p->setValueForKey(ns::num(1), "shoeSize");
    p->setValueForKey(ns::num(1), "count"); // read-only
    EXPECT_TRUE(log.contains("not key value coding-compliant for the key shoeSize."));
    EXPECT_TRUE(log.contains("for the key count."));
    p->setValueForKey(rt::make<Recorder>(), "partner"); // wrong class: refused, logged
    EXPECT_EQ(p->partner(), partner);
    p->setValueForKey(rt::make<Recorder>(), "age"); // not a number: refused, logged
    EXPECT_EQ(p->age(), 5);
    p->setValueForKey(ns::str("12 apples"), "age"); // text reads as a number, as on the platform
    EXPECT_EQ(p->age(), 12);
    EXPECT_EQ(log.lines().size(), 6u);

    p->setValueForKey(nullptr, "partner");
    EXPECT_FALSE(p->partner());
}

// The try-forms report what the logging ones only log: (key path, value, stored?, age after).
TEST(KeyValueCoding, TryFormsReportRefusalsWithoutLogging) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* path;
        Id value;
        bool clearable, stored;
        int age;
    };
    const Case cases[] = {
        {"age", ns::num(30), false, true, 30},
        {"age", ns::num(41.9), false, false, 5},
        {"age", ns::num(41.0), false, true, 41},
        {"age", ns::num(nan), false, false, 5},
        {"age", ns::num(std::numeric_limits<double>::infinity()), false, false, 5},
        {"age", ns::num(1e300), false, false, 5},
        {"age", ns::num(3000000000L), false, false, 5},
        {"age", ns::num(-2147483648L), false, true, -2147483648},
        {"age", ns::str("12"), false, false, 5},
        {"age", nullptr, false, false, 5},
        {"age", nullptr, true, true, 0},
        {"active", ns::num(nan), false, false, 5},
        {"height", ns::num(nan), false, true, 5},
        {"partner", rt::make<Recorder>(), false, false, 5},
        {"partner", rt::make<Student>(), false, true, 5},
        {"partner.age", ns::num(9), false, false, 5},
        {"count", ns::num(1), false, false, 5},
        {"shoeSize", ns::num(1), false, false, 5},
        {"", ns::num(1), false, false, 5},
        {"a..b", ns::num(1), false, false, 5},
    };
    ns::CapturedLog log;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Ref<Person> p = c.clearable ? Ref<Person>(rt::make<Clearable>()) : rt::make<Person>();
        p->setAge(5);
        EXPECT_EQ(ns::trySetValueForKeyPath(p, c.value, c.path), c.stored);
        EXPECT_EQ(p->age(), c.age);
        Id read;
        const std::string_view path = c.path;
        EXPECT_EQ(ns::tryValueForKeyPath(p, c.path, read), path != "shoeSize" && path != "" && path != "a..b");
    }
    EXPECT_TRUE(log.lines().empty());

    // Dictionaries take any key; nil removes it. A nil part-way reads nil.
    auto d = ns::MutableDictionary::make();
    EXPECT_TRUE(ns::trySetValueForKeyPath(d, ns::num(1), "count"));
    EXPECT_TRUE(ns::trySetValueForKeyPath(d, ns::MutableDictionary::make(), "inner"));
    EXPECT_TRUE(ns::trySetValueForKeyPath(d, ns::str("x"), "inner.name"));
    Id read;
    EXPECT_TRUE(ns::tryValueForKeyPath(d, "inner.name", read));
    EXPECT_TRUE(read->isEqual(ns::str("x").get()));
    EXPECT_TRUE(ns::trySetValueForKeyPath(d, nullptr, "count"));
    EXPECT_FALSE(d->objectForKey("count"));
    EXPECT_TRUE(ns::tryValueForKeyPath(d, "missing.deeper", read));
    EXPECT_FALSE(read);
    EXPECT_FALSE(ns::trySetValueForKeyPath(d, ns::num(1), "missing.deeper"));
}

TEST(KeyValueCoding, WeakAndCopiedObjectProperties) {
    auto p = rt::make<Person>();
    {
        auto d = rt::make<Recorder>();
        p->setValueForKey(d, "delegate");
        EXPECT_EQ(p->valueForKey("delegate"), d);
    }
    EXPECT_FALSE(p->valueForKey("delegate"));
    auto name = ns::str("Ann");
    p->setValueForKey(name, "name");
    EXPECT_TRUE(p->valueForKey("name")->isEqual(name.get()));
}

TEST(Properties, AttributeStrings) {
    const rt::Class& cls = Person::staticClass();
    EXPECT_EQ(cls.property("name")->attributes(), "T@\"NSString\",C,N,V_name");
    EXPECT_EQ(cls.property("partner")->attributes(), "T@\"Person\",&,N,V_partner");
    EXPECT_EQ(cls.property("delegate")->attributes(), "T@,W,N,V_delegate");
    EXPECT_EQ(cls.property("active")->attributes(), "TB,N,GisActive,V_active");
    EXPECT_EQ(cls.property("age")->attributes(), "Ti,N,V_age");
    EXPECT_EQ(cls.property("height")->attributes(), "Td,N,V_height");
    EXPECT_EQ(cls.property("count")->attributes(), "TQ,R,N,V_count");
    EXPECT_EQ(Student::staticClass().property("age"), cls.property("age"));
    EXPECT_EQ(cls.ownProperties().size(), 7u);
}

TEST(Number, EqualityAndHashAcrossKinds) {
    auto one = ns::num(1), oneD = ns::num(1.0), yes = ns::num(true), oneU = ns::num(1ull), oneF = ns::num(1.0f);
    for (const auto& n : {oneD, yes, oneU, oneF}) {
        EXPECT_TRUE(one->isEqual(n.get())) << n->objCType();
        EXPECT_EQ(one->hash(), n->hash()) << n->objCType();
    }
    EXPECT_FALSE(ns::num(1.5)->isEqual(one.get()));
    EXPECT_FALSE(ns::num(-1)->isEqual(ns::num(18446744073709551615ull).get()));
    EXPECT_EQ(ns::num(-1)->compare(*ns::num(0ull)), -1);
    EXPECT_EQ(ns::num(9007199254740993ll)->compare(*ns::num(9007199254740992.0)), 1); // exact, not via double
    EXPECT_TRUE(ns::num(0.1)->isEqual(ns::num(0.1).get()));
    EXPECT_EQ(ns::num(0.1)->hash(), ns::num(0.1)->hash());
    EXPECT_FALSE(ns::num(0.0 / 0.0)->isEqual(ns::num(1).get()));

    // Kinds are kept, and YES/NO and small integers are shared.
    EXPECT_EQ(ns::num('a')->objCType(), "c");
    EXPECT_EQ(ns::num(2.5f)->objCType(), "f");
    EXPECT_EQ(ns::num(true), ns::num(true));
    EXPECT_EQ(ns::num(7), ns::num(7));
    EXPECT_NE(ns::num(7).get(), static_cast<ns::Number*>(ns::num(7L).get())); // same value, other kind
    EXPECT_EQ(ns::num(true)->description(), "1");
    EXPECT_EQ(ns::num(0.1)->description(), "0.1");
    EXPECT_EQ(ns::num(-3)->description(), "-3");
    EXPECT_EQ(ns::num(2.5)->intValue(), 2);
    EXPECT_EQ(ns::num(1e300)->longLongValue(), std::numeric_limits<long long>::max());
}

TEST(Value, BoxesStructBytesWithEncoding) {
    struct Point {
        double x, y;
    };
    Point pt{1, 2};
    auto v = ns::Value::withBytes(&pt, sizeof pt, "{CGPoint=dd}");
    EXPECT_EQ(v->objCType(), "{CGPoint=dd}");
    Point out = v->get<Point>();
    EXPECT_EQ(out.y, 2);
    EXPECT_TRUE(v->isEqual(ns::Value::withBytes(&pt, sizeof pt, "{CGPoint=dd}").get()));
    EXPECT_FALSE(v->isEqual(ns::Value::withBytes(&pt, sizeof pt, "{CGSize=dd}").get()));
    const Point other{1, 3};
    EXPECT_FALSE(v->isEqual(ns::Value::withBytes(&other, sizeof other, "{CGPoint=dd}").get()));
    EXPECT_EQ(v->hash(), ns::Value::withBytes(&pt, sizeof pt, "{CGPoint=dd}")->hash());
    const std::uint32_t word = 0x04030201;
    EXPECT_EQ(ns::Value::withBytes(&word, sizeof word, "I")->description(), "<01020304>");
    int wrong = 0;
    EXPECT_FALSE(v->getValue(&wrong, sizeof wrong));
    EXPECT_TRUE(v->isKindOfClass(ns::Value::staticClass()));
    EXPECT_TRUE(ns::num(1)->isKindOfClass(ns::Value::staticClass()));
}

} // namespace
