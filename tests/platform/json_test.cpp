// JSON and XML property-list serialization.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/data.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/json.h"
#include "platform/foundation/null.h"
#include "platform/foundation/property_list.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"

namespace {

using ns::JSONReadingOptions;
using ns::JSONSerialization;
using ns::JSONWritingOptions;
using ns::PropertyListSerialization;
using Kind = ns::Number::Kind;

rt::Ref<ns::Number> numberAt(const rt::Ref<ns::Dictionary>& d, const char* key) {
    return rt::cast<ns::Number>(d->objectForKey(key));
}

std::string debugOf(const rt::Ref<ns::Error>& e) {
    return e ? e->userInfo()->objectForKey(ns::DebugDescriptionErrorKey)->description() : "(no error)";
}

std::string write(const rt::Id& obj, JSONWritingOptions options = JSONWritingOptions::None) {
    rt::Ref<ns::Error> error;
    auto text = JSONSerialization::stringWithJSONObject(obj, options, &error);
    EXPECT_TRUE(text.has_value()) << debugOf(error);
    return text.value_or("");
}

TEST(JSONRead, ValueKindsAndNumbers) {
    auto d = rt::cast<ns::Dictionary>(JSONSerialization::JSONObjectWithData(
        R"({"i":-42,"big":9223372036854775807,"u":18446744073709551615,"huge":123456789012345678901234567890,
            "f":1.0,"e":1e308,"nz":-0.0,"t":true,"n":null,"s":"a\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00","raw":"é😀",
            "status":"1","a":[[],{}]})"));
    ASSERT_TRUE(d);
    EXPECT_EQ(numberAt(d, "i")->kind(), Kind::LongLong);
    EXPECT_EQ(numberAt(d, "i")->longLongValue(), -42);
    EXPECT_EQ(numberAt(d, "big")->longLongValue(), std::numeric_limits<long long>::max());
    EXPECT_EQ(numberAt(d, "u")->kind(), Kind::ULongLong);
    EXPECT_EQ(numberAt(d, "u")->unsignedLongLongValue(), std::numeric_limits<unsigned long long>::max());
    EXPECT_EQ(numberAt(d, "huge")->kind(), Kind::Double);
    EXPECT_DOUBLE_EQ(numberAt(d, "huge")->doubleValue(), 1.2345678901234568e29);
    EXPECT_EQ(numberAt(d, "f")->kind(), Kind::Double);
    EXPECT_EQ(numberAt(d, "e")->doubleValue(), 1e308);
    EXPECT_TRUE(std::signbit(numberAt(d, "nz")->doubleValue()));
    EXPECT_EQ(d->objectForKey("t"), ns::num(true));
    EXPECT_EQ(d->objectForKey("n"), ns::Null::null());
    auto s = rt::cast<ns::String>(d->objectForKey("s"));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->utf8(), "a\"\\/\b\f\n\r\t\u00e9\U0001F600");
    EXPECT_EQ(s->length(), 12u); // the emoji is two UTF-16 units
    EXPECT_TRUE(rt::cast<ns::String>(d->objectForKey("raw"))->isEqualToString("é😀"));
    // Strings that look like numbers stay strings; callers convert them.
    auto status = rt::cast<ns::String>(d->objectForKey("status"));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->integerValue(), 1);
    auto a = rt::cast<ns::Array>(d->objectForKey("a"));
    ASSERT_TRUE(a && a->count() == 2);
    EXPECT_TRUE(rt::cast<ns::Array>((*a)[0]) && rt::cast<ns::Dictionary>((*a)[1]));
}

