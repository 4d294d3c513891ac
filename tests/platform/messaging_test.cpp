#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "tests/testkit/class_names.h"

namespace {

struct GadgetPoint {
    double x, y;
};
struct GadgetSize {
    double width, height;
};
struct GadgetRect {
    GadgetPoint origin;
    GadgetSize size;
};

} // namespace

template <>
struct rt::StructEncoding<GadgetPoint> {
    static constexpr const char* value = "{CGPoint=dd}";
};
template <>
struct rt::StructEncoding<GadgetRect> {
    static constexpr const char* value = "{CGRect={CGPoint=dd}{CGSize=dd}}";
};

namespace {

using rt::Id;
using rt::Ref;
using rt::Sel;

class Gadget : public rt::Object {
    RT_CLASS(Gadget)
public:
    // Records what it received, and answers with something computed from all of it.
    double configure(bool enabled, int count, double ratio, GadgetRect frame, Ref<Gadget> peer) {
        ++calls;
        this->enabled = enabled;
        this->count = count;
        this->ratio = ratio;
        this->frame = frame;
        this->peer = peer;
        return (enabled ? 1000 : 0) + count * ratio + frame.size.width;
    }
    GadgetRect bounds() const { return {{0, 0}, frame.size}; }
    void reset() { ++calls; }
    Ref<Gadget> peerOf() const { return peer; }
    int apply(std::function<int(int)> block, const char* label, const rt::Class* cls) {
        this->label = label ? label : "";
        this->cls = cls;
        return block ? block(count) : -1;
    }
    static int version() { return 3; }

    int calls = 0;
    bool enabled = false;
    int count = 0;
    double ratio = 0;
    GadgetRect frame{};
    Ref<Gadget> peer;
    std::string label;
    const rt::Class* cls = nullptr;
};

RT_DEFINE_CLASS(Gadget, "Gadget", rt::Object, rt::method("configure:count:ratio:frame:peer:", &Gadget::configure),
                rt::method("bounds", &Gadget::bounds), rt::method("reset", &Gadget::reset),
                rt::method("peer", &Gadget::peerOf), rt::method("apply:label:class:", &Gadget::apply),
                rt::classMethod("version", &Gadget::version))

// Keeps what reaches its forwardInvocation, then lets the default handle it.
class Forwarder : public Gadget {
    RT_CLASS(Forwarder)
public:
    void forwardInvocation(rt::Invocation& invocation) override {
        forwarded.emplace_back(invocation.selector().name());
        const rt::Slot* first = invocation.argument(2);
        firstArgument = first ? ns::box(*first, invocation.signature().argumentType(2).encoding) : Id();
        rt::Object::forwardInvocation(invocation);
    }
    std::vector<std::string> forwarded;
    Id firstArgument;
};
RT_DEFINE_CLASS(Forwarder, "Forwarder", Gadget)

const GadgetRect kFrame{{1, 2}, {30, 40}};

// A runtime subclass of Gadget; classes live for the process, so a repeated run makes another.
rt::Class* gadgetSubclass(const std::string& base) {
    return rt::Class::createSubclass(testkit::uniqueClassName(base), Gadget::staticClass(),
                                     Gadget::staticClass());
}

TEST(MessagesByName, TypedMethodAnswersWithTheBoxedResult) {
    auto gadget = rt::make<Gadget>();
    auto peer = rt::make<Gadget>();
    Sel configure("configure:count:ratio:frame:peer:");
    EXPECT_EQ(Gadget::staticClass().instanceMethod(configure)->types, "d@:Bid{CGRect={CGPoint=dd}{CGSize=dd}}@");

    auto result = rt::cast<ns::Number>(rt::send(gadget, configure, true, 3, 2.5, kFrame, peer));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->objCType(), "d");
    EXPECT_EQ(result->doubleValue(), 1000 + 7.5 + 30);
    EXPECT_TRUE(gadget->enabled);
    EXPECT_EQ(gadget->count, 3);
    EXPECT_EQ(gadget->ratio, 2.5);
    EXPECT_EQ(std::memcmp(&gadget->frame, &kFrame, sizeof(GadgetRect)), 0);
    EXPECT_EQ(gadget->peer, peer);

