// User defaults: values across restarts, typed reads, notifications, concurrent use, interrupted
// writes, and files that are damaged or hold what the format must escape.

#include <atomic>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/application_home.h"
#include "platform/foundation/application_identity.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/date.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/null.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "tests/platform/support.h"

namespace {

namespace fs = std::filesystem;
using ns::str;
using platform_tests::names;
using platform_tests::Scratch;
using rt::Ref;

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        scratch.write("bundle/Info.json", R"({"CFBundleIdentifier": "com.example.defaults"})");
        ns::ApplicationHome::setPath(scratch / "home");
        ns::Bundle::setMainBundlePath(scratch / "bundle");
        ns::UserDefaults::resetStandardUserDefaults();
    }
    void TearDown() override {
        ns::detail::setAtomicWriteInterruption(nullptr);
        ns::UserDefaults::resetStandardUserDefaults();
        ns::ApplicationHome::setPath("");
        ns::Bundle::setMainBundlePath("");
    }
    Scratch scratch;
};

TEST_F(UserDefaultsTest, ValuesSurviveARestart) {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults->filePath(), scratch / "home/Library/Preferences/com.example.defaults.json");
    const std::u16string lone = {u'a', 0xD800, u'b'};
    auto nested = ns::Dictionary::withPairs(
        {{str("$data"), str("not data")}, {str("list"), ns::Array::withObjects({ns::num(1), str("x")})}});
    defaults->setBool(true, "flag");
    defaults->setInteger(-42, "count");
    defaults->setDouble(2.0, "ratio");
    defaults->setString("quote \" back\\slash \n caf\u00e9 \U0001F600", "text");
    defaults->setObjectForKey(ns::String::fromUTF16(lone), "lone");
    defaults->setObjectForKey(ns::Data::make(std::string("\0\x01\xFFz", 4)), "blob");
    defaults->setObjectForKey(ns::Date::withTimeIntervalSinceReferenceDate(123.5), "when");
    defaults->setObjectForKey(ns::Number::withUnsignedLongLong(18446744073709551615ull), "big");
    defaults->setObjectForKey(ns::Number::withDouble(std::nan("")), "nan");
    defaults->setObjectForKey(ns::Dictionary::withPairs({{str("$inner"), nested}}), "tricky");
    defaults->setObjectForKey(ns::MutableArray::withObjects({ns::Dictionary::make(), ns::Array::make()}),
                              "empties");
    auto before = defaults->dictionaryRepresentation();
    EXPECT_TRUE(defaults->synchronize());
    EXPECT_FALSE(ns::UserDefaults::standardUserDefaults()->arrayForKey("empties")->isKindOfClass(
        ns::MutableArray::staticClass())); // copied in as immutable
    defaults = nullptr;
    before = nullptr;

    ns::UserDefaults::resetStandardUserDefaults();
    auto again = ns::UserDefaults::standardUserDefaults();
    EXPECT_TRUE(again->boolForKey("flag"));
    EXPECT_EQ(again->integerForKey("count"), -42);
    auto ratio = rt::cast<ns::Number>(again->objectForKey("ratio"));
    ASSERT_TRUE(ratio);
    EXPECT_TRUE(ratio->isFloatingPoint());
    EXPECT_TRUE(rt::cast<ns::Number>(again->objectForKey("flag"))->isBool());
    EXPECT_EQ(again->stringForKey("text")->utf8(), "quote \" back\\slash \n caf\u00e9 \U0001F600");
    EXPECT_EQ(again->stringForKey("lone")->utf16(), lone);
    EXPECT_EQ(again->dataForKey("blob")->view(), std::string_view("\0\x01\xFFz", 4));
    EXPECT_EQ(rt::cast<ns::Date>(again->objectForKey("when"))->timeIntervalSinceReferenceDate(), 123.5);
    EXPECT_EQ(rt::cast<ns::Number>(again->objectForKey("big"))->unsignedLongLongValue(),
              18446744073709551615ull);
    EXPECT_TRUE(std::isnan(again->doubleForKey("nan")));
    auto tricky = again->dictionaryForKey("tricky");
    ASSERT_TRUE(tricky);
    auto inner = rt::cast<ns::Dictionary>(tricky->objectForKey("$inner"));
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->objectForKey("$data")->description(), "not data");
    EXPECT_EQ(names(*rt::cast<ns::Array>(inner->objectForKey("list"))), (std::vector<std::string>{"1", "x"}));
    EXPECT_EQ(again->arrayForKey("empties")->count(), 2u);
    EXPECT_EQ(again->dictionaryRepresentation()->count(), 11u);

    // flushAll writes a store that was never synchronized.
    auto side = ns::UserDefaults::makeWithFile(scratch / "side/prefs.json");
    side->setInteger(7, "seven");
    EXPECT_TRUE(ns::UserDefaults::flushAll());
    EXPECT_EQ(ns::UserDefaults::makeWithFile(scratch / "side/prefs.json")->integerForKey("seven"), 7);
}

