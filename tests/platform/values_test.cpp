// Dates and the clock, data, errors, and keyed archiving.

#include <atomic>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/data.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/null.h"
#include "platform/foundation/set.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"

namespace {

// Archivable test classes, registered with the runtime under their own names.
class Shape : public rt::Object, public ns::Coding {
    RT_CLASS(Shape)
public:
    Shape() = default; // public: decoding makes it with its class's factory
    static inline int built = 0; // by initWithCoder

    double width = 0;
    std::int64_t sides = 0;
    bool filled = false;
    std::string name;
    rt::Id payload;
    bool decodedWithEveryKey = false;
    double sidesAsDouble = 0;
    std::int64_t widthAsInt = 0, missing = -1;

    void encodeWithCoder(ns::Coder& c) const override {
        c.encodeDouble(width, "width");
        c.encodeInt64(sides, "sides");
        c.encodeBool(filled, "filled");
        c.encodeString(name, "name");
        c.encodeObject(payload, "payload");
    }
    rt::Id initWithCoder(ns::Coder& c) override {
        ++built;
        width = c.decodeDouble("width");
        sides = c.decodeInt64("sides");
        filled = c.decodeBool("filled");
        name = c.decodeString("name");
        payload = c.decodeObject("payload");
        sidesAsDouble = c.decodeDouble("sides");
        widthAsInt = c.decodeInt64("width");
        missing =
            c.decodeInt64("height") + c.decodeBool("height") + static_cast<std::int64_t>(c.decodeDouble("x"));
        decodedWithEveryKey = c.containsValueForKey("width") && c.containsValueForKey("payload") &&
                              !c.containsValueForKey("height");
        return rt::Id(this);
    }
};
RT_DEFINE_CLASS(Shape, "FTValuesTestShape", rt::Object, ns::adoptsCoding())

// Decodes to one shared instance.
class Token final : public rt::Object, public ns::Coding {
    RT_CLASS(Token)
public:
    Token() = default;
    static const rt::Ref<Token>& shared() {
        static const rt::Ref<Token> t = [] {
            auto made = rt::make<Token>();
            rt::makeImmortal(*made);
            return made;
        }();
        return t;
    }
    void encodeWithCoder(ns::Coder&) const override {}
    rt::Id initWithCoder(ns::Coder&) override { return shared(); }
};
RT_DEFINE_CLASS(Token, "FTValuesTestToken", rt::Object, ns::adoptsCoding())

// Refuses to decode without its "version".
class Strict final : public rt::Object, public ns::Coding {
    RT_CLASS(Strict)
public:
    Strict() = default;
    bool withVersion = true;
    void encodeWithCoder(ns::Coder& c) const override {
        if (withVersion) c.encodeInt(1, "version");
    }
    rt::Id initWithCoder(ns::Coder& c) override {
        if (!c.containsValueForKey("version")) c.failWithError(ns::Error::make("FTTestDomain", 7));
        return rt::Id(this);
    }
};
RT_DEFINE_CLASS(Strict, "FTValuesTestStrict", rt::Object, ns::adoptsCoding())

// Implements the coding members but does not adopt the protocol: neither archived nor built.
class Unadopted final : public rt::Object, public ns::Coding {
    RT_CLASS(Unadopted)
public:
    void encodeWithCoder(ns::Coder&) const override {}
    rt::Id initWithCoder(ns::Coder&) override { return rt::Id(this); }
};
RT_DEFINE_CLASS(Unadopted, "FTValuesTestUnadopted", rt::Object)

// Not archivable.
class Opaque final : public rt::Object {
    RT_CLASS(Opaque)
};
RT_DEFINE_CLASS(Opaque, "FTValuesTestOpaque", rt::Object)

// ---- Clock ----------------------------------------------------------------------------------

TEST(Clock, ManualClockMovesOnlyForwardAndNotifiesInOrder) {
    ns::ManualClock clock;
    EXPECT_EQ(clock.now(), ns::ManualClock::DefaultStart);
    std::vector<std::pair<int, double>> calls;
    auto a = clock.addObserver([&](ns::TimeInterval t) { calls.emplace_back(1, t); });
    clock.addObserver([&](ns::TimeInterval t) { calls.emplace_back(2, t); });

    clock.advance(1.5);
    double t0 = ns::ManualClock::DefaultStart;
    EXPECT_EQ(clock.now(), t0 + 1.5);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::make_pair(1, t0 + 1.5));
    EXPECT_EQ(calls[1], std::make_pair(2, t0 + 1.5));

    // No change of time, no notification.
    clock.setNow(t0);
    clock.setNow(t0 + 1.5);
    clock.advance(-3);
    clock.advance(0);
    EXPECT_EQ(clock.now(), t0 + 1.5);
    EXPECT_EQ(calls.size(), 2u);

    clock.removeObserver(a);
    clock.setNow(t0 + 10);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2], std::make_pair(2, t0 + 10));
}