TEST(JSONRead, KeyOrderDuplicatesAndMutability) {
    auto d = rt::cast<ns::Dictionary>(JSONSerialization::JSONObjectWithData(R"({"b":1,"a":2,"c":3,"a":4})"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->allKeys()->componentsJoinedByString(",")->utf8(), "b,a,c");
    EXPECT_EQ(numberAt(d, "a")->longLongValue(), 4);
    EXPECT_FALSE(rt::cast<ns::MutableDictionary>(d));

    auto m = rt::cast<ns::MutableDictionary>(JSONSerialization::JSONObjectWithData(
        R"({"list":[{"k":1}]})", JSONReadingOptions::MutableContainers | JSONReadingOptions::MutableLeaves));
    ASSERT_TRUE(m);
    auto list = rt::cast<ns::MutableArray>(m->objectForKey("list"));
    ASSERT_TRUE(list);
    ASSERT_TRUE(rt::cast<ns::MutableDictionary>((*list)[0]));
    list->addObject(ns::str("more"));
    m->setObjectForKey(ns::num(2), "x");
    EXPECT_EQ(write(m), R"({"list":[{"k":1},"more"],"x":2})");
}

// A repeated key keeps its first place and its last value whatever its form: the same text, an
// escaped spelling of it, a key too long to be shared between objects, or one of more keys than
// are shared.
TEST(JSONRead, RepeatedKeysInEveryFormKeepTheirFirstPlace) {
    const std::string longKey(80, 'k');
    const std::string text = R"({"a":1,"\u0061":2,"é":3,"\u00e9":4,")" + longKey + R"(":5,")" + longKey +
                             R"(":6,"b":7,"a":8})";
    for (auto options : {JSONReadingOptions::None, JSONReadingOptions::MutableContainers}) {
        auto d = rt::cast<ns::Dictionary>(JSONSerialization::JSONObjectWithData(text, options));
        ASSERT_TRUE(d);
        EXPECT_EQ(d->count(), 4u);
        EXPECT_EQ(write(d), R"({"a":8,"é":4,")" + longKey + R"(":6,"b":7})");
        EXPECT_EQ(bool(rt::cast<ns::MutableDictionary>(d)), options == JSONReadingOptions::MutableContainers);
    }

    std::string many = "{";
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < 5000; ++i)
            many += (many.size() > 1 ? ",\"k" : "\"k") + std::to_string(i) + "\":" + std::to_string(pass * 10000 + i);
    many += "}";
    auto d = rt::cast<ns::Dictionary>(JSONSerialization::JSONObjectWithData(many));
    ASSERT_TRUE(d);
    ASSERT_EQ(d->count(), 5000u);
    auto keys = d->allKeys();
    for (int i = 0; i < 5000; i += 7) {
        EXPECT_EQ((*keys)[static_cast<std::size_t>(i)]->description(), "k" + std::to_string(i));
        EXPECT_EQ(numberAt(d, ("k" + std::to_string(i)).c_str())->longLongValue(), 10000 + i);
    }
}

