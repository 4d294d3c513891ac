// Foundation services: the notification centre, user defaults, bundles, the file manager and the
// application home, string services, the date formatter and regular expressions.

#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/application_home.h"
#include "platform/foundation/application_identity.h"
#include "platform/foundation/data_detector.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/date.h"
#include "platform/foundation/date_formatter.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/null.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/regular_expression.h"
#include "platform/foundation/string_services.h"
#include "platform/foundation/time_zone.h"
#include "platform/foundation/url.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "tests/platform/support.h"
#include "tests/testkit/latch.h"
#include "tests/testkit/main_loop.h"

namespace {

namespace fs = std::filesystem;
using ns::str;
using platform_tests::names;
using platform_tests::Scratch;
using rt::Ref;

// ---------------------------------------------------------------------------------------------
// Notification centre

TEST(NotificationCenter, NameAndObjectFiltersByIdentityWithoutRetaining) {
    auto center = ns::NotificationCenter::make();
    auto o1 = str("one"), o2 = ns::String::make("one"); // equal, not identical
    const auto retains = o1->retainCount();
    std::vector<std::string> got;
    auto note = [&](std::string who) {
        return [&got, who](const Ref<ns::Notification>& n) { got.push_back(who + ":" + n->name()->utf8()); };
    };
    auto any = center->addObserverForName(nullptr, nullptr, nullptr, note("any"));
    auto named = center->addObserverForName("A", nullptr, nullptr, note("named"));
    auto both = center->addObserverForName(str("A"), o1, nullptr, note("both"));
    auto object = center->addObserverForName(nullptr, o1, nullptr, note("object"));
    EXPECT_EQ(o1->retainCount(), retains);

    center->postNotificationName("A", o1);
    EXPECT_EQ(got, (std::vector<std::string>{"any:A", "named:A", "both:A", "object:A"}));
    got.clear();
    center->postNotificationName("A", o2);
    center->postNotificationName("B", o1, ns::Dictionary::withPairs({{str("k"), str("v")}}));
    center->postNotificationName("A");
    EXPECT_EQ(got, (std::vector<std::string>{"any:A", "named:A", "any:B", "object:B", "any:A", "named:A"}));

    // An observer whose object died matches nothing, even a newcomer at the same address.
    auto gone = ns::String::make("short-lived-object");
    const void* address = gone.get();
    auto ghost = center->addObserverForName(nullptr, gone, nullptr, note("ghost"));
    gone = nullptr;
    got.clear();
    for (int i = 0; i < 64; ++i) {
        auto newcomer = ns::String::make("short-lived-object");
        if (newcomer.get() == address) {
            center->postNotificationName("C", newcomer);
            EXPECT_EQ(got, (std::vector<std::string>{"any:C"}));
            break;
        }
    }
    for (auto& t : {any, named, both, object, ghost})
        center->removeObserver(t);
    EXPECT_EQ(center->observerCount(), 0u);
    EXPECT_THROW(ns::Notification::make(Ref<ns::String>()), ns::Exception);
}

TEST(NotificationCenter, ObserversAddedOrRemovedDuringAPost) {
    auto center = ns::NotificationCenter::make();
    std::vector<std::string> got;
    rt::Id second, late;
    auto first = center->addObserverForName("N", nullptr, nullptr, [&](const Ref<ns::Notification>&) {
        got.push_back("first");
        if (!late)
            late = center->addObserverForName("N", nullptr, nullptr, [&](auto&) { got.push_back("late"); });
        center->removeObserver(second);
    });
    second = center->addObserverForName("N", nullptr, nullptr, [&](auto&) { got.push_back("second"); });
    rt::Id self;
    self = center->addObserverForName("N", nullptr, nullptr, [&](auto&) {
        got.push_back("self");
        center->removeObserver(self); // removing itself while it runs
    });
    center->postNotificationName("N");
    EXPECT_EQ(got, (std::vector<std::string>{"first", "self"}));
    center->postNotificationName("N");
    EXPECT_EQ(got, (std::vector<std::string>{"first", "self", "first", "late"}));
    center->removeObserver(first);
    center->removeObserver(late);
    center->removeObserver(late); // twice is harmless
    EXPECT_EQ(center->observerCount(), 0u);
}

TEST(NotificationCenter, QueueDeliveryDoesNotRunOnThePostingThread) {
    auto center = ns::NotificationCenter::make();
    auto queue = ns::OperationQueue::make();
    std::promise<void> posted;
    std::shared_future<void> postedFuture = posted.get_future().share();
    std::atomic<bool> onQueue{false}, postReturnedFirst{false};
    auto onWorker = center->addObserverForName("N", nullptr, queue, [&](const Ref<ns::Notification>& n) {
        onQueue = ns::OperationQueue::currentQueue() == queue && n->name()->isEqualToString("N");
        postReturnedFirst = postedFuture.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    });
    center->postNotificationName("N");
    posted.set_value();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(onQueue);
    EXPECT_TRUE(postReturnedFirst);

    int mainCalls = 0;
    auto onMain = center->addObserverForName("M", nullptr, ns::OperationQueue::mainQueue(),
                                             [&](auto&) { ++mainCalls; });
    center->postNotificationName("M");
    EXPECT_EQ(mainCalls, 0);
    testkit::drainMainQueue();
    EXPECT_EQ(mainCalls, 1);
    // A delivery queued before the removal does not run after it.
    center->postNotificationName("M");
    center->removeObserver(onMain);
    testkit::drainMainQueue();
    EXPECT_EQ(mainCalls, 1);
    center->removeObserver(onWorker);
    testkit::waitForWorkersIdle();
}

TEST(NotificationCenter, RemovalWaitsForACallRunningOnAnotherThread) {
    auto center = ns::NotificationCenter::make();
    testkit::Latch entered;
    std::atomic<bool> finished{false};
    std::atomic<int> calls{0};
    auto token = center->addObserverForName("N", nullptr, nullptr, [&](auto&) {
        if (calls++ == 0) {
            entered.countDown();
            // Returns only once the removal has begun (the observer has left the list), so the
            // removal has this call to wait for.
            while (center->observerCount() != 0)
                std::this_thread::yield();
            finished = true;
        }
    });
    std::thread poster([&] { center->postNotificationName("N"); });
    EXPECT_TRUE(entered.wait());
    center->removeObserver(token);
    EXPECT_TRUE(finished);
    poster.join();

    // Concurrent posts, adds and removes.
    std::atomic<int> hits{0};
    auto counting = center->addObserverForName("P", nullptr, nullptr, [&](auto&) { ++hits; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                auto extra = center->addObserverForName("Q", nullptr, nullptr, [](auto&) {});
                center->postNotificationName("P");
                center->removeObserver(extra);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(hits, 800);
    center->removeObserver(counting);
    EXPECT_EQ(center->observerCount(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Bundle

TEST(Bundle, LocalizedStringsFromStringsFiles) {
    Scratch s;
    s.write("res/en.lproj/Localizable.strings", R"(/* A comment "with quotes" = "no"; */
"hello" = "Hello, \"world\"\n";   // trailing comment
"path" = "C:\\dir\tend";
"accent" = "caf\U00E9 \UD83D\UDE00";
bare_key = "bare";
"same";
)");
    s.write("res/Base.lproj/Localizable.strings",
            "\"hello\" = \"from Base\";\n\"base_only\" = \"Base text\";");
    s.write("res/en.lproj/Other.strings", "\"hello\" = \"other table\";");
    auto bundle = ns::Bundle::bundleWithPath(s / "res");
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->localizedStringForKey("hello")->utf8(), "Hello, \"world\"\n");
    EXPECT_EQ(bundle->localizedStringForKey("path")->utf8(), "C:\\dir\tend");
    EXPECT_EQ(bundle->localizedStringForKey("accent")->utf8(), "caf\u00e9 \U0001F600");
    EXPECT_EQ(bundle->localizedStringForKey("bare_key")->utf8(), "bare");
    EXPECT_EQ(bundle->localizedStringForKey("same")->utf8(), "same");
    EXPECT_EQ(bundle->localizedStringForKey("base_only")->utf8(), "Base text");
    EXPECT_EQ(bundle->localizedStringForKey("hello", "", "Other")->utf8(), "other table");
    EXPECT_EQ(bundle->localizedStringForKey("missing")->utf8(), "missing");
    EXPECT_EQ(bundle->localizedStringForKey("missing", "Fallback")->utf8(), "Fallback");
    EXPECT_EQ(bundle->localizedStringForKey("hello", "", "NoSuchTable")->utf8(), "hello");

    ns::Bundle::setMainBundlePath(s / "res");
    EXPECT_EQ(ns::NSLocalizedString("hello")->utf8(), "Hello, \"world\"\n");
    EXPECT_EQ(ns::NSLocalizedString("Not translated")->utf8(), "Not translated");
    ns::Bundle::setMainBundlePath("");
}

TEST(Bundle, StringsFileSyntax) {
    for (const char* bad :
         {"\"a\" = \"b\"", "\"a\" = \"b", "/* open", "\"a\" \"b\";", "= \"b\";", "\"a\" = ;"}) {
        std::string error;
        EXPECT_FALSE(ns::Bundle::parseStringsFile(bad, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    // UTF-16 little-endian with a byte-order mark.
    const std::u16string text = u"\"k\u00e9\" = \"v\\101\";";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text)
        bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    auto table = ns::Bundle::parseStringsFile(bytes);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->at("k\u00e9"), "vA");
    EXPECT_TRUE(ns::Bundle::parseStringsFile("  // only a comment\n")->empty());
}

TEST(Bundle, InfoDictionaryAndResources) {
    Scratch s;
    s.write("res/Info.json", R"({"CFBundleShortVersionString": "2.3", "CFBundleVersion": "45",
                                 "CFBundleIdentifier": "com.example.app", "CFBundleDisplayName": "Test"})");
    s.write("res/tradein.json", "{\"x\": 1}");
    s.write("res/en.lproj/terms.txt", "terms");
    s.write("res/Base.lproj/Main.storyboardc/info", "");
    s.write("res/images/icon.png", "png");
    auto bundle = ns::Bundle::bundleWithPath(s / "res");
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->objectForInfoDictionaryKey("CFBundleShortVersionString")->description(), "2.3");
    EXPECT_EQ(bundle->infoDictionary()->objectForKey("CFBundleVersion")->description(), "45");
    EXPECT_EQ(bundle->bundleIdentifier()->utf8(), "com.example.app");
    EXPECT_EQ(bundle->pathForResourceOfType("tradein", "json")->utf8(), s / "res/tradein.json");
    EXPECT_EQ(bundle->pathForResourceOfType("tradein", ".json")->utf8(), s / "res/tradein.json");
    EXPECT_EQ(bundle->pathForResourceOfType("tradein.json", "")->utf8(), s / "res/tradein.json");
    EXPECT_EQ(bundle->pathForResourceOfType("terms", "txt")->utf8(), s / "res/en.lproj/terms.txt");
    EXPECT_EQ(bundle->pathForResourceOfType("Main", "storyboardc")->utf8(),
              s / "res/Base.lproj/Main.storyboardc");
    EXPECT_EQ(bundle->pathForResourceOfType("icon", "png", "images")->utf8(), s / "res/images/icon.png");
    EXPECT_FALSE(bundle->pathForResourceOfType("tradein", "xml"));
    EXPECT_FALSE(bundle->pathForResourceOfType("icon", "png"));
    EXPECT_EQ(bundle->dataForResource("terms", "txt")->view(), "terms");
    EXPECT_FALSE(ns::Bundle::bundleWithPath(s / "res/tradein.json"));

    s.write("broken/Info.json", "{\"CFBundleVersion\": ");
    ns::CapturedLog log;
    auto broken = ns::Bundle::bundleWithPath(s / "broken");
    EXPECT_TRUE(broken->infoDictionary()->isEmpty());
    EXPECT_TRUE(log.contains("Info.json"));

    ::setenv("FT_BUNDLE_PATH", (s / "res").c_str(), 1);
    EXPECT_EQ(ns::Bundle::defaultMainBundlePath(), s / "res");
    ::unsetenv("FT_BUNDLE_PATH");
}

// ---------------------------------------------------------------------------------------------
// File manager and the application home

TEST(FileManager, DirectoriesFilesAndAttributes) {
    Scratch s;
    auto fm = ns::FileManager::defaultManager();
    Ref<ns::Error> error;
    EXPECT_FALSE(fm->createDirectoryAtPath(s / "a/b/c", false, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain()->utf8(), ns::CocoaErrorDomain);
    EXPECT_EQ(error->code(), ns::FileNoSuchFileError);
    EXPECT_EQ(error->userInfo()->objectForKey(ns::FilePathErrorKey)->description(), s / "a/b/c");
    EXPECT_TRUE(fm->createDirectoryAtPath(s / "a/b/c", true, &error));
    EXPECT_TRUE(fm->createDirectoryAtPath(s / "a/b/c", true));
    EXPECT_FALSE(fm->createDirectoryAtPath(s / "a/b/c", false));

    EXPECT_TRUE(fm->createFileAtPath(s / "a/z.txt", ns::Data::make("hello")));
    EXPECT_TRUE(fm->createFileAtPath(s / "a/empty", nullptr));
    bool isDir = true;
    EXPECT_TRUE(fm->fileExistsAtPath(s / "a/z.txt", &isDir));
    EXPECT_FALSE(isDir);
    EXPECT_TRUE(fm->fileExistsAtPath(s / "a/b", &isDir));
    EXPECT_TRUE(isDir);
    EXPECT_FALSE(fm->fileExistsAtPath(s / "nothing", &isDir));
    EXPECT_EQ(fm->contentsAtPath(s / "a/z.txt")->view(), "hello");
    EXPECT_EQ(names(*fm->contentsOfDirectoryAtPath(s / "a")),
              (std::vector<std::string>{"b", "empty", "z.txt"}));
    EXPECT_FALSE(fm->contentsOfDirectoryAtPath(s / "nothing", &error));
    EXPECT_EQ(error->code(), ns::FileReadNoSuchFileError);

    auto attrs = fm->attributesOfItemAtPath(s / "a/z.txt");
    ASSERT_TRUE(attrs);
    EXPECT_EQ(rt::cast<ns::Number>(attrs->objectForKey(ns::FileSize))->longLongValue(), 5);
    EXPECT_EQ(attrs->objectForKey(ns::FileType)->description(), ns::FileTypeRegular);
    auto modified = rt::cast<ns::Date>(attrs->objectForKey(ns::FileModificationDate));
    EXPECT_NEAR(modified->timeIntervalSince1970(), static_cast<double>(std::time(nullptr)), 60);
    EXPECT_EQ(fm->attributesOfItemAtPath(s / "a/b")->objectForKey(ns::FileType)->description(),
              ns::FileTypeDirectory);

    auto space = fm->attributesOfFileSystemForPath(s.root.string(), &error);
    ASSERT_TRUE(space);
    const auto size = rt::cast<ns::Number>(space->objectForKey(ns::FileSystemSize))->unsignedLongLongValue();
    const auto free =
        rt::cast<ns::Number>(space->objectForKey(ns::FileSystemFreeSize))->unsignedLongLongValue();
    EXPECT_GT(size, 0u);
    EXPECT_LE(free, size);
    EXPECT_FALSE(fm->attributesOfFileSystemForPath(s / "nothing", &error));

    EXPECT_TRUE(fm->copyItemAtPath(s / "a", s / "copy"));
    EXPECT_TRUE(fm->moveItemAtPath(s / "copy/z.txt", s / "moved.txt"));
    EXPECT_FALSE(fm->moveItemAtPath(s / "copy/empty", s / "moved.txt"));
    EXPECT_EQ(fm->contentsAtPath(s / "moved.txt")->view(), "hello");
    EXPECT_TRUE(fm->removeItemAtPath(s / "a", &error));
    EXPECT_FALSE(fm->fileExistsAtPath(s / "a"));
    EXPECT_FALSE(fm->removeItemAtPath(s / "a", &error));
    EXPECT_EQ(error->code(), ns::FileNoSuchFileError);
    EXPECT_EQ(error->userInfo()->objectForKey(ns::FilePathErrorKey)->description(), s / "a");
}

TEST(FileManager, AtomicWritesAndReads) {
    Scratch s;
    Ref<ns::Error> error;
    EXPECT_TRUE(ns::writeAtomically(s / "f.txt", "first"));
    EXPECT_TRUE(ns::writeAtomically(s / "f.txt", *ns::Data::make("second"), &error));
    EXPECT_EQ(ns::readFile(s / "f.txt")->view(), "second");
    fs::create_directories(s.root / "dir");
    EXPECT_FALSE(ns::writeAtomically(s / "dir", "x", &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->userInfo()->objectForKey(ns::FilePathErrorKey)->description(), s / "dir");
    EXPECT_TRUE(error->underlyingError());
    EXPECT_FALSE(ns::writeAtomically(s / "missing/f.txt", "x", &error));
    EXPECT_EQ(names(*ns::FileManager::defaultManager()->contentsOfDirectoryAtPath(s.root.string())),
              (std::vector<std::string>{"dir", "f.txt"})); // no temporary files left
    EXPECT_FALSE(ns::readFile(s / "missing.txt", &error));
    EXPECT_EQ(error->code(), ns::FileReadNoSuchFileError);
    EXPECT_FALSE(ns::readFile(s / "dir", &error));
    EXPECT_FALSE(ns::FileManager::defaultManager()->contentsAtPath(s / "dir"));
}

// A write killed after its file aside was written leaves it behind; the next write of the same file
// clears it, and nothing of other files.
TEST(FileManager, TheNextWriteRemovesTemporariesOfKilledWrites) {
    Scratch s;
    ASSERT_TRUE(ns::writeAtomically(s / "f.txt", "old"));
    std::vector<std::string> left;
    ns::detail::setAtomicWriteInterruption([&](const std::string& aside) {
        left.push_back(aside);
        return true; // killed here
    });
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(ns::writeAtomically(s / "f.txt", "killed " + std::to_string(i)));
    ns::detail::setAtomicWriteInterruption(nullptr);
    ASSERT_EQ(left.size(), 5u);
    EXPECT_EQ(std::set<std::string>(left.begin(), left.end()).size(), 1u) << "each write takes the one before's place";
    EXPECT_EQ(ns::readFile(left.back())->view(), "killed 4");
    EXPECT_EQ(ns::readFile(s / "f.txt")->view(), "old");
    s.write(".g.txt.functiontest-aside", "another file's");
    s.write(".f.txt.tmp.abcdef", "not a file aside");

    ASSERT_TRUE(ns::writeAtomically(s / "f.txt", "new"));
    EXPECT_EQ(ns::readFile(s / "f.txt")->view(), "new");
    EXPECT_EQ(names(*ns::FileManager::defaultManager()->contentsOfDirectoryAtPath(s.root.string())),
              (std::vector<std::string>{".f.txt.tmp.abcdef", ".g.txt.functiontest-aside", "f.txt"}));
}

TEST(FileManager, ApplicationHomeDirectories) {
    Scratch s;
    ns::ApplicationHome::setPath(s / "home");
    EXPECT_EQ(ns::ApplicationHome::path(), s / "home");
    EXPECT_EQ(ns::ApplicationHome::documentsDirectory(), s / "home/Documents");
    EXPECT_TRUE(fs::is_directory(s.root / "home/Documents"));
    EXPECT_EQ(ns::ApplicationHome::temporaryDirectory(), s / "home/tmp");
    EXPECT_TRUE(fs::is_directory(s.root / "home/tmp"));
    EXPECT_EQ(ns::temporaryDirectoryPath(), s / "home/tmp/");
    EXPECT_EQ(names(*ns::searchPathForDirectories(ns::SearchPathDirectory::Library)),
              (std::vector<std::string>{s / "home/Library"}));
    ns::ApplicationHome::setPath("");
    ::setenv("FT_APP_HOME", (s / "env-home").c_str(), 1);
    EXPECT_EQ(ns::ApplicationHome::path(), s / "env-home");
    ::unsetenv("FT_APP_HOME");
    EXPECT_NE(ns::ApplicationHome::path(), s / "env-home");
}

// ---------------------------------------------------------------------------------------------
// String services

TEST(StringServices, SplitReplaceAndTrim) {
    EXPECT_EQ(names(*ns::componentsSeparatedByString(*str("a,,b,"), ",")),
              (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(names(*ns::componentsSeparatedByString(*str(""), ",")), (std::vector<std::string>{""}));
    EXPECT_EQ(names(*ns::componentsSeparatedByString(*str("x\u2192y\u2192\U0001F600"), "\u2192")),
              (std::vector<std::string>{"x", "y", "\U0001F600"}));
    EXPECT_EQ(names(*ns::componentsSeparatedByString(*str("abc"), "")), (std::vector<std::string>{"abc"}));

    EXPECT_EQ(ns::stringByReplacingOccurrencesOfString(*str("aaaa"), "aa", "b")->utf8(), "bb");
    EXPECT_EQ(ns::stringByReplacingOccurrencesOfString(*str("aaa"), "aa", "b")->utf8(), "ba");
    EXPECT_EQ(ns::stringByReplacingOccurrencesOfString(*str("caf\u00e9 caf\u00e9"), "\u00e9", "e")->utf8(),
              "cafe cafe");
    EXPECT_EQ(ns::stringByReplacingOccurrencesOfString(*str("abc"), "", "x")->utf8(), "abc");

    EXPECT_EQ(ns::stringByTrimmingWhitespaceAndNewlines(*str("\u00a0\t\r\n x y \u2028\u3000\u0085"))->utf8(),
              "x y");
    EXPECT_EQ(ns::stringByTrimmingWhitespaceAndNewlines(*str("\u200bx"))->utf8(),
              "\u200bx"); // not white space
    EXPECT_TRUE(ns::stringByTrimmingWhitespaceAndNewlines(*str(" \n "))->isEmpty());
    EXPECT_TRUE(ns::containsString(*str("h\u00e9llo"), "\u00e9l"));
    EXPECT_FALSE(ns::containsString(*str("hello"), ""));
}

TEST(StringServices, CaseInsensitiveSearchInUTF16Units) {
    auto s = str("\U0001F600 \u00dcber STRA\u00dfE \u03a3\u039f\u03a6\u0399\u0391\u03a3 \u0416\u0443\u043a");
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*s, "\u00fcBER"), (ns::Range{3, 4}));
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*s, "stra\u00df"), (ns::Range{8, 5}));
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*s, "\u03c3\u03bf\u03c6\u03b9\u03b1\u03c2"),
              (ns::Range{15, 6}));
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*s, "\u0436\u0423\u041a"), (ns::Range{22, 3}));
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*s, "\u00fcber", {4, 10}).location, ns::NotFound);
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*s, "\u00fcber", {3, 4}), (ns::Range{3, 4}));
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*s, "").location, ns::NotFound);
    EXPECT_THROW(ns::rangeOfStringCaseInsensitive(*s, "x", {21, 5}), ns::Exception);

    EXPECT_EQ(ns::uppercaseString(*str("stra\u00dfe \u00ff \u0101 \u03c2"))->utf8(),
              "STRASSE \u0178 \u0100 \u03a3");
    EXPECT_EQ(ns::lowercaseString(*str("\u00c9COLE \u0130 \u0416 \u0178 \u0141"))->utf8(),
              "\u00e9cole i \u0436 \u00ff \u0142");
}