    // The same message with a typed result, and the other shapes of result.
    EXPECT_EQ(rt::send<double>(gadget, configure, false, 2, 0.5, kFrame, Id()), 31.0);
    EXPECT_FALSE(gadget->peer);
    auto bounds = rt::cast<ns::Value>(rt::send(gadget, Sel("bounds")));
    ASSERT_TRUE(bounds);
    EXPECT_EQ(bounds->objCType(), "{CGRect={CGPoint=dd}{CGSize=dd}}");
    EXPECT_EQ(bounds->get<GadgetRect>().size.height, 40);
    EXPECT_EQ(rt::send<GadgetRect>(gadget, Sel("bounds")).size.width, 30);
    EXPECT_FALSE(rt::send(gadget, Sel("reset")));
    gadget->peer = peer;
    EXPECT_EQ(rt::send(gadget, Sel("peer")), peer);
    EXPECT_EQ(rt::send<Ref<Gadget>>(gadget, Sel("peer")), peer);
    gadget->peer = nullptr;
}

TEST(MessagesByName, BlocksTextAndClassesTravelAsArguments) {
    auto gadget = rt::make<Gadget>();
    gadget->count = 20;
    Sel apply("apply:label:class:");
    EXPECT_EQ(Gadget::staticClass().instanceMethod(apply)->types, "i@:@?r*#");
    std::function<int(int)> twice = [](int n) { return n * 2; };
    EXPECT_EQ(rt::send<int>(gadget, apply, twice, "label", &rt::Object::staticClass()), 40);
    EXPECT_EQ(gadget->label, "label");
    EXPECT_EQ(gadget->cls, &rt::Object::staticClass());
    // A block of another signature, and no block at all, reach the method as no block.
    std::function<void()> other = [] {};
    EXPECT_EQ(rt::send<int>(gadget, apply, other, nullptr, nullptr), -1);
    EXPECT_EQ(rt::send<int>(gadget, apply, nullptr, "", nullptr), -1);
}

TEST(MessagesByName, ArgumentsAreConvertedToTheMethodsTypesOrTheMessageIsRefused) {
    ns::CapturedLog log;
    auto gadget = rt::make<Gadget>();
    Sel configure("configure:count:ratio:frame:peer:");
    // Numbers convert: a double into "i" truncates, an int into "d" widens, a number into "B" tests non-zero.
    rt::send(gadget, configure, 2, 2.9, 4, kFrame, nullptr);
    EXPECT_TRUE(gadget->enabled);
    EXPECT_EQ(gadget->count, 2);
    EXPECT_EQ(gadget->ratio, 4.0);
    // Out of an integer's range, a double is held to it.
    rt::send(gadget, configure, true, 1e300, 1, kFrame, nullptr);
    EXPECT_EQ(gadget->count, std::numeric_limits<int>::max());
    EXPECT_TRUE(log.lines().empty());

    int calls = gadget->calls;
    // An object for a number, a struct of another size, a wrong count: logged, and nothing runs.
    EXPECT_EQ(rt::send<double>(gadget, configure, true, ns::num(1), 1.0, kFrame, nullptr), 0.0);
    EXPECT_TRUE(log.contains("-[Gadget configure:count:ratio:frame:peer:]: argument 3 does not fit its type \"i\""));
    EXPECT_FALSE(rt::send(gadget, configure, true, 1, 1.0, GadgetPoint{1, 2}, nullptr));
    EXPECT_TRUE(log.contains("argument 5 does not fit"));
    EXPECT_FALSE(rt::send(gadget, configure, true, 1));
    EXPECT_TRUE(log.contains("sent with 2 arguments; the method takes 5"));
    EXPECT_EQ(gadget->calls, calls);

    // Nil answers every message with zero, silently.
    std::size_t lines = log.lines().size();
    EXPECT_EQ(rt::send<int>(static_cast<rt::Object*>(nullptr), Sel("count")), 0);
    EXPECT_FALSE(rt::send(Ref<Gadget>(), configure, true));
    EXPECT_EQ(log.lines().size(), lines);
}