TEST_F(UserDefaultsTest, WithoutAUsableBundleIdentifierTheFileIsNamedAfterTheApplication) {
    const auto expected =
        scratch / (std::string("home/Library/Preferences/") + ns::kApplicationIdentifier + ".json");
    for (const char* info :
         {R"({})", R"({"CFBundleIdentifier": ""})", R"({"CFBundleIdentifier": "../../escape"})",
          R"({"CFBundleIdentifier": ".."})"}) {
        scratch.write("bundle/Info.json", info);
        ns::Bundle::setMainBundlePath(scratch / "bundle");
        ns::UserDefaults::resetStandardUserDefaults();
        EXPECT_EQ(ns::UserDefaults::standardUserDefaults()->filePath(), expected) << info;
    }
}

TEST_F(UserDefaultsTest, AbsentValuesAndTypedReads) {
    auto d = ns::UserDefaults::makeWithFile(scratch / "prefs.json");
    EXPECT_FALSE(d->boolForKey("missing"));
    EXPECT_EQ(d->integerForKey("missing"), 0);
    EXPECT_EQ(d->doubleForKey("missing"), 0.0);
    EXPECT_FALSE(d->objectForKey("missing"));
    EXPECT_FALSE(d->stringForKey("missing"));
    EXPECT_FALSE(d->valueForKey("missing"));

    for (const char* yes : {"YES", "yes", "true", "1", " 7"}) {
        d->setString(yes, "b");
        EXPECT_TRUE(d->boolForKey("b")) << yes;
    }
    for (const char* no : {"NO", "false", "0", "", "maybe"}) {
        d->setString(no, "b");
        EXPECT_FALSE(d->boolForKey("b")) << no;
    }
    d->setString("42abc", "n");
    EXPECT_EQ(d->integerForKey("n"), 42);
    EXPECT_FALSE(d->arrayForKey("n"));
    EXPECT_FALSE(d->dataForKey("n"));
    d->setInteger(5, "five");
    EXPECT_EQ(d->stringForKey("five")->utf8(), "5");
    d->setValueForKey(str("via kvc"), "k");
    EXPECT_EQ(d->stringForKey("k")->utf8(), "via kvc");
    d->setObjectForKey(nullptr, "k");
    EXPECT_FALSE(d->objectForKey("k"));

    ns::CapturedLog log;
    d->setObjectForKey(ns::Null::null(), "null");
    d->setObjectForKey(ns::Array::withObjects({ns::Null::null()}), "null");
    EXPECT_FALSE(d->objectForKey("null"));
    EXPECT_TRUE(log.contains("non-property-list"));

    d->registerDefaults(
        *ns::Dictionary::withPairs({{str("fallback"), ns::num(true)}, {str("five"), ns::num(9)}}));
    EXPECT_TRUE(d->boolForKey("fallback"));
    EXPECT_EQ(d->integerForKey("five"), 5);
    EXPECT_TRUE(d->synchronize());
    EXPECT_EQ(scratch.read("prefs.json").find("fallback"), std::string::npos);
}

TEST_F(UserDefaultsTest, DidChangeIsPostedSynchronouslyOnEachChange) {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    std::vector<long> seen;
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ns::NSUserDefaultsDidChangeNotification, defaults, nullptr, [&](const Ref<ns::Notification>& n) {
            EXPECT_EQ(n->object(), defaults);
            seen.push_back(defaults->integerForKey("v"));
        });
    defaults->setInteger(1, "v");
    EXPECT_EQ(seen, (std::vector<long>{1}));
    defaults->setInteger(1, "v");
    defaults->setObjectForKey(ns::num(2), "v");
    EXPECT_EQ(seen, (std::vector<long>{1, 1, 2}));
    defaults->removeObjectForKey("v");
    defaults->removeObjectForKey("v");                // nothing to remove: no change
    defaults->setObjectForKey(ns::Null::null(), "v"); // refused: no change
    EXPECT_EQ(seen, (std::vector<long>{1, 1, 2, 0}));
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
}