// Keys that differ only in trailing zero bytes, past the first word or in one byte stay distinct;
// the same key in two objects is one shared String. Values too stay what they are.
TEST(JSONRead, KeysThatDifferInAnyByteStayDistinct) {
    const std::vector<std::string> keys{"",         std::string("\0", 1), "a",          std::string("a\0", 2),
                                        std::string("a\0\0", 3), "abcdefgh", std::string("abcdefgh\0", 9),
                                        "abcdefghi", "abcdefghijklmnop", "abcdefghijklmnoq",
                                        "abcdefgzijklmnop", "bacdefghijklmnop"};
    auto escaped = [](const std::string& key) {
        std::string out;
        for (char c : key)
            out += c == '\0' ? std::string("\\u0000") : std::string(1, c);
        return out;
    };
    std::string text = "[{";
    for (std::size_t i = 0; i < keys.size(); ++i)
        text += (i ? ",\"" : "\"") + escaped(keys[i]) + "\":" + std::to_string(i);
    text += "},{\"abcdefgh\":1,\"a\":2}]";
    auto list = rt::cast<ns::Array>(JSONSerialization::JSONObjectWithData(text));
    ASSERT_TRUE(list);
    auto d = rt::cast<ns::Dictionary>((*list)[0]);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->count(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        auto n = rt::cast<ns::Number>(d->objectForKey(std::string_view(keys[i])));
        ASSERT_TRUE(n) << i;
        EXPECT_EQ(n->longLongValue(), static_cast<long long>(i)) << i;
    }
    auto second = rt::cast<ns::Dictionary>((*list)[1]);
    ASSERT_TRUE(second);
    EXPECT_EQ((*d->allKeys())[5].get(), (*second->allKeys())[0].get());
    EXPECT_EQ((*d->allKeys())[2].get(), (*second->allKeys())[1].get());

    // From object to object a key comes at another place, another key at the same place, or the
    // same key twice.
    const char* const orders =
        R"([{"a":1,"bb":2},{"bb":3,"a":4},{"a":5,"b":6},{"a":7,"a":8},{"b":9},{"a":10,"bb":11}])";
    EXPECT_EQ(write(JSONSerialization::JSONObjectWithData(orders)),
              R"([{"a":1,"bb":2},{"bb":3,"a":4},{"a":5,"b":6},{"a":8},{"b":9},{"a":10,"bb":11}])");

    // The same texts as values, many times over and among a thousand others: each reads as its own.
    std::vector<std::string> values;
    for (int round = 0; round < 3; ++round) {
        for (const auto& key : keys)
            values.push_back(key);
        for (int i = 0; i < 1000; ++i)
            values.push_back("v" + std::to_string((i * 7919 + round) % 1500));
    }
    std::string array = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        array += (i ? ",\"" : "\"") + escaped(values[i]) + "\"";
    array += "]";
    auto read = rt::cast<ns::Array>(JSONSerialization::JSONObjectWithData(array));
    ASSERT_TRUE(read);
    ASSERT_EQ(read->count(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_TRUE(rt::cast<ns::String>((*read)[i])->isEqualToString(values[i])) << i;
}

// Values taken from a document outlive it while later documents are read into the memory the rest
// of it left; a mutable dictionary taken out grows past the room it was read with. What the
// document shared (keys, repeated values, null, true, small integers) ends with exact counts.
TEST(JSONRead, ValuesTakenFromADocumentOutliveIt) {
    const std::int64_t liveBefore = rt::liveObjectCount();
    std::string text = "[";
    for (int i = 0; i < 2000; ++i)
        text += (i ? "," : "") + std::string(R"({"key":"same","n":null,"t":true,"i":7,"name":"item )") +
                std::to_string(i) + "\"}";
    text += "]";
    rt::Ref<ns::MutableDictionary> kept;
    rt::Id key, same, name;
    {
        auto list = rt::cast<ns::Array>(
            JSONSerialization::JSONObjectWithData(text, JSONReadingOptions::MutableContainers));
        ASSERT_TRUE(list);
        kept = rt::cast<ns::MutableDictionary>((*list)[1234]);
        ASSERT_TRUE(kept);
        key = (*kept->allKeys())[0];
        same = kept->objectForKey("key");
        name = kept->objectForKey("name");
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(JSONSerialization::JSONObjectWithData(text));
    for (const rt::Object* held : {key.get(), same.get(), name.get()})
        EXPECT_EQ(held->retainCount(), 2u) << held->description(); // here and in the dictionary
    for (int i = 0; i < 40; ++i)
        kept->setObjectForKey(ns::num(i), "k" + std::to_string(i));
    kept->removeObjectForKey("n");
    std::string expected = R"({"key":"same","t":true,"i":7,"name":"item 1234")";
    for (int i = 0; i < 40; ++i)
        expected += ",\"k" + std::to_string(i) + "\":" + std::to_string(i);
    EXPECT_EQ(write(kept), expected + "}");
    kept = nullptr;
    for (const rt::Object* held : {key.get(), same.get(), name.get()})
        EXPECT_EQ(held->retainCount(), 1u) << held->description();
    key = same = name = nullptr;
    EXPECT_EQ(rt::liveObjectCount(), liveBefore);
}

// A document of `records` records, past the size whose parser every thread kept before; `seed`
// makes its values its own.
std::string largeDocument(int records, int seed) {
    std::string s = "[";
    for (int i = 0; i < records; ++i) {
        if (i) s += ',';
        s += "{\"id\":" + std::to_string(i * seed) + ",\"name\":\"item " + std::to_string(seed) + "-" +
             std::to_string(i) + "\",\"price\":" + std::to_string(i % 97) + "." + std::to_string(seed % 10) +
             ",\"tags\":[\"t" + std::to_string(i % 5) + "\",null,true],\"seed" + std::to_string(seed) +
             "\":{\"n\":" + std::to_string(seed) + "}}";
    }
    return s + "]";
}

// Trees read on one thread are let go on others while every thread goes on reading: the memory
// they were read into is counted back exactly, whichever thread frees it.
TEST(JSONRead, TreesLetGoOnOtherThreads) {
    const std::string doc = largeDocument(500, 3);
    const rt::Id expected = JSONSerialization::JSONObjectWithData(doc);
    const std::int64_t liveBefore = rt::liveObjectCount();
    std::mutex lock;
    std::vector<rt::Id> handed; // trees waiting for another thread to let them go
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                rt::Id tree = JSONSerialization::JSONObjectWithData(doc);
                if (!tree || !tree->isEqual(expected.get())) ++wrong;
                rt::Id older;
                {
                    std::lock_guard g(lock);
                    handed.push_back(std::move(tree));
                    if (handed.size() > 3) {
                        older = std::move(handed.front());
                        handed.erase(handed.begin());
                    }
                }
            }
        });
    for (auto& t : threads)
        t.join();
    handed.clear();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_TRUE(JSONSerialization::JSONObjectWithData(doc)->isEqual(expected.get()));
    EXPECT_EQ(rt::liveObjectCount(), liveBefore);
}