TEST(Clock, ChangesMadeByObserversAreDeliveredInIncreasingOrder) {
    ns::ManualClock clock(100);
    std::vector<double> first, second;
    ns::ManualClock::ObserverToken secondToken = 0;
    bool removeSecond = false;
    clock.addObserver([&](ns::TimeInterval t) {
        first.push_back(t);
        if (t < 103) clock.advance(1); // re-entrant: delivered after this round
        if (removeSecond) clock.removeObserver(secondToken);
    });
    secondToken = clock.addObserver([&](ns::TimeInterval t) { second.push_back(t); });
    clock.advance(1);
    EXPECT_EQ(first, (std::vector<double>{101, 102, 103}));
    EXPECT_EQ(second, first);
    EXPECT_EQ(clock.now(), 103);

    // Removed by an earlier observer in the same round: not called for it.
    removeSecond = true;
    clock.advance(1);
    EXPECT_EQ(second.size(), 3u);
}

TEST(Clock, InstallAndScopedManualClock) {
    ns::TimeInterval before = ns::Clock::current().now();
    EXPECT_GT(before, 7e8); // after 2023
    {
        ns::ScopedManualClock manual(1000);
        EXPECT_EQ(&ns::Clock::current(), &manual.clock());
        EXPECT_EQ(ns::Clock::currentTime(), 1000);
        {
            ns::ScopedManualClock inner;
            EXPECT_EQ(ns::Clock::currentTime(), ns::ManualClock::DefaultStart);
        }
        EXPECT_EQ(ns::Clock::currentTime(), 1000);
    }
    ns::TimeInterval after = ns::Clock::current().now();
    EXPECT_GE(after, before);
    EXPECT_LT(after - before, 60);

    // install(nullptr) restores the system clock and hands back the replaced one.
    auto manual = std::make_shared<ns::ManualClock>(5);
    auto previous = ns::Clock::install(manual);
    EXPECT_EQ(ns::Clock::install(nullptr), manual);
    EXPECT_EQ(ns::Clock::installed(), previous);
}