TEST(MessagesByName, RespondsToSelectorFollowsTheRegistrations) {
    auto gadget = rt::make<Gadget>();
    auto forwarder = rt::make<Forwarder>();
    Sel bounds("bounds"), unknown("frobnicate:");
    EXPECT_TRUE(gadget->respondsToSelector(bounds));
    EXPECT_TRUE(forwarder->respondsToSelector(bounds)); // inherited
    EXPECT_FALSE(gadget->respondsToSelector(unknown));
    EXPECT_FALSE(gadget->respondsToSelector(Sel("version"))); // a class method, not an instance one
    const rt::MethodSignature* signature = gadget->methodSignatureForSelector(Sel("configure:count:ratio:frame:peer:"));
    ASSERT_TRUE(signature);
    EXPECT_EQ(signature->numberOfArguments(), 7u);
    EXPECT_EQ(signature->argumentType(5).size, 32u);
    EXPECT_EQ(gadget->methodSignatureForSelector(unknown), nullptr);

    // A method added at run time answers at once, on this thread and on one that asked before.
    rt::Class* sub = gadgetSubclass("Gadget_Responding");
    gadget->setActualClass(*sub);
    std::promise<void> added;
    std::future<void> addedFuture = added.get_future();
    std::promise<bool> before;
    std::future<bool> beforeFuture = before.get_future();
    bool after = false;
    std::thread other([&] {
        before.set_value(gadget->respondsToSelector(unknown));
        addedFuture.wait();
        after = gadget->respondsToSelector(unknown);
    });
    EXPECT_FALSE(beforeFuture.get());
    ASSERT_TRUE(sub->addInstanceMethod(unknown, "v@:i", [](rt::Object&, std::span<const Id>) { return Id(); }));
    added.set_value();
    other.join();
    EXPECT_TRUE(after);
    EXPECT_TRUE(gadget->respondsToSelector(unknown));
    EXPECT_FALSE(forwarder->respondsToSelector(unknown));
}

TEST(MessagesByName, AnUnknownSelectorIsForwardedThenNotRecognized) {
    ns::CapturedLog log;
    auto forwarder = rt::make<Forwarder>();
    EXPECT_FALSE(rt::send(forwarder, Sel("frobnicate:"), 7));
    EXPECT_EQ(rt::send<double>(forwarder, Sel("frobnicate:"), 7), 0.0);
    ASSERT_EQ(forwarder->forwarded.size(), 2u);
    EXPECT_EQ(forwarder->forwarded[0], "frobnicate:");
    // Without a method, the message carries the arguments it was sent with.
    auto first = rt::cast<ns::Number>(forwarder->firstArgument);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->intValue(), 7);
    EXPECT_TRUE(log.contains("-[Forwarder frobnicate:]: unrecognized selector sent to instance 0x"));
    forwarder->firstArgument = nullptr;

    // Class messages have no forwarding: an unknown one is logged.
    EXPECT_EQ(rt::send<int>(Gadget::staticClass(), Sel("version")), 3);
    EXPECT_EQ(rt::send<int>(Forwarder::staticClass(), Sel("version")), 3); // inherited
    EXPECT_FALSE(rt::send(Gadget::staticClass(), Sel("frobnicate")));
    EXPECT_TRUE(log.contains("+[Gadget frobnicate]: unrecognized selector sent to class 0x"));
}

TEST(MessagesByName, TheForwardingEntryIsMarkedAndClassHooksComeFirst) {
    ns::CapturedLog log;
    auto gadget = rt::make<Gadget>();
    auto other = rt::make<Gadget>();
    rt::Class* sub = gadgetSubclass("Gadget_Forwarding");
    Sel reset("reset");
    std::vector<std::string> seen;
    rt::Imp previous;
    sub->setMessageHooks({.forwardInvocation =
                              [&](rt::Object& receiver, rt::Invocation& call) {
                                  seen.emplace_back(call.selector().name());
                                  if (call.selector() == reset) call.invokeUsing(previous);
                                  else receiver.forwardInvocation(call);
                              },
                          .respondsToSelector =
                              [&](const rt::Object& receiver, Sel sel) {
                                  return &receiver == other.get() || receiver.actualClass().instancesRespondToSelector(sel);
                              }});
    // As interception does: the inherited implementation kept aside, the forwarding entry in its place.
    previous = sub->instanceMethod(reset)->imp;
    EXPECT_FALSE(previous.isForwarding());
    EXPECT_FALSE(sub->replaceInstanceMethod(reset, "v@:", rt::Imp::forwarding())); // the class had none of its own
    EXPECT_TRUE(sub->immediateInstanceMethod(reset)->imp.isForwarding());
    EXPECT_FALSE(Gadget::staticClass().instanceMethod(reset)->imp.isForwarding());

    gadget->setActualClass(*sub);
    other->setActualClass(*sub);
    rt::send(gadget, reset);
    EXPECT_EQ(gadget->calls, 1); // the previous implementation, run by the hook
    rt::send(gadget, Sel("frobnicate"));
    EXPECT_EQ(seen, (std::vector<std::string>{"reset", "frobnicate"}));
    EXPECT_TRUE(log.contains("-[Gadget frobnicate]: unrecognized selector")); // passed on to the object's own
    EXPECT_FALSE(gadget->respondsToSelector(Sel("frobnicate")));
    EXPECT_TRUE(other->respondsToSelector(Sel("frobnicate")));
}