// Needles that almost match everywhere, and needles whose own prefix repeats: the searches behind
// find, split and replace-all must not skip a match while moving on from a near miss.
TEST(StringServices, SearchesAcrossNearMissesAndRepeatingNeedles) {
    const std::string hay(20000, 'a');
    const std::string nearMiss = std::string(999, 'a') + "b";
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*str(hay), nearMiss).location, ns::NotFound);
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*str(hay + "B"), nearMiss), (ns::Range{19001, 1000}));
    EXPECT_EQ(str(hay + "b")->rangeOfString(nearMiss), (ns::Range{19001, 1000}));
    EXPECT_EQ(str("\u00e9" + hay + "b")->rangeOfString(nearMiss), (ns::Range{19002, 1000}));
    EXPECT_FALSE(str("\u00e9" + hay)->containsString(nearMiss));

    EXPECT_EQ(str("aaab")->rangeOfString("aab"), (ns::Range{1, 3}));
    EXPECT_EQ(str("\u00e9abababac")->rangeOfString("ababac"), (ns::Range{3, 6}));
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*str("xAbAbAbAC"), "ABABAC"), (ns::Range{3, 6}));
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*str("abcABCabc"), "bCa", {2, 6}), (ns::Range{4, 3}));
    EXPECT_EQ(ns::rangeOfStringCaseInsensitive(*str("abcABCabc"), "bCa", {2, 4}).location, ns::NotFound);
    EXPECT_EQ(names(*ns::componentsSeparatedByString(*str("ababa\u00e9aba"), "aba")),
              (std::vector<std::string>{"", "ba\u00e9", ""}));
    EXPECT_EQ(ns::stringByReplacingOccurrencesOfString(*str("aaaa\u00e9aa"), "aa", "b")->utf8(), "bb\u00e9b");
}