TEST(Clock, SystemClockIsMonotonicAcrossThreads) {
    ns::SystemClock clock;
    std::atomic<bool> backwards{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            ns::TimeInterval last = clock.now();
            for (int j = 0; j < 20000; ++j) {
                ns::TimeInterval t = clock.now();
                if (t < last) backwards = true;
                last = t;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_FALSE(backwards);
}

TEST(Clock, ManualClockIsSafeToAdvanceFromManyThreads) {
    ns::ManualClock clock(0);
    std::atomic<int> calls{0};
    std::atomic<bool> decreasing{false};
    double last = 0; // only touched by the delivering thread
    clock.addObserver([&](ns::TimeInterval t) {
        if (t < last) decreasing = true;
        last = t;
        ++calls;
    });
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int j = 0; j < 1000; ++j)
                clock.advance(1);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(clock.now(), 4000);
    EXPECT_FALSE(decreasing);
    EXPECT_GE(calls.load(), 1);
    EXPECT_EQ(last, 4000); // the last change is always delivered
}

// ---- Date -----------------------------------------------------------------------------------

TEST(Date, ArithmeticAndComparison) {
    ns::ScopedManualClock clock(500);
    auto now = ns::Date::now();
    EXPECT_EQ(now->timeIntervalSinceReferenceDate(), 500);
    EXPECT_EQ(now->timeIntervalSince1970(), 500 + ns::TimeIntervalSince1970);
    clock.advance(20);
    EXPECT_EQ(now->timeIntervalSinceNow(), -20);

    auto later = now->dateByAddingTimeInterval(90.25);
    EXPECT_EQ(later->timeIntervalSinceDate(*now), 90.25);
    EXPECT_EQ(now->timeIntervalSinceDate(*later), -90.25);
    EXPECT_EQ(now->compare(*later), -1);
    EXPECT_EQ(later->compare(*now), 1);
    EXPECT_EQ(now->earlierDate(later), now);
    EXPECT_EQ(now->laterDate(later), later);
    EXPECT_EQ(later->earlierDate(now), now);

    auto same = ns::Date::withTimeIntervalSince1970(500 + ns::TimeIntervalSince1970);
    EXPECT_EQ(same->compare(*now), 0);
    EXPECT_TRUE(same->isEqual(now.get()));
    EXPECT_EQ(same->hash(), now->hash());
    EXPECT_EQ(now->earlierDate(same), now); // equal: the receiver
    EXPECT_EQ(now->laterDate(nullptr), now);
    EXPECT_FALSE(now->isEqual(later.get()));
    EXPECT_TRUE(ns::Date::withTimeIntervalSinceReferenceDate(0.0)->isEqual(
        ns::Date::withTimeIntervalSinceReferenceDate(-0.0).get()));
    EXPECT_EQ(ns::Date::withTimeIntervalSinceReferenceDate(0.0)->hash(),
              ns::Date::withTimeIntervalSinceReferenceDate(-0.0)->hash());
    EXPECT_EQ(ns::Date::distantPast()->compare(*now), -1);
    EXPECT_EQ(ns::Date::distantFuture()->compare(*now), 1);
    EXPECT_EQ(ns::Date::distantPast(), ns::Date::distantPast());
}

TEST(Date, DescriptionIsUTC) {
    auto desc = [](double t) { return ns::Date::withTimeIntervalSinceReferenceDate(t)->description(); };
    EXPECT_EQ(desc(0), "2001-01-01 00:00:00 +0000");
    EXPECT_EQ(desc(-1), "2000-12-31 23:59:59 +0000");
    EXPECT_EQ(desc(0.999), "2001-01-01 00:00:00 +0000"); // fractions are cut, not rounded
    EXPECT_EQ(desc(ns::ManualClock::DefaultStart), "2026-01-01 00:00:00 +0000");
    EXPECT_EQ(ns::Date::withTimeIntervalSince1970(0)->description(), "1970-01-01 00:00:00 +0000");
    EXPECT_EQ(ns::Date::withTimeIntervalSince1970(951782400 + 3723)->description(),
              "2000-02-29 01:02:03 +0000");
    EXPECT_EQ(ns::Date::withTimeIntervalSince1970(-12219292800)->description(), "1582-10-15 00:00:00 +0000");
    EXPECT_EQ(ns::Date::withTimeIntervalSince1970(-12219292801)->description(), "1582-10-04 23:59:59 +0000");
    EXPECT_EQ(ns::Date::distantPast()->description(), "0001-01-01 00:00:00 +0000");
    EXPECT_EQ(ns::Date::distantFuture()->description(), "4001-01-01 00:00:00 +0000");
    // Out-of-range and NaN times still describe something without failing.
    EXPECT_FALSE(desc(1e300).empty());
    EXPECT_FALSE(desc(std::numeric_limits<double>::quiet_NaN()).empty());
}

// ---- Data -----------------------------------------------------------------------------------

TEST(Data, Base64RoundTripAndRejection) {
    for (std::string bytes : {std::string(), std::string("f"), std::string("fo"), std::string("foo"),
                              std::string("\x00\xff\x10\x80", 4)}) {
        auto d = ns::Data::make(bytes);
        auto back = ns::Data::withBase64EncodedString(d->base64EncodedString());
        ASSERT_TRUE(back) << bytes;
        EXPECT_EQ(back->view(), bytes);
    }
    EXPECT_EQ(ns::Data::make(std::string("foob"))->base64EncodedString(), "Zm9vYg==");
    EXPECT_EQ(ns::Data::withBase64EncodedString("Zm9v\nYg==")->view(), "foob"); // white space skipped
    for (const char* bad : {"abc", "Zm9vYg=", "Zm9v=Yg=", "Zm9vY===", "Zm$v"})
        EXPECT_FALSE(ns::Data::withBase64EncodedString(bad)) << bad;
}

TEST(Data, DescriptionEqualityAndCopies) {
    const std::uint8_t raw[] = {0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0xff, 0x00, 0x80, 0x01};
    auto d = ns::Data::make(raw, 5);
    EXPECT_EQ(d->description(), "<0a0b0c0d 0e>");
    EXPECT_EQ(ns::Data::make(raw, 8)->description(), "<0a0b0c0d 0eff0080>");
    EXPECT_EQ(ns::Data::make(raw, 9)->description(), "<0a0b0c0d 0eff0080 01>");
    EXPECT_EQ(ns::Data::make("")->description(), "<>");
    EXPECT_EQ(ns::Data::make(nullptr, 0)->bytes(), nullptr);

    auto fromString = ns::Data::make(std::string_view("\x0a\x0b\x0c\x0d\x0e", 5));
    auto fromVector = ns::Data::make(std::vector<std::uint8_t>(raw, raw + 5));
    EXPECT_TRUE(d->isEqual(fromString.get()));
    EXPECT_TRUE(d->isEqualToData(*fromVector));
    EXPECT_EQ(d->hash(), fromVector->hash());
    EXPECT_FALSE(d->isEqual(ns::Data::make(raw, 4).get()));
    EXPECT_EQ(d->view(), std::string_view("\x0a\x0b\x0c\x0d\x0e", 5));

    EXPECT_EQ(d->copy(), d); // immutable: itself
    auto m = d->mutableCopy();
    EXPECT_NE(rt::Id(m), rt::Id(d));
    EXPECT_TRUE(m->isEqual(d.get()));
    EXPECT_TRUE(d->isEqual(m.get()));
    EXPECT_EQ(m->hash(), d->hash());
    m->appendBytes("x", 1);
    EXPECT_EQ(d->length(), 5u); // the original is untouched
    rt::Id frozen = m->copy();
    EXPECT_NE(frozen, rt::Id(m));
    EXPECT_TRUE(frozen->isMemberOfClass(ns::Data::staticClass()));
    m->setLength(0);
    EXPECT_EQ(static_cast<ns::Data*>(frozen.get())->length(), 6u);
    EXPECT_EQ(ns::Data::staticClass().name(), "NSData");
    EXPECT_EQ(m->getClass().name(), "NSMutableData");
}

TEST(Data, SubdataAndMutations) {
    auto d = ns::Data::make("abcdefgh");
    EXPECT_EQ(d->subdataWithRange({2, 3})->view(), "cde");
    EXPECT_EQ(d->subdataWithRange({8, 0})->length(), 0u);
    EXPECT_THROW(d->subdataWithRange({6, 3}), ns::Exception);
    EXPECT_THROW(d->subdataWithRange({9, 0}), ns::Exception);
    EXPECT_THROW(d->subdataWithRange({2, SIZE_MAX}), ns::Exception);

    auto m = ns::MutableData::make("abc");
    m->appendData(*ns::Data::make("de"));
    m->appendData(*m); // appending itself doubles it
    EXPECT_EQ(m->view(), "abcdeabcde");
    m->replaceBytesInRange({1, 3}, "XY", 2); // shrink
    EXPECT_EQ(m->view(), "aXYeabcde");
    m->replaceBytesInRange({0, 1}, "123", 3); // grow
    EXPECT_EQ(m->view(), "123XYeabcde");
    m->replaceBytesInRange({11, 0}, "!", 1); // at the end: appends
    EXPECT_EQ(m->view(), "123XYeabcde!");
    m->replaceBytesInRange({10, 50}, "?", 1); // the range runs past the end
    EXPECT_EQ(m->view(), "123XYeabcd?");
    m->replaceBytesInRange({0, 3}, m->bytes() + 8, 3); // from its own bytes
    EXPECT_EQ(m->view(), "cd?XYeabcd?");
    EXPECT_THROW(m->replaceBytesInRange({12, 0}, "a", 1), ns::Exception);

    m->setLength(4);
    EXPECT_EQ(m->view(), "cd?X");
    m->setLength(6);
    EXPECT_EQ(m->view(), std::string_view("cd?X\0\0", 6));
    m->resetBytesInRange({1, 2});
    EXPECT_EQ(m->view(), std::string_view("c\0\0X\0\0", 6));
    m->resetBytesInRange({5, 3}); // extends
    EXPECT_EQ(m->length(), 8u);
    EXPECT_EQ(m->description(), "<63000058 00000000>");
    EXPECT_THROW(m->resetBytesInRange({9, 1}), ns::Exception);
    EXPECT_THROW(m->resetBytesInRange({1, SIZE_MAX}), ns::Exception);
    EXPECT_EQ(m->length(), 8u);

    m->setData(*ns::Data::make("z"));
    EXPECT_EQ(m->view(), "z");
    EXPECT_EQ(ns::MutableData::withLength(3)->view(), std::string_view("\0\0\0", 3));
}

// ---- Error ----------------------------------------------------------------------------------

TEST(Error, LocalizedStringsAndFallback) {
    auto plain = ns::Error::make("FTDomain", -42);
    EXPECT_EQ(plain->domain()->utf8(), "FTDomain");
    EXPECT_EQ(plain->code(), -42);
    ASSERT_TRUE(plain->userInfo());
    EXPECT_EQ(plain->userInfo()->count(), 0u);
    EXPECT_EQ(plain->localizedDescription()->utf8(),
              "The operation couldn\u2019t be completed. (FTDomain error -42.)");
    EXPECT_FALSE(plain->localizedFailureReason());
    EXPECT_FALSE(plain->localizedRecoverySuggestion());
    EXPECT_FALSE(plain->underlyingError());
    EXPECT_EQ(
        plain->description(),
        "Error Domain=FTDomain Code=-42 \"The operation couldn\u2019t be completed. (FTDomain error -42.)\"");

    auto info = ns::MutableDictionary::make();
    info->setObjectForKey(ns::str("Disk full"), ns::LocalizedDescriptionKey);
    info->setObjectForKey(ns::str("No space left"), ns::LocalizedFailureReasonErrorKey);
    info->setObjectForKey(ns::str("Delete files"), ns::LocalizedRecoverySuggestionErrorKey);
    info->setObjectForKey(plain, ns::UnderlyingErrorKey);
    auto rich = ns::Error::make(ns::str("FTDomain"), 3, info);
    info->removeAllObjects(); // the error keeps its own copy
    EXPECT_EQ(rich->userInfo()->count(), 4u);
    EXPECT_EQ(rich->localizedDescription()->utf8(), "Disk full");
    EXPECT_EQ(rich->localizedFailureReason()->utf8(), "No space left");
    EXPECT_EQ(rich->localizedRecoverySuggestion()->utf8(), "Delete files");
    EXPECT_EQ(rich->underlyingError(), plain);
    EXPECT_EQ(rich->description().rfind("Error Domain=FTDomain Code=3 \"Disk full\" UserInfo={"
                                        "NSLocalizedDescription=Disk full, ",
                                        0),
              0u);

    // A description that is not a string falls back; a nil domain is the empty one.
    auto odd = ns::Error::make(
        "D", 1, ns::Dictionary::withPairs({{ns::str(ns::LocalizedDescriptionKey), ns::num(5)}}));
    EXPECT_EQ(odd->localizedDescription()->utf8(), "The operation couldn\u2019t be completed. (D error 1.)");
    EXPECT_EQ(ns::Error::make(rt::Ref<ns::String>(), 0)->domain()->utf8(), "");
}

TEST(Error, EqualityAndHash) {
    auto info = ns::Dictionary::withPairs({{ns::str("k"), ns::num(1)}});
    auto a = ns::Error::make("D", 1, info);
    auto b = ns::Error::make(ns::str("D"), 1, ns::Dictionary::withPairs({{ns::str("k"), ns::num(1.0)}}));
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(ns::Error::make("D", 2, info).get()));
    EXPECT_FALSE(a->isEqual(ns::Error::make("E", 1, info).get()));
    EXPECT_FALSE(a->isEqual(ns::Error::make("D", 1).get()));
    EXPECT_TRUE(ns::Error::make("D", 1)->isEqual(ns::Error::make("D", 1, ns::Dictionary::make()).get()));
    EXPECT_FALSE(a->isEqual(ns::str("D").get()));
    EXPECT_EQ(a->copy(), rt::Id(a));
    EXPECT_EQ(a->getClass().name(), "NSError");
}