TEST(MessagesByName, ImplementationsMadeAtRunTimeTakeBoxedArguments) {
    ns::CapturedLog log;
    auto gadget = rt::make<Gadget>();
    rt::Class* sub = gadgetSubclass("Gadget_Boxed");
    gadget->setActualClass(*sub);
    std::vector<std::string> received;
    ASSERT_TRUE(sub->addInstanceMethod(Sel("scale:by:"), "i@:Bd", [&](rt::Object&, std::span<const Id> args) -> Id {
        for (const Id& a : args) received.push_back(std::string(rt::cast<ns::Number>(a)->objCType()));
        return ns::num(rt::cast<ns::Number>(args[1])->doubleValue() * 2);
    }));
    EXPECT_EQ(rt::send<int>(gadget, Sel("scale:by:"), true, 4), 8);
    EXPECT_EQ(received, (std::vector<std::string>{"B", "d"}));
    auto boxed = rt::cast<ns::Number>(rt::send(gadget, Sel("scale:by:"), false, 1.5));
    ASSERT_TRUE(boxed);
    EXPECT_EQ(boxed->objCType(), "i");
    EXPECT_EQ(boxed->intValue(), 3);

    // A result that is not the method's type gives zero and a log line.
    ASSERT_TRUE(sub->addInstanceMethod(Sel("width"), "d@:", [](rt::Object& self, std::span<const Id>) -> Id {
        return Id(&self);
    }));
    EXPECT_EQ(rt::send<double>(gadget, Sel("width")), 0.0);
    EXPECT_TRUE(log.contains("returned <Gadget: 0x"));

    // A typed implementation called with boxed arguments unboxes them by its signature.
    const rt::Method* configure = sub->instanceMethod(Sel("configure:count:ratio:frame:peer:"));
    std::vector<Id> args{ns::num(true), ns::num(2), ns::num(3.0), ns::Value::with(kFrame), Id()};
    auto result = rt::cast<ns::Number>(configure->imp(*gadget, args));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->doubleValue(), 1000 + 6 + 30);
    args[3] = ns::Value::with(GadgetPoint{1, 2}); // 16 bytes for a 32-byte struct
    EXPECT_FALSE(configure->imp(*gadget, args));
    EXPECT_TRUE(log.contains("could not store argument 5"));
}

TEST(MessagesByName, MalformedRegistrationsAreRefused) {
    ns::CapturedLog log;
    rt::Class* sub = gadgetSubclass("Gadget_Refusing");
    const std::string name(sub->name());
    auto boxed = [](rt::Object&, std::span<const Id>) { return Id(); };
    EXPECT_FALSE(sub->addInstanceMethod(Sel("a:"), "v@:{Rect", boxed));
    EXPECT_FALSE(sub->addInstanceMethod(Sel("a:"), "v@:ii", boxed)); // two arguments for one colon
    EXPECT_FALSE(sub->addInstanceMethod(Sel("a:"), "v@:", rt::Imp()));
    EXPECT_FALSE(sub->addInstanceMethod(Sel("a:"), "vi:i", boxed)); // no receiver
    EXPECT_FALSE(sub->instanceMethod(Sel("a:")));
    EXPECT_FALSE(sub->replaceInstanceMethod(Sel("reset"), "v@:@", boxed));
    EXPECT_FALSE(sub->immediateInstanceMethod(Sel("reset")));
    EXPECT_TRUE(log.contains("The method a: of " + name +
                             " was not registered: \"v@:{Rect\" is not a method encoding."));
    EXPECT_TRUE(log.contains("its encoding \"v@:ii\" takes 2 arguments"));
    // Frame offsets, as the platform writes them, are read past.
    EXPECT_TRUE(sub->addInstanceMethod(Sel("a:"), "v24@0:8i16", boxed));
    EXPECT_EQ(sub->instanceMethod(Sel("a:"))->signature->argumentType(2).encoding, "i");
}