// The parser each thread keeps between reads serves one read at a time on its own thread, and
// reads right after a failure, a larger document or a smaller one.
TEST(JSONRead, TheParserKeptPerThreadReadsEveryDocumentWhole) {
    std::vector<std::string> docs;
    std::vector<rt::Id> expected;
    for (int seed = 1; seed <= 4; ++seed) {
        docs.push_back(largeDocument(1000 * seed, seed));
        ASSERT_GT(docs.back().size(), std::size_t{64} << 10);
        expected.push_back(JSONSerialization::JSONObjectWithData(docs.back()));
        auto a = rt::cast<ns::Array>(expected.back());
        ASSERT_TRUE(a);
        ASSERT_EQ(a->count(), std::size_t(1000 * seed));
        auto last = rt::cast<ns::Dictionary>(a->lastObject());
        EXPECT_EQ(last->objectForKey("name")->description(),
                  "item " + std::to_string(seed) + "-" + std::to_string(1000 * seed - 1));
    }

    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 8; ++i) {
                const std::size_t which = static_cast<std::size_t>(t + i) % docs.size();
                rt::Id got = JSONSerialization::JSONObjectWithData(docs[which]);
                if (!got || !got->isEqual(expected[which].get())) ++wrong;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);

    // Largest first, then a failure, then smaller documents and one read a second time (its
    // integers past 64 bits).
    rt::Ref<ns::Error> error;
    EXPECT_TRUE(JSONSerialization::JSONObjectWithData(docs[3])->isEqual(expected[3].get()));
    std::string broken = docs[2];
    broken[broken.size() / 2] = '}';
    EXPECT_FALSE(JSONSerialization::JSONObjectWithData(broken, JSONReadingOptions::None, &error));
    EXPECT_NE(debugOf(error).find("around line 1"), std::string::npos) << debugOf(error);
    EXPECT_TRUE(JSONSerialization::JSONObjectWithData(docs[0])->isEqual(expected[0].get()));
    std::string wide = docs[1];
    wide.insert(wide.size() - 1, ",123456789012345678901234567890");
    auto widened = rt::cast<ns::Array>(JSONSerialization::JSONObjectWithData(wide, JSONReadingOptions::None, &error));
    ASSERT_TRUE(widened) << debugOf(error);
    EXPECT_EQ(widened->count(), rt::cast<ns::Array>(expected[1])->count() + 1);
    EXPECT_DOUBLE_EQ(rt::cast<ns::Number>(widened->lastObject())->doubleValue(), 1.2345678901234568e29);
    EXPECT_TRUE(JSONSerialization::JSONObjectWithData(docs[1])->isEqual(expected[1].get()));
    EXPECT_TRUE(JSONSerialization::JSONObjectWithData("{\"small\":[1]}")->isEqual(
        ns::Dictionary::withPairs({{ns::str("small"), ns::Array::withObjects({ns::num(1LL)})}}).get()));
}

TEST(JSONRead, Fragments) {
    rt::Ref<ns::Error> error;
    EXPECT_FALSE(JSONSerialization::JSONObjectWithData("  42", JSONReadingOptions::None, &error));
    EXPECT_NE(debugOf(error).find("fragments"), std::string::npos);
    EXPECT_NE(debugOf(error).find("column 3"), std::string::npos);
    auto n = rt::cast<ns::Number>(
        JSONSerialization::JSONObjectWithData("42", JSONReadingOptions::FragmentsAllowed));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->kind(), Kind::LongLong);
    EXPECT_EQ(JSONSerialization::JSONObjectWithData("null", JSONReadingOptions::FragmentsAllowed),
              ns::Null::null());
    // A byte order mark is skipped.
    EXPECT_TRUE(JSONSerialization::JSONObjectWithData(ns::Data::make(std::string_view("\xEF\xBB\xBF[1]"))));
}