// ---- Archiver -------------------------------------------------------------------------------

rt::Id roundTrip(const rt::Id& root) {
    auto data = ns::KeyedArchiver::archivedDataWithRootObject(root);
    EXPECT_TRUE(data);
    if (!data) return nullptr;
    rt::Ref<ns::Error> error;
    rt::Id back = ns::KeyedUnarchiver::unarchiveObjectWithData(data, &error);
    EXPECT_FALSE(error) << (error ? error->description() : "");
    return back;
}

template <class T> T* as(const rt::Id& obj) {
    return dynamic_cast<T*>(obj.get());
}

TEST(Archiver, RoundTripsEveryValueKind) {
    using K = ns::Number::Kind;
    std::vector<rt::Ref<ns::Number>> numbers = {ns::Number::withBool(true),
                                                ns::Number::withChar('x'),
                                                ns::Number::withShort(-300),
                                                ns::Number::withInt(7),
                                                ns::Number::withLong(-1234567890123),
                                                ns::Number::withLongLong(INT64_MIN),
                                                ns::Number::withUnsignedChar(200),
                                                ns::Number::withUnsignedShort(65535),
                                                ns::Number::withUnsignedInt(4000000000u),
                                                ns::Number::withUnsignedLong(UINT64_MAX),
                                                ns::Number::withUnsignedLongLong(1ull << 63),
                                                ns::Number::withFloat(1.5f),
                                                ns::Number::withDouble(-0.1)};
    std::vector<rt::Id> numberIds(numbers.begin(), numbers.end());
    struct Pair {
        int a;
        double b;
    } pair{3, 4.5};
    auto mutableArray = ns::MutableArray::withObjects({ns::str("m"), ns::Null::null()});
    auto mutableDict = ns::MutableDictionary::make();
    mutableDict->setObjectForKey(ns::num(1), "one");
    auto root = ns::Dictionary::withPairs({
        {ns::str("numbers"), ns::Array::make(numberIds)},
        {ns::str("ascii"), ns::str("plain text")},
        {ns::str("unicode \u00e9\U0001F600"), ns::str("caf\u00e9 \U0001F600")},
        {ns::str("lone"), ns::String::fromUTF16(std::u16string{u'a', char16_t(0xD800), u'b'})},
        {ns::str("data"), ns::Data::make(std::string_view("\0\x01\xff", 3))},
        {ns::str("mdata"), ns::MutableData::make("grow")},
        {ns::str("date"), ns::Date::withTimeIntervalSinceReferenceDate(123.456)},
        {ns::str("null"), ns::Null::null()},
        {ns::str("value"), ns::Value::withBytes(&pair, sizeof pair, "{Pair=id}")},
        {ns::str("marray"), mutableArray},
        {ns::str("mdict"), mutableDict},
        {ns::str("set"), ns::Set::withObjects({ns::num(1), ns::str("s")})},
        {ns::str("mset"), ns::MutableSet::withObjects({ns::num(2)})},
        {ns::num(42), ns::Array::withObjects({ns::Array::make(), ns::Dictionary::make()})},
    });

    rt::Id back = roundTrip(root);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(root.get())) << back->description();
    auto* dict = as<ns::Dictionary>(back);
    ASSERT_TRUE(dict);
    EXPECT_FALSE(as<ns::MutableDictionary>(back));

    auto* decodedNumbers = as<ns::Array>(dict->objectForKey("numbers"));
    ASSERT_TRUE(decodedNumbers);
    ASSERT_EQ(decodedNumbers->count(), numbers.size());
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        auto* n = as<ns::Number>(decodedNumbers->objectAtIndex(i));
        ASSERT_TRUE(n);
        EXPECT_EQ(n->kind(), numbers[i]->kind()) << i;
        EXPECT_EQ(n->objCType(), numbers[i]->objCType()) << i;
        EXPECT_TRUE(n->isEqual(numbers[i].get())) << i;
    }
    EXPECT_EQ(as<ns::Number>(decodedNumbers->objectAtIndex(0))->kind(), K::Bool);
    EXPECT_EQ(decodedNumbers->objectAtIndex(0), rt::Id(ns::Number::withBool(true))); // the shared YES

    auto lone = as<ns::String>(dict->objectForKey("lone"));
    ASSERT_TRUE(lone);
    EXPECT_EQ(lone->utf16(), (std::u16string{u'a', char16_t(0xD800), u'b'}));
    EXPECT_TRUE(as<ns::MutableData>(dict->objectForKey("mdata")));
    EXPECT_FALSE(as<ns::MutableData>(dict->objectForKey("data")));
    EXPECT_EQ(dict->objectForKey("null"), rt::Id(ns::Null::null()));
    auto* value = as<ns::Value>(dict->objectForKey("value"));
    ASSERT_TRUE(value);
    EXPECT_EQ(value->objCType(), "{Pair=id}");
    Pair p2{};
    ASSERT_TRUE(value->getValue(&p2, sizeof p2));
    EXPECT_EQ(p2.a, 3);
    EXPECT_EQ(p2.b, 4.5);
    EXPECT_TRUE(as<ns::MutableArray>(dict->objectForKey("marray")));
    EXPECT_TRUE(as<ns::MutableDictionary>(dict->objectForKey("mdict")));
    EXPECT_TRUE(as<ns::MutableSet>(dict->objectForKey("mset")));
    EXPECT_FALSE(as<ns::MutableSet>(dict->objectForKey("set")));
    EXPECT_FALSE(as<ns::MutableArray>(dict->objectForKey(ns::num(42))));

    // A nil root and a bare value archive too.
    auto nilData = ns::KeyedArchiver::archivedDataWithRootObject(nullptr);
    ASSERT_TRUE(nilData);
    rt::Ref<ns::Error> error = ns::Error::make("stale", 1);
    EXPECT_FALSE(ns::KeyedUnarchiver::unarchiveObjectWithData(nilData, &error));
    EXPECT_FALSE(error);
    EXPECT_TRUE(roundTrip(ns::num(2.5))->isEqual(ns::num(2.5).get()));
}