// Walking a long run of flags pair by pair gives every pair, as walking a short one does.
TEST(String, WalkingALongRunOfFlagsByComposedCharacters) {
    std::string flags;
    for (int i = 0; i < 5000; ++i)
        flags += i % 2 ? "\U0001F1EB\U0001F1F7" : "\U0001F1E9\U0001F1EA"; // FR, DE
    auto s = str("x" + flags + "\u0301y");
    std::size_t at = 1, pairs = 0;
    while (at < s->length() - 1) {
        const ns::Range r = s->rangeOfComposedCharacterSequenceAtIndex(at);
        ASSERT_EQ(r.location, at);
        ASSERT_EQ(r.length, pairs + 1 == 5000 ? 5u : 4u) << pairs; // the last flag takes the accent
        at = r.max();
        ++pairs;
    }
    EXPECT_EQ(pairs, 5000u);
}

TEST(StringServices, PercentEncoding) {
    EXPECT_EQ(ns::stringByRemovingPercentEncoding("caf%C3%a9%20a+b"), "caf\u00e9 a+b");
    EXPECT_EQ(ns::stringByRemovingPercentEncoding("plain"), "plain");
    for (const char* bad : {"%ZZ", "%4", "%", "a%G1", "%C3", "%FF", "%C0%AF", "%ED%A0%80"})
        EXPECT_FALSE(ns::stringByRemovingPercentEncoding(bad)) << bad;
    const std::string value = "a b&c=d/e?f#g+h\u00e9~";
    const std::string encoded = ns::stringByAddingPercentEncoding(value);
    EXPECT_EQ(encoded, "a%20b%26c%3Dd%2Fe%3Ff%23g%2Bh%C3%A9~");
    EXPECT_EQ(ns::stringByRemovingPercentEncoding(encoded), value);
}