TEST(MessagesByName, AnInvocationHoldsOneSlotPerArgument) {
    auto gadget = rt::make<Gadget>();
    Sel configure("configure:count:ratio:frame:peer:");
    rt::Invocation call(gadget, configure, *gadget->methodSignatureForSelector(configure));
    EXPECT_EQ(call.argument(0), nullptr); // the receiver and the selector have no slots
    EXPECT_EQ(call.argument(1), nullptr);
    EXPECT_EQ(call.argument(7), nullptr);
    ASSERT_EQ(call.arguments().size(), 5u);
    EXPECT_EQ(call.argument(5)->size, 32u); // a zero struct until set
    EXPECT_TRUE(rt::unboxInto(*call.argument(2), call.signature().argumentType(2), ns::num(true)));
    EXPECT_TRUE(rt::unboxInto(*call.argument(3), call.signature().argumentType(3), ns::num(5)));
    EXPECT_TRUE(rt::unboxInto(*call.argument(4), call.signature().argumentType(4), Id())); // nil is 0.0
    EXPECT_FALSE(rt::unboxInto(*call.argument(5), call.signature().argumentType(5), ns::Value::with(GadgetPoint{})));
    EXPECT_EQ(call.argument(5)->size, 32u);
    call.invoke();
    EXPECT_EQ(call.returnValue().d, 1000.0);
    EXPECT_EQ(gadget->count, 5);
}

// A class that only a category extends, so the category changes nothing other tests rely on.
class Shelf : public rt::Object {
    RT_CLASS(Shelf)
public:
    int books = 3;
    int count() const { return books; }
};

int doubledBooks(Shelf& self, int extra) {
    return self.books * 2 + extra;
}
int countedByCategory(Shelf& self) {
    return -self.books;
}

} // namespace

RT_DEFINE_CLASS(Shelf, "MessagingTestShelf", rt::Object, rt::method("count", &Shelf::count))

namespace {

TEST(MessagesByName, ACategoryAddsToARegisteredClassAndTakesOverItsMethods) {
    // A category stays for the process: each run extends a class and a subclass of its own.
    const rt::Class& base = Shelf::staticClass();
    rt::Class* shelfClass =
        rt::Class::createSubclass(testkit::uniqueClassName("MessagingTestShelf_Run"), base, base);
    rt::Class* tallClass =
        rt::Class::createSubclass(testkit::uniqueClassName("MessagingTestTallShelf_Run"), *shelfClass, base);
    ASSERT_TRUE(shelfClass && tallClass);
    auto shelf = rt::make<Shelf>();
    auto tall = rt::make<Shelf>();
    shelf->setActualClass(*shelfClass);
    tall->setActualClass(*tallClass);
    const Sel doubled("doubledWithExtra:"), count("count");
    EXPECT_FALSE(shelf->respondsToSelector(doubled));
    EXPECT_EQ(rt::send<int>(tall, count), 3);
    static const rt::Protocol shelving("MessagingTestShelving", {{doubled, "i@:i", true}});

    const rt::Class& extended =
        rt::addCategory(*shelfClass, {rt::categoryMethod("doubledWithExtra:", &doubledBooks),
                                      rt::categoryMethod("count", &countedByCategory), rt::adopts(shelving)});
    EXPECT_EQ(&extended, shelfClass);
    EXPECT_EQ(shelf->methodSignatureForSelector(doubled)->numberOfArguments(), 3u);
    EXPECT_EQ(rt::send<int>(shelf, doubled, 1), 7);
    tall->books = 5;
    EXPECT_EQ(rt::send<int>(tall, doubled, 0), 10); // subclasses see it
    EXPECT_EQ(rt::send<int>(tall, count), -5);      // the category's method replaced the class's own
    EXPECT_TRUE(tallClass->conformsTo(shelving));
    EXPECT_FALSE(base.instancesRespondToSelector(doubled));
}

} // namespace