TEST(Archiver, SharedObjectsStayShared) {
    auto inner = ns::MutableArray::withObjects({ns::str("shared")});
    auto shape = rt::make<Shape>();
    shape->payload = inner;
    auto sameText = ns::str("twin"), otherText = ns::str("twin");
    auto root = ns::Array::withObjects({inner, shape, inner, shape, sameText, sameText, otherText});
    auto data = ns::KeyedArchiver::archivedDataWithRootObject(root);
    rt::Id back = roundTrip(root);
    auto* array = as<ns::Array>(back);
    ASSERT_TRUE(array);
    ASSERT_EQ(array->count(), 7u);
    EXPECT_EQ((*array)[0], (*array)[2]);
    EXPECT_EQ((*array)[1], (*array)[3]);
    EXPECT_EQ(as<Shape>((*array)[1])->payload, (*array)[0]);
    EXPECT_EQ((*array)[4], (*array)[5]);
    EXPECT_NE((*array)[4], (*array)[6]); // equal but distinct objects stay distinct
    // The shared array is written once: the archive holds its text once.
    ASSERT_TRUE(data);
    std::string_view bytes = data->view();
    EXPECT_EQ(bytes.find("shared"), bytes.rfind("shared"));
    as<ns::MutableArray>((*array)[0])->addObject(ns::num(1));
    EXPECT_EQ(as<ns::Array>(as<Shape>((*array)[1])->payload)->count(), 2u);
}

