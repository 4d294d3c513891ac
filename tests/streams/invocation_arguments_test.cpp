// An invocation's arguments and result as objects: the boxing table, tuples in and out, and values
// that do not fit their slot.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"
#include "streams/event.h"
#include "streams/invocation_arguments.h"
#include "streams/tuple.h"

namespace {

struct Extent {
    double width, height;
};

} // namespace

template <>
struct rt::StructEncoding<Extent> {
    static constexpr const char* value = "{CGSize=dd}";
};

namespace {

using es::Tuple;
using rt::Id;
using rt::Invocation;
using rt::Ref;
using rt::Sel;

// Receives texts as the platform passes them, to show that a stored text outlives its source.
class Printer : public rt::Object {
    RT_CLASS(Printer)
public:
    std::string printed;

private:
    void print(const char* text) { printed = text ? text : "(null)"; }
};

RT_DEFINE_CLASS(Printer, "ESTestPrinter", rt::Object, rt::method("print:", &Printer::print))

Invocation invocationOf(const char* types) {
    std::string name = "m";
    const rt::MethodSignature* signature = rt::MethodSignature::withTypes(types);
    for (std::size_t i = 2; i < signature->numberOfArguments(); ++i) name += "a:";
    return Invocation(nullptr, Sel(name), *signature);
}

TEST(InvocationArguments, EveryNumberEncodingRoundTripsAsTheNumberItIs) {
    struct Row {
        const char* types;
        Ref<ns::Number> stored;
        Ref<ns::Number> read;
    };
    const std::vector<Row> rows = {
        {"v@:c", ns::Number::withChar('x'), ns::Number::withChar('x')},
        // Stored as the platform's charValue would read it: the low byte.
        {"v@:c", ns::Number::withInt(300), ns::Number::withChar(44)},
        {"v@:i", ns::Number::withInt(-7), ns::Number::withInt(-7)},
        {"v@:s", ns::Number::withShort(-3), ns::Number::withShort(-3)},
        {"v@:q", ns::Number::withLong(1L << 40), ns::Number::withLong(1L << 40)},
        {"v@:C", ns::Number::withUnsignedChar(200), ns::Number::withUnsignedChar(200)},
        {"v@:I", ns::Number::withUnsignedInt(4000000000u), ns::Number::withUnsignedInt(4000000000u)},
        {"v@:S", ns::Number::withUnsignedShort(65535), ns::Number::withUnsignedShort(65535)},
        {"v@:Q", ns::Number::withUnsignedLong(~0UL), ns::Number::withUnsignedLong(~0UL)},
        {"v@:f", ns::Number::withDouble(0.5), ns::Number::withFloat(0.5f)},
        {"v@:d", ns::Number::withInt(2), ns::Number::withDouble(2.0)},
        {"v@:B", ns::Number::withInt(5), ns::Number::withBool(true)},
    };
    for (const Row& row : rows) {
        Invocation call = invocationOf(row.types);
        es::setArgumentAtIndex(call, row.stored, 2);
        auto read = rt::cast<ns::Number>(es::argumentAtIndex(call, 2));
        ASSERT_TRUE(read) << row.types;
        EXPECT_TRUE(rt::equal(read, row.read)) << row.types << ": " << read->description();
        EXPECT_EQ(read->objCType(), row.read->objCType()) << row.types;
    }
}

TEST(InvocationArguments, NilStoresEachTypesZero) {
    ns::CapturedLog log;
    Invocation call = invocationOf("v@:d@B*{CGSize=dd}");
    es::setArgumentsTuple(call, Tuple::of(ns::num(1.5), ns::str("x"), ns::num(true), ns::str("text"),
                                          ns::Value::with(Extent{1, 2})));
    es::setArgumentsTuple(call, Tuple::withObjects({nullptr, nullptr, nullptr, nullptr, nullptr}));
    EXPECT_TRUE(rt::equal(es::argumentAtIndex(call, 2), ns::num(0.0)));
    EXPECT_EQ(es::argumentAtIndex(call, 3), nullptr);
    EXPECT_TRUE(rt::equal(es::argumentAtIndex(call, 4), ns::num(false)));
    EXPECT_EQ(es::argumentAtIndex(call, 5), nullptr); // a null text reads as nil
    auto extent = rt::cast<ns::Value>(es::argumentAtIndex(call, 6));
    ASSERT_TRUE(extent);
    EXPECT_EQ(extent->get<Extent>().width, 0.0);
    EXPECT_TRUE(log.lines().empty());
}

TEST(InvocationArguments, ATextIsCopiedIntoTheInvocationAndReadBackAsAString) {
    auto printer = rt::make<Printer>();
    const rt::Method* print = printer->actualClass().instanceMethod(Sel("print:"));
    ASSERT_EQ(print->types, "v@:r*");
    Invocation call(printer, Sel("print:"), *print->signature);
    {
        // The string goes away before the call: the invocation keeps its own copy of the text.
        auto text = ns::str("Grüße");
        es::setArgumentAtIndex(call, text, 2);
        EXPECT_NE(call.argument(2)->getStruct<const char*>(), text->UTF8String());
    }
    call.invoke();
    EXPECT_EQ(printer->printed, "Grüße");
    auto read = rt::cast<ns::String>(es::argumentAtIndex(call, 2));
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->isEqualToString("Grüße"));

