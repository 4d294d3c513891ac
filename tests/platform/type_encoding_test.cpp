#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/runtime/method_signature.h"
#include "platform/runtime/type_encoding.h"

namespace {

struct Expected {
    const char* encoding;
    std::size_t size, alignment, length;
};

void expectLayouts(const std::vector<Expected>& cases) {
    for (const Expected& e : cases) {
        SCOPED_TRACE(e.encoding);
        auto layout = rt::sizeAndAlignment(e.encoding);
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->size, e.size);
        EXPECT_EQ(layout->alignment, e.alignment);
        EXPECT_EQ(layout->length, e.length);
    }
}

TEST(TypeLayout, Scalars) {
    expectLayouts({{"c", 1, 1, 1},
                   {"B", 1, 1, 1},
                   {"s", 2, 2, 1},
                   {"i", 4, 4, 1},
                   {"l", 4, 4, 1},
                   {"f", 4, 4, 1},
                   {"q", 8, 8, 1},
                   {"Q", 8, 8, 1},
                   {"d", 8, 8, 1},
                   {"D", 16, 16, 1},
                   {"v", 0, 1, 1},
                   {"ri", 4, 4, 2},
                   {"Vv", 0, 1, 2},
                   // Only the first type is read: a method encoding's frame offset stays.
                   {"i16", 4, 4, 1}});
}

TEST(TypeLayout, PointersObjectsAndBlocks) {
    expectLayouts({{"*", 8, 8, 1},
                   {"r*", 8, 8, 2},
                   {"#", 8, 8, 1},
                   {":", 8, 8, 1},
                   {"@", 8, 8, 1},
                   {"@?", 8, 8, 2},
                   {"@\"NSString\"", 8, 8, 11},
                   {"^i", 8, 8, 2},
                   {"^?", 8, 8, 2},
                   {"^v", 8, 8, 2},
                   // Behind a pointer a struct may be opaque, even a struct that points to itself.
                   {"^{Node}", 8, 8, 7},
                   {"^{Node=^{Node}i}", 8, 8, 16},
                   {"^^{CGPoint=dd}", 8, 8, 14}});
}

TEST(TypeLayout, StructsArraysAndUnionsAreLaidOutAsTheCompilerDoes) {
    struct CharDouble {
        char c;
        double d;
    };
    struct CharsInt {
        char c[3];
        int i;
    };
    expectLayouts({{"{CGRect={CGPoint=dd}{CGSize=dd}}", 32, 8, 32},
                   {"{CGPoint=\"x\"d\"y\"d}", 16, 8, 18},
                   {"{S=cd}", sizeof(CharDouble), alignof(CharDouble), 6},
                   {"{S=[3c]i}", sizeof(CharsInt), alignof(CharsInt), 9},
                   {"{S=ic}", 8, 4, 6},
                   {"{S=}", 0, 1, 4},
                   {"{?=qB}", 16, 8, 6},
                   {"[4s]", 8, 2, 4},
                   {"[0i]", 0, 4, 4},
                   {"[2{P=dd}]", 32, 8, 9},
                   {"(U=cd)", 8, 8, 6},
                   {"(U=[3c]s)", 4, 2, 9},
                   {"{Holder=@\"NSString\"@?^{Node}}", 24, 8, 29},
                   {"{CGPoint=dd}24", 16, 8, 12}});
}