TEST(JSONRead, MalformedInputIsAnErrorWithAPlace) {
    struct Case {
        std::string text;
        std::string expected; // part of the debug description
    };
    const std::vector<Case> cases = {
        {"", "No value"},
        {"[1,2", "end of file while parsing an array"},
        {R"({"a":)", "Unexpected end of file"},
        {R"(["abc)", "Unterminated string around line 1, column 2."},
        {"[1] x", "Garbage at end around line 1, column 5."},
        {"[1,]", "Invalid value around line 1, column 4."},
        {R"({"a" 1})", "Expected ':'"},
        {R"({"a":1,})", "Expected a string key"},
        {"[1 2]", "Expected ',' or ']'"},
        {R"(["\q"])", "Invalid escape sequence in a string around line 1, column 3."},
        {R"(["\u12"])", "Invalid \\u escape"},
        {R"(["\ud800"])", "Unpaired high surrogate"},
        {"[\"\xff\"]", "Invalid UTF-8 in a string around line 1, column 3."},
        {"[\"\xc0\xaf\"]", "Invalid UTF-8"}, // overlong "/"
        {"[\"a\x01\"]", "Unescaped control character"},
        {"[01]", "leading zero"},
        {"[1.]", "Invalid number"},
        {"[tru]", "Invalid value"},
        {"[1e309]", "Number out of range"},
        {"[\n  1,\n  x\n]", "Invalid value around line 3, column 3."},
        {std::string(10000, '['), "Too many nested arrays or dictionaries around line 1, column 1025."},
    };
    for (const Case& c : cases) {
        rt::Ref<ns::Error> error;
        EXPECT_FALSE(JSONSerialization::JSONObjectWithData(c.text, JSONReadingOptions::None, &error))
            << c.text;
        ASSERT_TRUE(error) << c.text;
        EXPECT_EQ(error->domain()->utf8(), ns::CocoaErrorDomain);
        EXPECT_EQ(error->code(), 3840);
        EXPECT_NE(debugOf(error).find(c.expected), std::string::npos) << c.text << " -> " << debugOf(error);
    }
    // Closed deep nesting is refused too, and 1024 levels are still fine.
    std::string deep = std::string(10000, '[') + std::string(10000, ']');
    EXPECT_FALSE(JSONSerialization::JSONObjectWithData(deep));
    EXPECT_TRUE(JSONSerialization::JSONObjectWithData(std::string(1024, '[') + std::string(1024, ']')));
    rt::Ref<ns::Error> error;
    EXPECT_FALSE(
        JSONSerialization::JSONObjectWithData(rt::Ref<ns::Data>(), JSONReadingOptions::None, &error));
    EXPECT_EQ(error->code(), 3840);
    // Empty text with no storage behind it (a null pointer) is an empty document, not a copy from
    // nowhere (the sanitizer build checks).
    for (std::string_view nothing : {std::string_view(), ns::Data::make(std::string_view())->view()}) {
        error = nullptr;
        EXPECT_FALSE(JSONSerialization::JSONObjectWithData(nothing, JSONReadingOptions::FragmentsAllowed, &error));
        ASSERT_TRUE(error);
        EXPECT_NE(debugOf(error).find("No value"), std::string::npos) << debugOf(error);
    }
}

TEST(JSONWrite, EscapingAndNumbers) {
    auto d = ns::MutableDictionary::make();
    d->setObjectForKey(ns::str("q\"b\\s/c\x01\b\f\n\r\t\x1f é"), "s");
    d->setObjectForKey(ns::num(std::numeric_limits<long long>::min()), "min");
    d->setObjectForKey(ns::num(std::numeric_limits<unsigned long long>::max()), "umax");
    d->setObjectForKey(ns::num(0.1), "d");
    d->setObjectForKey(ns::num(1.0), "one");
    d->setObjectForKey(ns::num(-0.0), "nz");
    d->setObjectForKey(ns::num(1e308), "e");
    d->setObjectForKey(ns::num(0.1f), "f");
    d->setObjectForKey(ns::num(false), "b");
    d->setObjectForKey(ns::Null::null(), "n");
    EXPECT_EQ(write(d), R"({"s":"q\"b\\s\/c\u0001\b\f\n\r\t\u001f é","min":-9223372036854775808,)"
                        R"("umax":18446744073709551615,"d":0.1,"one":1.0,"nz":-0.0,"e":1e+308,"f":0.1,)"
                        R"("b":false,"n":null})");
    EXPECT_EQ(write(ns::Array::withObjects({ns::str("a/b")}), JSONWritingOptions::WithoutEscapingSlashes),
              R"(["a/b"])");

    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        rt::Ref<ns::Error> error;
        EXPECT_FALSE(JSONSerialization::dataWithJSONObject(ns::Array::withObjects({ns::num(bad)}),
                                                           JSONWritingOptions::None, &error));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), 3851);
        EXPECT_NE(debugOf(error).find("Invalid number value"), std::string::npos);
    }
}