TEST_F(UserDefaultsTest, ConcurrentWritersReadersAndSynchronizes) {
    auto d = ns::UserDefaults::makeWithFile(scratch / "shared.json");
    std::atomic<int> changes{0};
    auto token = ns::NotificationCenter::defaultCenter()->addObserverForName(
        ns::NSUserDefaultsDidChangeNotification, d, nullptr, [&](auto&) { ++changes; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                const std::string key = "k" + std::to_string(t) + "-" + std::to_string(i);
                d->setInteger(i, key);
                EXPECT_EQ(d->integerForKey(key), i);
                if (i % 10 == 0) {
                    EXPECT_TRUE(d->synchronize());
                }
            }
        });
    for (auto& th : threads)
        th.join();
    ns::NotificationCenter::defaultCenter()->removeObserver(token);
    EXPECT_EQ(changes, 200);
    EXPECT_TRUE(d->synchronize());
    auto reread = ns::UserDefaults::makeWithFile(scratch / "shared.json");
    EXPECT_EQ(reread->dictionaryRepresentation()->count(), 200u);
    EXPECT_EQ(reread->integerForKey("k3-49"), 49);
}

TEST_F(UserDefaultsTest, AnEqualValueIsNotWrittenAgainButAChangedKindIs) {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setInteger(1, "v");
    ASSERT_TRUE(defaults->synchronize());
    int writes = 0;
    ns::detail::setAtomicWriteInterruption([&](const std::string&) {
        ++writes;
        return false;
    });
    defaults->setInteger(1, "v");
    EXPECT_TRUE(defaults->synchronize());
    EXPECT_EQ(writes, 0);
    defaults->setBool(true, "v"); // equal to 1, yet stored as a boolean
    EXPECT_TRUE(defaults->synchronize());
    EXPECT_EQ(writes, 1);
    ns::detail::setAtomicWriteInterruption(nullptr);
    defaults = nullptr;
    ns::UserDefaults::resetStandardUserDefaults();
    EXPECT_TRUE(rt::cast<ns::Number>(ns::UserDefaults::standardUserDefaults()->objectForKey("v"))->isBool());
}

TEST_F(UserDefaultsTest, AnInterruptedWriteLeavesTheOldFile) {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    const std::string file = defaults->filePath();
    defaults->setInteger(1, "v");
    ASSERT_TRUE(defaults->synchronize());
    const std::string old = scratch.read("home/Library/Preferences/com.example.defaults.json");

    defaults->setInteger(2, "v");
    std::string temporary;
    ns::detail::setAtomicWriteInterruption([&](const std::string& t) {
        temporary = t;
        return true;
    });
    {
        ns::CapturedLog log;
        EXPECT_FALSE(defaults->synchronize());
        EXPECT_TRUE(log.contains("cannot write"));
    }
    EXPECT_EQ(fs::path(temporary).parent_path(), fs::path(file).parent_path());
    EXPECT_TRUE(fs::exists(temporary)); // as a crash would leave it
    EXPECT_EQ(scratch.read("home/Library/Preferences/com.example.defaults.json"), old);

    // A restart reads the old file and ignores the stray temporary one.
    defaults = nullptr;
    ns::UserDefaults::resetStandardUserDefaults();
    ns::detail::setAtomicWriteInterruption(nullptr);
    defaults = ns::UserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults->integerForKey("v"), 1);

    // A rename that fails keeps the changes for the next attempt and leaves no temporary file.
    const std::string blocked = scratch / "blocked.json";
    fs::create_directories(blocked);
    auto d = ns::UserDefaults::makeWithFile(blocked);
    d->setInteger(3, "v");
    ns::CapturedLog log;
    EXPECT_FALSE(d->synchronize());
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.root), {}), 3); // bundle, home, blocked.json
    fs::remove(blocked);
    EXPECT_TRUE(d->synchronize());
    EXPECT_EQ(ns::UserDefaults::makeWithFile(blocked)->integerForKey("v"), 3);
}