TEST(Archiver, CodingClassesAndReplacementObjects) {
    auto shape = rt::make<Shape>();
    shape->width = 2.25;
    shape->sides = -(1ll << 40);
    shape->filled = true;
    shape->name = "h\u00e9xagon";
    shape->payload = ns::Array::withObjects({Token::shared(), rt::make<Shape>()});
    rt::Id back = roundTrip(ns::Array::withObjects({shape, Token::shared()}));
    auto* array = as<ns::Array>(back);
    ASSERT_TRUE(array);
    auto* decoded = as<Shape>((*array)[0]);
    ASSERT_TRUE(decoded);
    EXPECT_NE(decoded, shape.get());
    EXPECT_EQ(decoded->getClass().name(), "FTValuesTestShape");
    EXPECT_EQ(decoded->width, 2.25);
    EXPECT_EQ(decoded->sides, -(1ll << 40));
    EXPECT_TRUE(decoded->filled);
    EXPECT_EQ(decoded->name, "h\u00e9xagon");
    EXPECT_TRUE(decoded->decodedWithEveryKey);
    // Numeric fields convert between kinds; absent keys give zero.
    EXPECT_EQ(decoded->sidesAsDouble, -static_cast<double>(1ll << 40));
    EXPECT_EQ(decoded->widthAsInt, 2);
    EXPECT_EQ(decoded->missing, 0);
    auto* payload = as<ns::Array>(decoded->payload);
    ASSERT_TRUE(payload);
    auto* empty = as<Shape>((*payload)[1]);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->payload, nullptr); // a nil object field decodes nil
    EXPECT_EQ(empty->name, "");
    // initWithCoder's result is the decoded object, for every reference to it.
    EXPECT_EQ((*payload)[0], rt::Id(Token::shared()));
    EXPECT_EQ((*array)[1], rt::Id(Token::shared()));

    auto strict = rt::make<Strict>();
    EXPECT_EQ(roundTrip(strict)->getClass().name(), "FTValuesTestStrict");

    // An initWithCoder that fails fails the whole decoding with its error.
    strict->withVersion = false;
    auto data = ns::KeyedArchiver::archivedDataWithRootObject(ns::Array::withObjects({strict}));
    ASSERT_TRUE(data);
    rt::Ref<ns::Error> error;
    EXPECT_FALSE(ns::KeyedUnarchiver::unarchiveObjectWithData(data, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain()->utf8(), "FTTestDomain");
    EXPECT_EQ(error->code(), 7);
}