// Each thread writes into space it keeps between writes: a text is exactly its own after a longer
// one, on any thread. Keys written again (the same String in many objects) read the same each
// time, short or long, plain or escaped.
TEST(JSONWrite, EveryTextIsExactlyItsOwnAfterLongerOnes) {
    const std::string longKey(70, 'k');
    auto record = [&](int i) {
        return ns::Dictionary::withPairs({{ns::str("id"), ns::num(i)},
                                          {ns::str("q\"uote"), ns::str("v" + std::to_string(i))},
                                          {ns::str(longKey), ns::num(i * 0.5)}});
    };
    std::vector<rt::Id> big;
    for (int i = 0; i < 3000; ++i)
        big.push_back(record(i));
    const auto bigArray = ns::Array::make(big);
    std::string expectedBig = "[";
    for (int i = 0; i < 3000; ++i) {
        expectedBig += std::string(i ? "," : "") + "{\"id\":" + std::to_string(i) + ",\"q\\\"uote\":\"v" +
                       std::to_string(i) + "\",\"" + longKey + "\":" + write(ns::num(i * 0.5), JSONWritingOptions::FragmentsAllowed) + "}";
    }
    expectedBig += "]";
    const auto small = ns::Array::withObjects({record(7)});
    const std::string expectedSmall = R"([{"id":7,"q\"uote":"v7",")" + longKey + R"(":3.5}])";

    EXPECT_EQ(write(bigArray), expectedBig);
    EXPECT_EQ(write(small), expectedSmall);
    EXPECT_EQ(std::string(JSONSerialization::dataWithJSONObject(small)->view()), expectedSmall);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 6; ++i) {
                const bool large = (t + i) % 2 == 0;
                auto text = JSONSerialization::stringWithJSONObject(large ? rt::Id(bigArray) : rt::Id(small));
                if (!text || *text != (large ? expectedBig : expectedSmall)) ++wrong;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(JSONWrite, PrettyAndSortedKeys) {
    auto doc =
        ns::Dictionary::withPairs({{ns::str("b"), ns::Array::withObjects({ns::num(true), ns::Null::null()})},
                                   {ns::str("a"), ns::num(1)},
                                   {ns::str("c"), ns::Dictionary::make()}});
    EXPECT_EQ(write(doc, JSONWritingOptions::PrettyPrinted),
              "{\n  \"b\" : [\n    true,\n    null\n  ],\n  \"a\" : 1,\n  \"c\" : {}\n}");
    EXPECT_EQ(write(doc, JSONWritingOptions::SortedKeys), R"({"a":1,"b":[true,null],"c":{}})");

    // UTF-16 order: U+1F600 (a surrogate pair, D83D...) sorts before U+FF21, unlike UTF-8 byte order.
    auto one = ns::Dictionary::withPairs(
        {{ns::str("\uFF21"), ns::num(1)}, {ns::str("\U0001F600"), ns::num(2)}, {ns::str("Z"), ns::num(3)}});
    auto two = ns::Dictionary::withPairs(
        {{ns::str("Z"), ns::num(3)}, {ns::str("\U0001F600"), ns::num(2)}, {ns::str("\uFF21"), ns::num(1)}});
    EXPECT_EQ(write(one, JSONWritingOptions::SortedKeys), "{\"Z\":3,\"\U0001F600\":2,\"\uFF21\":1}");
    EXPECT_EQ(write(two, JSONWritingOptions::SortedKeys), write(one, JSONWritingOptions::SortedKeys));
}

TEST(JSONWrite, UnsupportedObjectsAreErrors) {
    auto expectError = [](const rt::Id& obj, const std::string& expected,
                          JSONWritingOptions options = JSONWritingOptions::None) {
        rt::Ref<ns::Error> error;
        EXPECT_FALSE(JSONSerialization::dataWithJSONObject(obj, options, &error));
        EXPECT_NE(debugOf(error).find(expected), std::string::npos) << debugOf(error);
        EXPECT_FALSE(JSONSerialization::isValidJSONObject(obj));
    };
    expectError(ns::Array::withObjects({ns::Date::withTimeIntervalSinceReferenceDate(0)}), "NSDate");
    expectError(ns::Dictionary::withPairs({{ns::num(1), ns::str("x")}}), "keys must be strings");
    expectError(ns::str("x"), "Invalid top-level type");
    expectError(nullptr, "Invalid top-level type");
    EXPECT_EQ(write(ns::str("x"), JSONWritingOptions::FragmentsAllowed), "\"x\"");
    EXPECT_TRUE(JSONSerialization::isValidJSONObject(ns::Array::make()));

    auto loop = ns::MutableArray::make();
    loop->addObject(loop);
    expectError(loop, "Too many nested");
    loop->removeAllObjects();
}

TEST(JSONRoundTrip, EveryKind) {
    auto inner = ns::Dictionary::withPairs(
        {{ns::str("ключ"), ns::str("\"\\/\n\t\x02 日本 😀")}, {ns::str(""), ns::Array::make()}});
    auto doc = ns::Array::withObjects(
        {ns::num(0LL), ns::num(-1LL), ns::num(std::numeric_limits<long long>::min()),
         ns::num(std::numeric_limits<unsigned long long>::max()), ns::num(0.5), ns::num(3.0), ns::num(-0.0),
         ns::num(1e308), ns::num(5e-324), ns::num(0.1 + 0.2), ns::num(true), ns::num(false), ns::Null::null(),
         ns::str(""), inner, ns::Array::withObjects({ns::Array::withObjects({ns::Dictionary::make()})})});
    for (auto options :
         {JSONWritingOptions::None, JSONWritingOptions::PrettyPrinted | JSONWritingOptions::SortedKeys}) {
        rt::Ref<ns::Error> error;
        auto data = JSONSerialization::dataWithJSONObject(doc, options, &error);
        ASSERT_TRUE(data) << debugOf(error);
        auto back = rt::cast<ns::Array>(
            JSONSerialization::JSONObjectWithData(data, JSONReadingOptions::None, &error));
        ASSERT_TRUE(back) << debugOf(error);
        EXPECT_TRUE(back->isEqual(doc.get())) << data->view();
        for (std::size_t i = 0; i < 13; ++i) {
            auto a = rt::cast<ns::Number>((*doc)[i]), b = rt::cast<ns::Number>((*back)[i]);
            if (!a) continue;
            ASSERT_TRUE(b);
            EXPECT_EQ(a->isFloatingPoint(), b->isFloatingPoint()) << i;
            EXPECT_EQ(a->isBool(), b->isBool()) << i;
            if (a->isFloatingPoint()) {
                EXPECT_EQ(std::signbit(a->doubleValue()), std::signbit(b->doubleValue())) << i;
                EXPECT_EQ(a->doubleValue(), b->doubleValue()) << i;
            }
        }
    }
}

// ---- Property lists ------------------------------------------------------------------------------

rt::Id readPlist(std::string_view xml, rt::Ref<ns::Error>* error = nullptr,
                 ns::PropertyListMutabilityOptions options = ns::PropertyListMutabilityOptions::Immutable) {
    return PropertyListSerialization::propertyListWithData(ns::Data::make(xml), options, nullptr, error);
}

constexpr const char* kPlistHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                     "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                     "<plist version=\"1.0\">\n";

TEST(PropertyListRoundTrip, EveryType) {
    std::vector<std::uint8_t> bytes(200);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 37);
    auto doc = ns::Dictionary::withPairs({
        {ns::str("text & <tags>"), ns::str("a & b < c > d\r\n\t日本 😀")},
        {ns::str("ints"),
         ns::Array::withObjects({ns::num(0LL), ns::num(std::numeric_limits<long long>::min()),
                                 ns::num(std::numeric_limits<unsigned long long>::max())})},
        {ns::str("reals"), ns::Array::withObjects({ns::num(0.5), ns::num(1.0), ns::num(-1e-300),
                                                   ns::num(std::numeric_limits<double>::infinity())})},
        {ns::str("bools"), ns::Array::withObjects({ns::num(true), ns::num(false)})},
        {ns::str("dates"),
         ns::Array::withObjects({ns::Date::withTimeIntervalSinceReferenceDate(0),
                                 ns::Date::withTimeIntervalSince1970(-86400.0 * 365 * 100),
                                 ns::Date::withTimeIntervalSince1970(951782400)})}, // 2000-02-29
        {ns::str("data"), ns::Array::withObjects({ns::Data::make(bytes), ns::Data::make("", 0)})},
        {ns::str("empty"), ns::Array::withObjects({ns::Array::make(), ns::Dictionary::make(), ns::str("")})},
    });
    rt::Ref<ns::Error> error;
    auto data = PropertyListSerialization::dataWithPropertyList(doc, ns::PropertyListFormat::XML, &error);
    ASSERT_TRUE(data) << debugOf(error);
    auto format = ns::PropertyListFormat::Binary;
    auto back = PropertyListSerialization::propertyListWithData(
        data, ns::PropertyListMutabilityOptions::MutableContainersAndLeaves, &format, &error);
    ASSERT_TRUE(back) << debugOf(error) << "\n" << data->view();
    EXPECT_TRUE(back->isEqual(doc.get())) << data->view();
    EXPECT_EQ(format, ns::PropertyListFormat::XML);
    auto m = rt::cast<ns::MutableDictionary>(back);
    ASSERT_TRUE(m);
    EXPECT_TRUE(rt::cast<ns::MutableData>(rt::cast<ns::Array>(m->objectForKey("data"))->firstObject()));
    auto ints = rt::cast<ns::Array>(m->objectForKey("ints"));
    EXPECT_EQ(rt::cast<ns::Number>((*ints)[1])->kind(), Kind::LongLong);
    EXPECT_EQ(rt::cast<ns::Number>((*ints)[2])->kind(), Kind::ULongLong);
    EXPECT_EQ(rt::cast<ns::Number>(rt::cast<ns::Array>(m->objectForKey("reals"))->firstObject())->kind(),
              Kind::Double);
    EXPECT_NE(data->view().find("<date>2000-02-29T00:00:00Z</date>"), std::string::npos);
    EXPECT_NE(data->view().find("<date>1870-01-"), std::string::npos) << data->view(); // before 1970
}