TEST(TypeLayout, MalformedOrUnsizedEncodingsAreRefused) {
    for (const char* text : {"", "x", "r", "?", "b4", "^", "[i]", "[4i", "[4", "[4i}", "{", "{CGRect", "{CGRect=",
                             "{CGRect}", "{CGRect=dd", "{CGRect=d)", "{A{B=i}}", "(U=i", "@\"NSString", "{S=\"x d}",
                             "[99999999999999999999i]", "[65536[65537i]]", "{S=[?]}"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(rt::sizeAndAlignment(text));
    }
    // Every proper prefix of a valid encoding is a truncated one.
    std::string rect = "{CGRect={CGPoint=dd}{CGSize=dd}}";
    for (std::size_t n = 0; n < rect.size(); ++n) EXPECT_FALSE(rt::sizeAndAlignment(rect.substr(0, n))) << n;
    // Nesting is bounded instead of recursing without limit.
    EXPECT_FALSE(rt::sizeAndAlignment(std::string(10'000, '^') + "i"));
    std::string arrays;
    for (int i = 0; i < 10'000; ++i) arrays += "[1";
    EXPECT_FALSE(rt::sizeAndAlignment(arrays + "i" + std::string(10'000, ']')));
    EXPECT_TRUE(rt::sizeAndAlignment(std::string(8, '^') + "i"));
}

// Mutated encodings, each in a buffer of exactly its own length (the sanitizer pass sees any read
// past it): the reader never claims more characters than there are.
TEST(TypeLayout, StaysInsideTheTextOnMutatedInput) {
    const std::vector<std::string> seeds = {"{CGRect={CGPoint=dd}{CGSize=dd}}", "[4{S=\"a\"c\"b\"^{Node=^{Node}i}}]",
                                            "(U=[3c]s@\"NSString\")", "r^@?", "{A=[2(B=qd)]*#:}"};
    const std::string alphabet = "{}[]()=\"^@?*#:rnoicdqBv0123456789x";
    std::mt19937 random(12345);
    int accepted = 0;
    for (int round = 0; round < 20'000; ++round) {
        std::string text = seeds[random() % seeds.size()];
        for (int edits = 1 + static_cast<int>(random() % 4); edits > 0 && !text.empty(); --edits) {
            std::size_t at = random() % text.size();
            char c = alphabet[random() % alphabet.size()];
            switch (random() % 3) {
            case 0: text[at] = c; break;
            case 1: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c); break;
            default: text.erase(at, 1); break;
            }
        }
        auto exact = std::make_unique<char[]>(text.size());
        std::memcpy(exact.get(), text.data(), text.size());
        auto layout = rt::sizeAndAlignment(std::string_view(exact.get(), text.size()));
        if (!layout) continue;
        ++accepted;
        ASSERT_LE(layout->length, text.size()) << text;
        ASSERT_GE(layout->alignment, 1u) << text;
        ASSERT_EQ(layout->size % layout->alignment, 0u) << text;
    }
    EXPECT_GT(accepted, 0);
}

TEST(MethodSignature, ReadsEachArgumentsKindSizeAndAlignment) {
    const rt::MethodSignature* signature = rt::MethodSignature::withTypes("v@:B{CGRect={CGPoint=dd}{CGSize=dd}}r*@?q");
    ASSERT_TRUE(signature);
    EXPECT_EQ(signature, rt::MethodSignature::withTypes(signature->types())); // interned
    EXPECT_EQ(signature->returnType().kind, rt::ValueKind::Void);
    ASSERT_EQ(signature->numberOfArguments(), 7u);
    EXPECT_EQ(signature->argumentType(0).kind, rt::ValueKind::Object);
    EXPECT_EQ(signature->argumentType(1).encoding, ":");
    EXPECT_EQ(signature->argumentType(2).kind, rt::ValueKind::Bool);
    const rt::SignatureType& rect = signature->argumentType(3);
    EXPECT_EQ(rect.kind, rt::ValueKind::Struct);
    EXPECT_EQ(rect.encoding, "{CGRect={CGPoint=dd}{CGSize=dd}}");
    EXPECT_EQ(rect.size, 32u);
    EXPECT_EQ(rect.alignment, 8u);
    EXPECT_EQ(signature->argumentType(4).encoding, "r*");
    EXPECT_EQ(signature->argumentType(4).size, 8u);
    EXPECT_EQ(signature->argumentType(5).kind, rt::ValueKind::Object); // a block
    EXPECT_EQ(signature->argumentType(6).kind, rt::ValueKind::Int);

    // The platform's frame offsets are skipped, negative ones included.
    const rt::MethodSignature* offsets = rt::MethodSignature::withTypes("d32@0:8i16{CGPoint=dd}-8");
    ASSERT_TRUE(offsets);
    EXPECT_EQ(offsets->numberOfArguments(), 4u);
    EXPECT_EQ(offsets->returnType().kind, rt::ValueKind::Double);
    EXPECT_EQ(offsets->argumentType(3).size, 16u);
}

TEST(MethodSignature, RefusesWhatIsNoMethodEncoding) {
    for (const char* text : {"", "v", "v@", "vi:", "v@@", "v@:v", "v@:{CGRect}", "v@:[", "v@:i)"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(rt::MethodSignature::withTypes(text), nullptr);
    }
    EXPECT_TRUE(rt::MethodSignature::withTypes("v#:")); // a class method's receiver
}

} // namespace