TEST(Archiver, UnarchivableGraphsFailCleanly) {
    ns::CapturedLog log;
    auto opaque = rt::make<Opaque>();
    EXPECT_FALSE(ns::KeyedArchiver::archivedDataWithRootObject(ns::Array::withObjects({ns::num(1), opaque})));
    EXPECT_TRUE(log.contains("FTValuesTestOpaque"));
    EXPECT_FALSE(ns::KeyedArchiver::archivedDataWithRootObject(rt::make<Unadopted>()));

    // Cycles are refused, through collections and through Coding objects.
    auto loop = ns::MutableArray::make();
    loop->addObject(loop);
    EXPECT_FALSE(ns::KeyedArchiver::archivedDataWithRootObject(loop));
    loop->removeAllObjects();
    auto shape = rt::make<Shape>();
    shape->payload = ns::Array::withObjects({shape});
    EXPECT_FALSE(ns::KeyedArchiver::archivedDataWithRootObject(shape));
    shape->payload = nullptr;
    EXPECT_EQ(log.lines().size(), 4u);

    // Nesting: ArchiveMaxDepth levels archive, one more does not.
    rt::Id nested = ns::num(0);
    for (unsigned i = 1; i < ns::ArchiveMaxDepth; ++i)
        nested = ns::Array::withObjects({nested});
    EXPECT_TRUE(roundTrip(nested)->isEqual(nested.get()));
    EXPECT_FALSE(ns::KeyedArchiver::archivedDataWithRootObject(ns::Array::withObjects({nested})));
}

// Hand-made archives: one class, `records` as (payload) with that class.
std::string archiveBytes(std::string_view className, std::uint32_t root,
                         const std::vector<std::vector<std::uint32_t>>& payloads) {
    std::string s = "FTKA";
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    s += std::string("\x01\0\0\0", 4);
    u32(1);
    u32(static_cast<std::uint32_t>(className.size()));
    s += className;
    u32(static_cast<std::uint32_t>(payloads.size()));
    u32(root);
    for (const auto& words : payloads) {
        u32(0);
        u32(static_cast<std::uint32_t>(words.size() * 4));
        for (std::uint32_t w : words)
            u32(w);
    }
    return s;
}

void expectCorrupt(const std::string& bytes, const char* what) {
    rt::Ref<ns::Error> error;
    rt::Id obj = ns::KeyedUnarchiver::unarchiveObjectWithData(ns::Data::make(bytes), &error);
    EXPECT_FALSE(obj) << what;
    ASSERT_TRUE(error) << what;
    EXPECT_EQ(error->domain()->utf8(), "NSCocoaErrorDomain") << what;
    EXPECT_EQ(error->code(), 4864) << what;
}