TEST(PropertyListWrite, Layout) {
    auto doc =
        ns::Dictionary::withPairs({{ns::str("b"), ns::Array::withObjects({ns::num(1), ns::str("x & <y>")})},
                                   {ns::str("a"), ns::num(true)},
                                   {ns::str("d"), ns::Data::make("abc", 3)},
                                   {ns::str("e"), ns::Array::make()},
                                   {ns::str("r"), ns::num(2.5)}});
    auto data = PropertyListSerialization::dataWithPropertyList(doc);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->view(),
              std::string(kPlistHeader) +
                  "<dict>\n\t<key>a</key>\n\t<true/>\n\t<key>b</key>\n\t<array>\n\t\t<integer>1</integer>\n"
                  "\t\t<string>x &amp; &lt;y&gt;</string>\n\t</array>\n\t<key>d</key>\n\t<data>\n\tYWJj\n"
                  "\t</data>\n\t<key>e</key>\n\t<array/>\n\t<key>r</key>\n\t<real>2.5</real>\n</dict>\n"
                  "</plist>\n");
}

TEST(PropertyListRead, DocumentOrderAndLenientForms) {
    auto d = rt::cast<ns::Dictionary>(
        readPlist("<dict><key>z</key><integer> 0x1F </integer><key>a</key>"
                  "<real>-infinity</real><key>m</key><string>&#65;&lt;</string></dict>"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->allKeys()->componentsJoinedByString(",")->utf8(), "z,a,m");
    EXPECT_EQ(numberAt(d, "z")->longLongValue(), 31);
    EXPECT_EQ(numberAt(d, "a")->doubleValue(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(d->objectForKey("m")->description(), "A<");
    EXPECT_FALSE(rt::cast<ns::MutableDictionary>(d));
}

TEST(PropertyListRead, MalformedInputIsAnError) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<plist><dict><key>a</key></plist>", "Malformed XML (mismatched tag) at line 1"},
        {"<plist><dict><key>a</key></dict></plist>", "Missing the value of key \"a\""},
        {"<plist><dict><string>x</string></dict></plist>", "where a <key> was expected"},
        {"<plist><dict><key>a</key><key>b</key></dict></plist>", "value of key \"a\" was expected"},
        {"<plist><array>text</array></plist>", "unexpected text inside <array>"},
        {"<plist><foo/></plist>", "unknown tag <foo>"},
        {"<plist><string>a<true/></string></plist>", "<true> inside <string>"},
        {"<plist><integer>12x</integer></plist>", "Invalid <integer>"},
        {"<plist><integer>99999999999999999999</integer></plist>", "Invalid <integer>"},
        {"<plist><real>1.5.2</real></plist>", "Invalid <real>"},
        {"<plist><date>2001-02-30T00:00:00Z</date></plist>", "Invalid <date>"},
        {"<plist><data>AB$=</data></plist>", "Invalid base64"},
        {"<plist><true/><false/></plist>", "a plist holds one object"},
        {"<plist/>", "empty <plist>"},
        {"<key>a</key>", "outside a <dict>"},
        {"<!DOCTYPE plist [<!ENTITY x \"boom\">]><plist><string>&x;</string></plist>", "Entity declarations"},
        {"<plist>\n<array>\n<string>a</string>\n</dict>\n</plist>", "(mismatched tag) at line 4"},
        {"bplist00\x01", "Binary property lists are not supported"},
        {"{a = b;}", "Old-style text"},
        {"", "empty"},
    };
    for (const auto& [xml, expected] : cases) {
        rt::Ref<ns::Error> error;
        EXPECT_FALSE(readPlist(xml, &error)) << xml;
        ASSERT_TRUE(error) << xml;
        EXPECT_EQ(error->code(), 3840);
        EXPECT_EQ(error->domain()->utf8(), ns::CocoaErrorDomain);
        EXPECT_NE(debugOf(error).find(expected), std::string::npos) << xml << " -> " << debugOf(error);
    }
}

TEST(PropertyListWrite, InvalidObjectsAndFormats) {
    auto expectError = [](const rt::Id& obj, const std::string& expected,
                          ns::PropertyListFormat format = ns::PropertyListFormat::XML) {
        rt::Ref<ns::Error> error;
        EXPECT_FALSE(PropertyListSerialization::dataWithPropertyList(obj, format, &error));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), 3851);
        EXPECT_NE(debugOf(error).find(expected), std::string::npos) << debugOf(error);
    };
    expectError(ns::Array::withObjects({ns::Null::null()}), "'NSNull'");
    expectError(ns::Dictionary::withPairs({{ns::num(1), ns::str("x")}}), "keys must be strings");
    expectError(ns::str("bell\x07"), "U+0007");
    expectError(ns::str("x"), "Binary property lists", ns::PropertyListFormat::Binary);
    EXPECT_TRUE(
        PropertyListSerialization::propertyListIsValidForFormat(ns::str("x"), ns::PropertyListFormat::XML));
    EXPECT_FALSE(PropertyListSerialization::propertyListIsValidForFormat(ns::Null::null(),
                                                                         ns::PropertyListFormat::XML));
}

} // namespace