TEST_F(UserDefaultsTest, ACorruptFileReadsAsEmpty) {
    const std::string deep(100000, '[');
    for (std::string text : {std::string("{\"a\": 1"), std::string("[1, 2]"), std::string("{\"a\": nul}"),
                             std::string("{\"a\": 01}"), std::string("{\"a\": \"\xC3\"}"),
                             std::string(R"({"a": {"$data": "abc"}})"), std::string(R"({"a": {"$nope": 1}})"),
                             std::string(R"({"a": "\ud8"})"), std::string("{} x"),
                             std::string("{\"a\": 1e999}"), "{\"a\": " + deep}) {
        scratch.write("bad.json", text);
        ns::CapturedLog log;
        auto d = ns::UserDefaults::makeWithFile(scratch / "bad.json");
        EXPECT_EQ(d->dictionaryRepresentation()->count(), 0u) << text.substr(0, 40);
        EXPECT_TRUE(log.contains("corrupt")) << text.substr(0, 40);
    }
    scratch.write("good.json", "\xEF\xBB\xBF { \"a\" : [ true , -0.5e1 , {\"$dict\": {\"$date\": 1}} ] }");
    auto d = ns::UserDefaults::makeWithFile(scratch / "good.json");
    auto a = d->arrayForKey("a");
    ASSERT_TRUE(a);
    EXPECT_EQ(rt::cast<ns::Number>(a->objectAtIndex(1))->doubleValue(), -5.0);
    EXPECT_TRUE(rt::cast<ns::Dictionary>(a->objectAtIndex(2))->objectForKey("$date"));
}

// A store is never lost because one value cannot be written: every other value survives a restart.
TEST_F(UserDefaultsTest, ANonFiniteDateIsKeptWithEveryOtherValue) {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setInteger(1, "kept");
    defaults->setObjectForKey(ns::Date::withTimeIntervalSinceReferenceDate(HUGE_VAL), "forever");
    defaults->setObjectForKey(ns::Date::withTimeIntervalSinceReferenceDate(-HUGE_VAL), "never");
    ASSERT_TRUE(defaults->synchronize());
    defaults = nullptr;
    ns::UserDefaults::resetStandardUserDefaults();
    auto again = ns::UserDefaults::standardUserDefaults();
    EXPECT_EQ(again->integerForKey("kept"), 1);
    auto forever = rt::cast<ns::Date>(again->objectForKey("forever"));
    ASSERT_TRUE(forever);
    EXPECT_EQ(forever->timeIntervalSinceReferenceDate(), HUGE_VAL);
    auto never = rt::cast<ns::Date>(again->objectForKey("never"));
    ASSERT_TRUE(never);
    EXPECT_EQ(never->timeIntervalSinceReferenceDate(), -HUGE_VAL);
}

TEST_F(UserDefaultsTest, ANonFiniteDateReadFromTheFileIsWrittenBack) {
    scratch.write("prefs.json", R"({"when": {"$date": {"$double": "inf"}}, "kept": "yes"})");
    auto d = ns::UserDefaults::makeWithFile(scratch / "prefs.json");
    d->setInteger(2, "more");
    ASSERT_TRUE(d->synchronize());
    auto again = ns::UserDefaults::makeWithFile(scratch / "prefs.json");
    ASSERT_TRUE(again->stringForKey("kept"));
    EXPECT_EQ(again->stringForKey("kept")->utf8(), "yes");
    EXPECT_EQ(again->integerForKey("more"), 2);
    EXPECT_TRUE(rt::cast<ns::Date>(again->objectForKey("when")));
}

// An array nested `levels` deep around a number.
Ref<ns::Array> nested(int levels) {
    Ref<ns::Array> a = ns::Array::withObjects({ns::num(7)});
    for (int i = 1; i < levels; ++i)
        a = ns::Array::withObjects({a});
    return a;
}

int depthOf(rt::Id v) {
    int depth = 0;
    for (auto a = rt::cast<ns::Array>(v); a; a = rt::cast<ns::Array>(a->objectAtIndex(0)))
        ++depth;
    return depth;
}

// A value sits in the file's outermost dictionary: 255 levels fit, 256 are refused by the setter
// itself, so the writer never meets a value it cannot write.
TEST_F(UserDefaultsTest, TheSetterRefusesWhatTheFileCannotHold) {
    auto d = ns::UserDefaults::makeWithFile(scratch / "prefs.json");
    d->setInteger(1, "kept");
    d->setObjectForKey(nested(255), "deepest");
    {
        ns::CapturedLog log;
        d->setObjectForKey(nested(256), "too deep");
        d->registerDefaults(*ns::Dictionary::withPairs({{str("too deep"), nested(256)}}));
        EXPECT_TRUE(log.contains("non-property-list"));
    }
    EXPECT_FALSE(d->objectForKey("too deep"));
    ASSERT_TRUE(d->synchronize());
    auto again = ns::UserDefaults::makeWithFile(scratch / "prefs.json");
    EXPECT_EQ(again->integerForKey("kept"), 1);
    EXPECT_EQ(depthOf(again->objectForKey("deepest")), 255);

    // A file nested deeper than the writer goes is corrupt, not half read.
    std::string deep = R"({"a": )" + std::string(256, '[') + std::string(256, ']') + "}";
    scratch.write("deep.json", deep);
    ns::CapturedLog log;
    EXPECT_EQ(ns::UserDefaults::makeWithFile(scratch / "deep.json")->dictionaryRepresentation()->count(), 0u);
    EXPECT_TRUE(log.contains("corrupt"));
}