    es::setArgumentAtIndex(call, nullptr, 2);
    call.invoke();
    EXPECT_EQ(printer->printed, "(null)");
}

TEST(InvocationArguments, TheArgumentsTupleBoxesEachArgument) {
    Invocation call = invocationOf("v@:@B{CGSize=dd}@?");
    std::function<void()> block = [] {};
    rt::toSlot(*call.argument(3), true);
    rt::toSlot(*call.argument(4), Extent{3, 4});
    rt::toSlot(*call.argument(5), block);
    Ref<Tuple> tuple = es::argumentsTuple(call);
    ASSERT_EQ(tuple->count(), 4u);
    EXPECT_EQ(tuple->entries()[0], es::TupleNil::tupleNil()); // the nil object
    EXPECT_TRUE(rt::equal(tuple->second(), ns::num(true)));
    auto extent = rt::cast<ns::Value>(tuple->third());
    ASSERT_TRUE(extent);
    EXPECT_EQ(extent->objCType(), "{CGSize=dd}");
    EXPECT_EQ(extent->get<Extent>().height, 4.0);
    EXPECT_TRUE(rt::cast<rt::Block>(tuple->fourth()));

    // And back: the same tuple fills another invocation with equal values.
    Invocation copy = invocationOf("v@:@B{CGSize=dd}@?");
    es::setArgumentsTuple(copy, tuple);
    EXPECT_TRUE(rt::equal(es::argumentsTuple(copy), tuple));
    EXPECT_EQ(es::argumentAtIndex(copy, 6), nullptr); // past the end

    Invocation nothing = invocationOf("v@:");
    EXPECT_EQ(es::argumentsTuple(nothing)->count(), 0u);
    EXPECT_EQ(es::returnValue(nothing), es::Unit::defaultUnit());
}

// Values that do not fit their slots: a struct of another size, a text slot given a number, a
// tuple longer than the arguments.
void storeMisfits(Invocation& call) {
    es::setArgumentAtIndex(call, ns::Value::with(Extent{1, 2}), 2); // 16 bytes for a 32-byte slot
    es::setArgumentAtIndex(call, ns::num(3), 3);
    es::setArgumentsTuple(call, Tuple::of(ns::Value::with(Extent{1, 2}), ns::str("a"), ns::num(1), ns::num(2)));
}

#ifdef NDEBUG
TEST(InvocationArguments, AValueThatDoesNotFitItsSlotIsRefusedAndLogged) {
    ns::CapturedLog log;
    Invocation call = invocationOf("v@:{CGRect={CGPoint=dd}{CGSize=dd}}*");
    storeMisfits(call);
    auto rect = rt::cast<ns::Value>(es::argumentAtIndex(call, 2));
    ASSERT_TRUE(rect);
    EXPECT_EQ(rect->size(), 32u);
    std::vector<unsigned char> bytes(32, 0xff);
    rect->getValue(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, std::vector<unsigned char>(32, 0)); // left zeroed
    EXPECT_TRUE(rt::cast<ns::String>(es::argumentAtIndex(call, 3))); // the tuple's text got in
    ASSERT_EQ(log.lines().size(), 4u);
    EXPECT_NE(log.lines()[0].find("16 bytes"), std::string::npos) << log.lines()[0];
    EXPECT_NE(log.lines()[3].find("argument 4"), std::string::npos) << log.lines()[3];
}
#else
TEST(InvocationArgumentsDeathTest, AValueThatDoesNotFitItsSlotAsserts) {
    Invocation call = invocationOf("v@:{CGRect={CGPoint=dd}{CGSize=dd}}*");
    EXPECT_DEATH(storeMisfits(call), "");
}
#endif

} // namespace