TEST(StringServices, PathComponents) {
    EXPECT_EQ(ns::stringByAppendingPathComponent("/a/", "/b/"), "/a/b");
    EXPECT_EQ(ns::stringByAppendingPathComponent("", "b"), "b");
    EXPECT_EQ(ns::stringByAppendingPathComponent("/", "b"), "/b");
    EXPECT_EQ(ns::lastPathComponent("/a/b.txt/"), "b.txt");
    EXPECT_EQ(ns::lastPathComponent("/"), "/");
    EXPECT_EQ(ns::stringByDeletingLastPathComponent("/a/b"), "/a");
    EXPECT_EQ(ns::stringByDeletingLastPathComponent("/a"), "/");
    EXPECT_EQ(ns::stringByDeletingLastPathComponent("a"), "");
    EXPECT_EQ(ns::pathExtension("/x/archive.tar.gz"), "gz");
    EXPECT_EQ(ns::pathExtension("/x.d/.hidden"), "");
    EXPECT_EQ(ns::stringByDeletingPathExtension("/x/a.json"), "/x/a");
    EXPECT_EQ(ns::stringByAppendingPathExtension("/x/a/", "json"), "/x/a.json");
}

// ---------------------------------------------------------------------------------------------
// Date formatter

// Restores the locale and TZ on exit.
struct LocaleAndZone {
    std::string locale = std::setlocale(LC_ALL, nullptr);
    std::optional<std::string> tz = [] {
        const char* v = std::getenv("TZ");
        return v ? std::optional<std::string>(v) : std::nullopt;
    }();
    std::string zone = ns::TimeZone::systemTimeZone()->name()->utf8();
    ~LocaleAndZone() {
        ns::TimeZone::setSystemTimeZoneName(zone);
        std::setlocale(LC_ALL, locale.c_str());
        if (tz)
            ::setenv("TZ", tz->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
};

TEST(DateFormatter, IsoPatternWhateverTheLocaleAndZone) {
    LocaleAndZone restore;
    // ^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d{4}$, one character at a time.
    auto shaped = [](const std::string& text) {
        const std::string_view form = "dddd-dd-ddTdd:dd:dd#dddd";
        if (text.size() != form.size()) return false;
        for (std::size_t i = 0; i < form.size(); ++i) {
            const char c = text[i];
            if (form[i] == 'd'   ? !(c >= '0' && c <= '9')
                : form[i] == '#' ? c != '+' && c != '-'
                                 : c != form[i])
                return false;
        }
        return true;
    };
    auto formatter = ns::DateFormatter::withFormat("yyyy-MM-dd'T'HH:mm:ssZ");
    int localesTried = 0;
    for (const char* locale : {"C", "C.UTF-8", "POSIX", "de_DE.UTF-8", "ar_SA.UTF-8", "th_TH.UTF-8",
                               "fa_IR.UTF-8", "hi_IN.UTF-8", "ja_JP.UTF-8"}) {
        if (!std::setlocale(LC_ALL, locale)) continue;
        ++localesTried;
        for (const char* tz : {"UTC0", "IST-5:30", "NST3:30", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
            ns::TimeZone::setSystemTimeZoneName(tz);
            for (double t : {0.0, 788918400.0, -3e9, 1e9 + 0.75}) {
                auto date = ns::Date::withTimeIntervalSinceReferenceDate(t);
                const std::string text = formatter->stringFromDate(*date)->utf8();
                EXPECT_TRUE(shaped(text)) << locale << " " << tz << " " << text;
                auto back = formatter->dateFromString(text);
                ASSERT_TRUE(back) << text;
                EXPECT_EQ(back->timeIntervalSinceReferenceDate(), std::floor(t)) << text;
            }
        }
    }
    EXPECT_GE(localesTried, 2);
    // The device's zone decides, never the host's.
    ns::TimeZone::setSystemTimeZoneName("IST-5:30");
    for (const char* host : {"UTC0", "NST3:30"}) {
        ::setenv("TZ", host, 1);
        ::tzset();
        EXPECT_EQ(formatter->stringFromDate(*ns::Date::withTimeIntervalSince1970(0))->utf8(),
                  "1970-01-01T05:30:00+0530")
            << host;
    }
    EXPECT_EQ(std::getenv("TZ"), std::string("NST3:30")) << "the host's zone is left as it was";
    ns::TimeZone::setSystemTimeZoneName("UTC");
    EXPECT_EQ(formatter->stringFromDate(*ns::Date::withTimeIntervalSince1970(0))->utf8(),
              "1970-01-01T00:00:00+0000");
}

// The default zone follows the system's until one is set, and again once it is cleared.
TEST(TimeZone, TheDefaultFollowsTheSystemUnlessSet) {
    LocaleAndZone restore;
    auto name = [](const rt::Ref<ns::TimeZone>& zone) { return zone->name()->utf8(); };
    ns::TimeZone::setSystemTimeZoneName("Europe/Berlin");
    EXPECT_EQ(name(ns::TimeZone::defaultTimeZone()), "Europe/Berlin");
    auto berlin = ns::TimeZone::defaultTimeZone();
    ns::TimeZone::setSystemTimeZoneName("Asia/Tokyo");
    ns::TimeZone::setDefaultTimeZone(berlin);
    EXPECT_EQ(name(ns::TimeZone::defaultTimeZone()), "Europe/Berlin");
    EXPECT_EQ(name(ns::TimeZone::systemTimeZone()), "Asia/Tokyo");
    ns::TimeZone::setDefaultTimeZone(nullptr);
    EXPECT_EQ(name(ns::TimeZone::defaultTimeZone()), "Asia/Tokyo");
}

TEST(DateFormatter, FixedPatternsAndZones) {
    // 2024-02-29 13:05:09.250 UTC, a Thursday.
    auto date = ns::Date::withTimeIntervalSince1970(1709211909.25);
    auto f = ns::DateFormatter::withFormat("yyyy-MM-dd HH:mm:ss", 3600);
    EXPECT_EQ(f->stringFromDate(*date)->utf8(), "2024-02-29 14:05:09");
    const std::pair<const char*, const char*> cases[] = {
        {"yyyyMMddHHmmss", "20240229130509"},
        {"yyyy-MM-dd", "2024-02-29"},
        {"yyyy-MM-dd'T'HH:mm:ss.SSSZ", "2024-02-29T13:05:09.250+0000"},
        {"h:mm a, EEE d MMM yy", "1:05 PM, Thu 29 Feb 24"},
        {"EEEE, MMMM d 'o''clock' ZZZZZ", "Thursday, February 29 o'clock Z"},
    };
    for (auto [pattern, expected] : cases) {
        f->setDateFormat(pattern);
        f->setTimeZone(0);
        EXPECT_EQ(f->stringFromDate(*date)->utf8(), expected) << pattern;
    }
    f->setDateFormat("yyyy-MM-dd HH:mm Z");
    f->setTimeZone(-12600);
    EXPECT_EQ(f->stringFromDate(*date)->utf8(), "2024-02-29 09:35 -0330");
    EXPECT_EQ(f->timeZone(), -12600);

    f->setDateFormat("yyyyMMddHHmmss");
    f->setTimeZone(0);
    EXPECT_EQ(f->dateFromString("20240229130509")->timeIntervalSince1970(), 1709211909.0);
    EXPECT_FALSE(f->dateFromString("202402291305"));
    EXPECT_FALSE(f->dateFromString("2024022913050x"));
    f->setDateFormat("yyyy-MM-dd'T'HH:mm:ss.SSSZ");
    EXPECT_EQ(f->dateFromString("2024-02-29T18:35:09.250+05:30")->timeIntervalSince1970(), 1709211909.25);
    EXPECT_EQ(f->dateFromString("2024-02-29T13:05:09.250Z")->timeIntervalSince1970(), 1709211909.25);
    f->setDateFormat("yyyy-MM-dd");
    for (const char* bad :
         {"2024-02-30", "2023-02-29", "2024-13-01", "2024-00-10", "2024-02-29 ", "2024/02/29", ""})
        EXPECT_FALSE(f->dateFromString(bad)) << bad;
    EXPECT_EQ(f->dateFromString("1600-02-29")->timeIntervalSince1970(), -11670998400.0);
    f->setDateFormat("HH:mm");
    EXPECT_EQ(f->stringFromDate(*f->dateFromString("23:59"))->utf8(), "23:59");
    f->setDateFormat("yyyy-MM-dd HH:mm");
    EXPECT_EQ(f->dateFromString("2000-01-01 00:00")->timeIntervalSince1970(), 946684800.0);

    EXPECT_EQ(ns::millisecondsSince1970(*date), 1709211909250);
    EXPECT_EQ(ns::millisecondsSince1970(*ns::Date::withTimeIntervalSince1970(-0.0005)), -1);
}

// ---------------------------------------------------------------------------------------------
// Regular expressions

// Huge years and long runs of digits give nil; nothing overflows on the way to a date or back.
TEST(DateFormatter, HugeYearsAndLongNumbers) {
    auto iso = ns::DateFormatter::withFormat("yyyy-MM-dd", 0);
    for (const char* text :
         {"9999999999-01-01", "200001-01-01", "99999999999999999999-01-01", "2024-0000000000001-01"})
        EXPECT_FALSE(iso->dateFromString(text)) << text;
    auto far = iso->dateFromString("200000-12-31");
    ASSERT_TRUE(far);
    EXPECT_EQ(iso->stringFromDate(*far)->utf8(), "200000-12-31");
    EXPECT_EQ(ns::millisecondsSince1970(*far) / 1000, static_cast<long long>(far->timeIntervalSince1970()));

    const std::string letters(25, 'y');
    auto wide = ns::DateFormatter::withFormat(letters + "MM", 0);
    EXPECT_FALSE(wide->dateFromString(std::string(25, '9') + "01"));
    EXPECT_FALSE(wide->dateFromString(std::string(19, '9') + "01"));
    EXPECT_TRUE(ns::DateFormatter::withFormat("yyyyMMdd", 0)->dateFromString("20240229"));

    EXPECT_EQ(ns::millisecondsSince1970(*ns::Date::withTimeIntervalSince1970(1e300)),
              std::numeric_limits<long long>::max());
    EXPECT_EQ(ns::millisecondsSince1970(*ns::Date::withTimeIntervalSince1970(-HUGE_VAL)),
              std::numeric_limits<long long>::min());
    EXPECT_EQ(ns::millisecondsSince1970(*ns::Date::withTimeIntervalSince1970(std::nan(""))), 0);
}

TEST(RegularExpression, BadPatternsGiveAnError) {
    Ref<ns::Error> error;
    EXPECT_FALSE(ns::RegularExpression::make("(unclosed", false, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ns::FormattingError);
    EXPECT_EQ(error->userInfo()->objectForKey("NSInvalidValue")->description(), "(unclosed");
    EXPECT_FALSE(ns::RegularExpression::make("[z-a]"));
    EXPECT_TRUE(ns::RegularExpression::make("ok"));
}

TEST(RegularExpression, MatchRangesAreInUTF16Units) {
    auto s = str("h\u00e9llo \U0001F600 w\u00f6rld 42 \U0001F600x");
    auto re = ns::RegularExpression::make(R"((w\S+)\s(\d+)(z)?)");
    ASSERT_TRUE(re);
    EXPECT_EQ(re->numberOfCaptureGroups(), 3u);
    auto m = re->firstMatchInString(*s);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->range(), s->rangeOfString("w\u00f6rld 42"));
    EXPECT_EQ(m->rangeAtIndex(1), s->rangeOfString("w\u00f6rld"));
    EXPECT_EQ(m->rangeAtIndex(2), s->rangeOfString("42"));
    EXPECT_EQ(m->rangeAtIndex(3).location, ns::NotFound);
    EXPECT_THROW(m->rangeAtIndex(4), ns::Exception);

    // '.' takes a whole character, even outside the basic plane.
    auto dot = ns::RegularExpression::make(R"(\s(.)x)");
    auto emoji = dot->firstMatchInString(*s);
    ASSERT_TRUE(emoji);
    EXPECT_EQ(emoji->rangeAtIndex(1), (ns::Range{s->length() - 3, 2}));
    // Limited to a range: the first emoji is outside it.
    auto any = ns::RegularExpression::make("\U0001F600");
    EXPECT_EQ(any->numberOfMatchesInString(*s), 2u);
    EXPECT_EQ(any->numberOfMatchesInString(*s, {8, s->length() - 8}), 1u);
    EXPECT_EQ(any->firstMatchInString(*s, {8, s->length() - 8})->range().location, s->length() - 3);
    EXPECT_THROW(any->firstMatchInString(*s, {1, s->length()}), ns::Exception);
    EXPECT_EQ(ns::RegularExpression::make("x*")->numberOfMatchesInString(*str("a\u00e9")), 3u);
    EXPECT_EQ(ns::RegularExpression::make("^llo")->numberOfMatchesInString(*s, {2, 3}), 1u);
}

TEST(RegularExpression, ReplacingAndCaseInsensitive) {
    auto re = ns::RegularExpression::make(R"((\w+)=(\d+))");
    auto s = str("\u00e9 a=1, bb=22; c=x");
    EXPECT_EQ(re->stringByReplacingMatchesInString(*s, "$2:$1 \\$9")->utf8(), "\u00e9 1:a $9, 22:bb $9; c=x");
    EXPECT_EQ(re->stringByReplacingMatchesInString(*s, {0, 6}, "<$0>")->utf8(), "\u00e9 <a=1>, bb=22; c=x");
    auto matches = re->matchesInString(*s, {0, s->length()});
    ASSERT_EQ(matches->count(), 2u);
    EXPECT_EQ(rt::cast<ns::TextCheckingResult>(matches->objectAtIndex(1))->rangeAtIndex(1),
              (ns::Range{7, 2}));
    auto icase = ns::RegularExpression::make("hello", true);
    EXPECT_TRUE(icase->firstMatchInString(*str("Say HeLLo")));
    EXPECT_FALSE(ns::RegularExpression::make("hello")->firstMatchInString(*str("Say HeLLo")));
}

// Long texts run on the calling thread's stack without deepening it, and patterns that would
// backtrack without end stop at the matcher's limits: no match, and a line in the log.
TEST(RegularExpression, LongTextsAndRunawayPatternsEndAtTheLimits) {
    auto longText = ns::String::make(std::string(200000, 'a') + "\n");
    auto all = ns::RegularExpression::make(".*")->firstMatchInString(*longText);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->range(), (ns::Range{0, 200000}));
    auto groups = ns::RegularExpression::make("(.)*")->firstMatchInString(*longText);
    ASSERT_TRUE(groups);
    EXPECT_EQ(groups->rangeAtIndex(1), (ns::Range{199999, 1}));

    auto as = ns::String::make(std::string(30, 'a') + "!");
    for (const char* runaway : {"^(a*)*$", "(a+)+[bc]", "^(a|aa)*$"}) {
        ns::CapturedLog log;
        auto re = ns::RegularExpression::make(runaway);
        ASSERT_TRUE(re) << runaway;
        EXPECT_FALSE(re->firstMatchInString(*as)) << runaway;
        EXPECT_EQ(re->numberOfMatchesInString(*as), 0u) << runaway;
        EXPECT_TRUE(log.contains("limit")) << runaway;
    }
    EXPECT_FALSE(ns::RegularExpression::make("(a*)*b")->firstMatchInString(*as));
}

// What a detector finds: each match as "<type> <matched text> = <payload>", in text order.
TEST(DataDetector, FindsEachKindInTextOrderWithoutOverlap) {
    using T = std::uint64_t;
    namespace k = ns::TextCheckingType;
    const T all = k::Link | k::PhoneNumber | k::Date | k::Address | k::TransitInformation;
    struct Case {
        const char* text;
        T types;
        std::vector<std::string> found;
    } cases[] = {
        {"mail ann@example.org, or see www.example.com/a.", k::Link,
         {"32 ann@example.org = mailto:ann@example.org", "32 www.example.com/a = http://www.example.com/a"}},
        {"go to https://example.com/x?y=1). now", k::Link, {"32 https://example.com/x?y=1 = https://example.com/x?y=1"}},
        {"seven 555 0100 fifteen +44 (20) 7946 0958 123 six 555 010 sixteen 1234567890123456", k::PhoneNumber,
         {"2048 555 0100 = 555 0100", "2048 +44 (20) 7946 0958 123 = +44 (20) 7946 0958 123"}},
        {"on 2024-01-05 or 1/5/2024 2:30 PM or January 5, 2024, not 2024-02-30", k::Date,
         {"8 2024-01-05 = 2024-01-05 00:00", "8 1/5/2024 2:30 PM = 2024-01-05 14:30", "8 January 5, 2024 = 2024-01-05 00:00"}},
        {"at 2024-01-05T10:30 call 555 0100", all, {"8 2024-01-05T10:30 = 2024-01-05 10:30", "2048 555 0100 = 555 0100"}},
        {"ship to 1 Main Street, Springfield, IL 62701.", k::Address,
         {"16 1 Main Street, Springfield, IL 62701 = Street=1 Main Street City=Springfield State=IL ZIP=62701"}},
        // A date's digits are no phone number; the URL's digits stay in the URL.
        {"2024-01-05 10:30 https://a.example/5550100123", k::Date | k::PhoneNumber | k::Link,
         {"8 2024-01-05 10:30 = 2024-01-05 10:30", "32 https://a.example/5550100123 = https://a.example/5550100123"}},
        {"take the 5 train at 4 Elm Ave", k::TransitInformation, {}},
    };
    auto day = ns::DateFormatter::withFormat("yyyy-MM-dd HH:mm");
    for (const Case& c : cases) {
        auto text = ns::String::make(c.text);
        auto detector = ns::DataDetector::dataDetectorWithTypes(c.types);
        ASSERT_TRUE(detector) << c.text;
        auto matches = detector->matchesInString(*text);
        std::vector<std::string> found;
        for (std::size_t i = 0; i < matches->count(); ++i) {
            auto r = rt::cast<ns::TextCheckingResult>(matches->objectAtIndex(i));
            std::string payload;
            if (r->URL()) payload = r->URL()->absoluteString()->utf8();
            if (r->phoneNumber()) payload = r->phoneNumber()->utf8();
            if (r->date()) payload = day->stringFromDate(*r->date())->utf8();
            if (auto parts = r->addressComponents())
                for (const char* key : {"Street", "City", "State", "ZIP"})
                    payload += std::string(payload.empty() ? "" : " ") + key + "=" +
                               rt::cast<ns::String>(parts->objectForKey(key))->utf8();
            EXPECT_FALSE(r->timeZone());
            found.push_back(std::to_string(r->resultType()) + " " + text->substringWithRange(r->range())->utf8() +
                            " = " + payload);
        }
        EXPECT_EQ(found, c.found) << c.text;
    }
    Ref<ns::Error> error;
    EXPECT_FALSE(ns::DataDetector::dataDetectorWithTypes(k::Link | k::Grammar, &error));
    EXPECT_TRUE(error);
    EXPECT_FALSE(ns::DataDetector::dataDetectorWithTypes(0));
}

TEST(DateFormatter, DateAndTimeStylesOfTheFixedLocale) {
    using S = ns::DateFormatterStyle;
    auto date = ns::DateFormatter::withFormat("yyyy-MM-dd HH:mm:ss", 0)->dateFromString("2024-01-05 14:30:09");
    struct Case {
        S date, time;
        const char* text;
    } cases[] = {{S::None, S::Short, "2:30 PM"},
                 {S::Medium, S::None, "Jan 5, 2024"},
                 {S::Short, S::Short, "1/5/24, 2:30 PM"},
                 {S::Long, S::Medium, "January 5, 2024 at 2:30:09 PM"},
                 {S::Full, S::Full, "Friday, January 5, 2024 at 2:30:09 PM GMT"}};
    for (const Case& c : cases) {
        auto formatter = ns::DateFormatter::withStyles(c.date, c.time);
        formatter->setTimeZone(0);
        EXPECT_EQ(formatter->stringFromDate(*date)->utf8(), c.text);
    }
}

TEST(RegularExpression, StackedQuantifiersDoNotCompile) {
    for (const char* stacked : {"a**", "a*+*", "a{2}{3}", "(x)+*"}) {
        Ref<ns::Error> error;
        EXPECT_FALSE(ns::RegularExpression::make(stacked, false, &error)) << stacked;
        ASSERT_TRUE(error) << stacked;
        EXPECT_EQ(error->code(), ns::FormattingError);
        EXPECT_NE(
            error->userInfo()->objectForKey(ns::DebugDescriptionErrorKey)->description().find("stacked"),
            std::string::npos);
    }
    // A lazy or possessive mark is no second quantifier.
    EXPECT_TRUE(ns::RegularExpression::make("a*?b"));
    EXPECT_TRUE(ns::RegularExpression::make("a*+b"));
}

// Lone surrogates in the text are matched by nothing, and the rest of the text still matches, in
// UTF-16 ranges.
TEST(RegularExpression, TextWithLoneSurrogates) {
    auto s = ns::String::fromUTF16(std::u16string{u'a', 0xD800, u'b', 0xDC00, u'c', u'\u00e9'});
    auto re = ns::RegularExpression::make("[a-z\u00e9]");
    EXPECT_EQ(re->numberOfMatchesInString(*s), 4u);
    auto last = rt::cast<ns::TextCheckingResult>(re->matchesInString(*s, {0, s->length()})->lastObject());
    EXPECT_EQ(last->range(), (ns::Range{5, 1}));
    EXPECT_EQ(ns::RegularExpression::make("x*")->numberOfMatchesInString(*s), 7u);
    EXPECT_EQ(ns::RegularExpression::make("\u00c9", true)->firstMatchInString(*s)->range(),
              (ns::Range{5, 1}));
}

} // namespace