// Data from outside the process builds only what the caller names (and the value classes).
TEST(Archiver, OnlyAllowedClassesAreBuilt) {
    auto shape = rt::make<Shape>();
    shape->payload = ns::Array::withObjects({ns::str("x"), ns::num(2), ns::Dictionary::make()});
    auto withToken =
        ns::KeyedArchiver::archivedDataWithRootObject(ns::Array::withObjects({shape, Token::shared()}));
    auto plain =
        ns::KeyedArchiver::archivedDataWithRootObject(ns::Array::withObjects({ns::str("v"), ns::num(1)}));
    ASSERT_TRUE(withToken && plain);

    rt::Ref<ns::Error> error;
    EXPECT_FALSE(ns::KeyedUnarchiver::unarchivedObjectOfClasses({&Shape::staticClass()}, withToken, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 4864);
    EXPECT_NE(error->description().find("FTValuesTestToken"), std::string::npos);
    error = nullptr;
    const std::int64_t before = rt::liveObjectCount();
    Shape::built = 0;
    EXPECT_FALSE(ns::KeyedUnarchiver::unarchivedObjectOfClasses({}, withToken));
    EXPECT_EQ(Shape::built, 0); // refused before anything was built
    EXPECT_EQ(rt::liveObjectCount(), before);

    auto back = rt::cast<ns::Array>(ns::KeyedUnarchiver::unarchivedObjectOfClasses(
        {&Shape::staticClass(), &Token::staticClass()}, withToken, &error));
    ASSERT_TRUE(back) << (error ? error->description() : "");
    EXPECT_TRUE(as<Shape>((*back)[0]));
    EXPECT_EQ((*back)[1], Token::shared());
    // Value classes need no naming; rt::Object names every class.
    EXPECT_EQ(ns::KeyedUnarchiver::unarchivedObjectOfClasses({}, plain)->description(),
              ns::Array::withObjects({ns::str("v"), ns::num(1)})->description());
    EXPECT_TRUE(ns::KeyedUnarchiver::unarchivedObjectOfClasses({&rt::Object::staticClass()}, withToken));
}

TEST(Archiver, CorruptDataFailsWithoutCrashing) {
    // Sanity of the hand-made format: an array holding an empty array.
    rt::Id ok = ns::KeyedUnarchiver::unarchiveObjectWithData(
        ns::Data::make(archiveBytes("NSArray", 1, {{1, 2}, {0}})));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->description(), ns::Array::withObjects({ns::Array::make()})->description());

    expectCorrupt(archiveBytes("NSArray", 1, {{1, 1}}), "an array inside itself");
    expectCorrupt(archiveBytes("NSArray", 1, {{1, 2}, {1, 1}}), "a two-step cycle");
    expectCorrupt(archiveBytes("NSArray", 1, {{0xffffffff}}), "a huge count");
    expectCorrupt(archiveBytes("NSArray", 1, {{1, 9}}), "a reference past the table");
    expectCorrupt(archiveBytes("NSArray", 1, {{1, 0}}), "nil in an array");
    expectCorrupt(archiveBytes("NSArray", 1, {{0, 0}}), "trailing payload bytes");
    expectCorrupt(archiveBytes("FTValuesTestOpaque", 1, {{0}}), "a class that is not Coding");
    const std::int64_t before = rt::liveObjectCount();
    expectCorrupt(archiveBytes("FTValuesTestUnadopted", 1, {{0}}), "a class that does not adopt NSCoding");
    EXPECT_EQ(rt::liveObjectCount(), before); // refused before anything was built
    expectCorrupt(archiveBytes("FTNoSuchClass", 1, {{0}}), "an unknown class");
    expectCorrupt(archiveBytes("NSArray", 2, {{0}}), "a root past the table");
    {
        std::vector<std::vector<std::uint32_t>> chain;
        for (std::uint32_t i = 0; i < 5000; ++i)
            chain.push_back({1, i + 2});
        chain.push_back({0});
        expectCorrupt(archiveBytes("NSArray", 1, chain), "nesting past the limit");
    }
    expectCorrupt("", "empty data");
    expectCorrupt("bplist00", "not an archive");
    rt::Ref<ns::Error> error;
    EXPECT_FALSE(ns::KeyedUnarchiver::unarchiveObjectWithData(nullptr, &error));
    EXPECT_TRUE(error && error->code() == 4864);

    // Every truncation, and every byte flipped, of an archive with every kind of record.
    auto shape = rt::make<Shape>();
    shape->name = "n";
    shape->payload = Token::shared();
    auto root = ns::Dictionary::withPairs({
        {ns::str("a"), ns::Array::withObjects({ns::num(1), ns::num(2.5), ns::str("\u00e9"), shape})},
        {ns::str("d"), ns::Data::make("xyz")},
        {ns::str("t"), ns::Date::withTimeIntervalSinceReferenceDate(1)},
        {ns::str("s"), ns::MutableSet::withObjects({ns::Null::null(), shape})},
        {ns::str("v"), ns::Value::with(7)},
    });
    auto data = ns::KeyedArchiver::archivedDataWithRootObject(root);
    ASSERT_TRUE(data);
    std::string bytes(data->view());
    for (std::size_t n = 0; n < bytes.size(); ++n)
        expectCorrupt(bytes.substr(0, n), "truncated");
    expectCorrupt(bytes + "x", "one byte too many");
    int decoded = 0, failed = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        for (unsigned char mask : {0x01, 0x80, 0xff}) {
            std::string flipped = bytes;
            flipped[i] = static_cast<char>(flipped[i] ^ mask);
            rt::Ref<ns::Error> e;
            rt::Id obj = ns::KeyedUnarchiver::unarchiveObjectWithData(ns::Data::make(flipped), &e);
            EXPECT_TRUE(!obj || !e);
            (obj ? decoded : failed)++;
        }
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(decoded, 0); // flips inside values (digits of a double, text) still decode
}

} // namespace