// Dictionaries whose keys start with '$', alone or beside others, at every depth from the top:
// the file reads back as it was written.
TEST_F(UserDefaultsTest, DollarKeysRoundTripAtEveryDepth) {
    const std::u16string lone = {u'x', 0xDC00};
    std::vector<rt::Id> shapes = {
        ns::Dictionary::withPairs({{str("$dict"), ns::num(5)}, {str("y"), ns::num(1)}}),
        ns::Dictionary::withPairs({{str("$dict"), ns::Data::make(std::string("\x01\x02"))}}),
        ns::Dictionary::withPairs({{str("$data"), str("plain")}}),
        ns::Dictionary::withPairs({{str("$date"), ns::num(1)}, {str("$double"), str("inf")}}),
        ns::Dictionary::withPairs({{str("$utf16"), ns::String::fromUTF16(lone)}}),
        ns::Dictionary::withPairs(
            {{str("$dict"), ns::Dictionary::withPairs({{str("$dict"), ns::Dictionary::make()}})}}),
        ns::Dictionary::withPairs(
            {{str("$"), ns::Array::withObjects({ns::Dictionary::withPairs({{str("$x"), str("")}})})}}),
    };
    auto d = ns::UserDefaults::makeWithFile(scratch / "prefs.json");
    d->setInteger(1, "kept");
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        rt::Id v = shapes[s];
        for (int depth = 0; depth < 4; ++depth) {
            d->setObjectForKey(v, "shape" + std::to_string(s) + "-" + std::to_string(depth));
            v = depth % 2 ? rt::Id(ns::Array::withObjects({v}))
                          : rt::Id(ns::Dictionary::withPairs({{str("$k"), v}}));
        }
    }
    auto written = d->dictionaryRepresentation();
    ASSERT_TRUE(d->synchronize());
    ns::CapturedLog log;
    auto again = ns::UserDefaults::makeWithFile(scratch / "prefs.json")->dictionaryRepresentation();
    EXPECT_FALSE(log.contains("corrupt")) << scratch.read("prefs.json");
    EXPECT_TRUE(again->isEqual(written.get())) << again->description();
    EXPECT_EQ(again->count(), 1 + 4 * shapes.size());
}

// A file that does not read is kept beside the new one, byte for byte.
TEST_F(UserDefaultsTest, ACorruptFileIsKeptAsideBeforeTheNextWrite) {
    const std::string garbage = "{\"half\": [1, 2";
    scratch.write("prefs.json", garbage);
    auto d = ns::UserDefaults::makeWithFile(scratch / "prefs.json");
    {
        ns::CapturedLog log;
        EXPECT_FALSE(d->objectForKey("half"));
        EXPECT_TRUE(log.contains("prefs.json.corrupt"));
    }
    d->setInteger(3, "fresh");
    ASSERT_TRUE(d->synchronize());
    EXPECT_EQ(scratch.read("prefs.json.corrupt"), garbage);
    EXPECT_EQ(ns::UserDefaults::makeWithFile(scratch / "prefs.json")->integerForKey("fresh"), 3);
}

// A model kept as an archive reads back only as the classes the reader names.
TEST_F(UserDefaultsTest, ArchivedObjectsReadBackOnlyAsTheNamedClasses) {
    auto d = ns::UserDefaults::makeWithFile(scratch / "prefs.json");
    auto model = ns::Dictionary::withPairs({{str("name"), str("model")}, {str("n"), ns::num(3)}});
    ASSERT_TRUE(d->setArchivedObjectForKey(model, "model"));
    ASSERT_TRUE(d->synchronize());
    auto again = ns::UserDefaults::makeWithFile(scratch / "prefs.json");
    auto back = again->unarchivedObjectForKey("model", {});
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(model.get()));
    EXPECT_FALSE(again->unarchivedObjectForKey("missing", {}));

    // An object that cannot be archived is not stored.
    ns::CapturedLog log;
    EXPECT_FALSE(d->setArchivedObjectForKey(ns::NotificationCenter::defaultCenter(), "center"));
    EXPECT_FALSE(d->objectForKey("center"));
    EXPECT_TRUE(log.contains("cannot archive"));
}

} // namespace
