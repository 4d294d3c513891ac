#include "platform/runtime/type_encoding.h"

#include <algorithm>

namespace rt {

namespace {

// Nesting deeper than this (structs in arrays in structs ...) is refused rather than followed,
// so a hostile encoding cannot exhaust the stack.
constexpr int kMaxDepth = 32;
// No type the runtime moves comes near this; it keeps every sum and product far from overflow.
constexpr std::size_t kMaxSize = std::size_t{1} << 32;

struct Layout {
    std::size_t size;
    std::size_t alignment;
};

std::size_t alignUp(std::size_t n, std::size_t alignment) { return (n + alignment - 1) / alignment * alignment; }

bool isQualifier(char c) {
    switch (c) {
    case 'r': // const
    case 'n': // in
    case 'N': // inout
    case 'o': // out
    case 'O': // bycopy
    case 'R': // byref
    case 'V': // oneway
    case 'A': // atomic
        return true;
    default: return false;
    }
}

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::size_t position() const { return pos_; }

    // One type. `sized`: its size must be known (false behind a pointer, where an opaque struct or
    // an unknown type "?" is fine).
    std::optional<Layout> type(int depth, bool sized) {
        if (depth > kMaxDepth) return std::nullopt;
        while (pos_ < text_.size() && isQualifier(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) return std::nullopt;
        switch (text_[pos_++]) {
        case 'c':
        case 'C':
        case 'B': return Layout{1, 1};
        case 's':
        case 'S': return Layout{2, 2};
        case 'i':
        case 'I':
        case 'l': // 32 bits in the platform's encodings, whatever the C++ long
        case 'L':
        case 'f': return Layout{4, 4};
        case 'q':
        case 'Q':
        case 'd': return Layout{8, 8};
        case 'D': // long double
        case 't': // 128-bit integers
        case 'T': return Layout{16, 16};
        case 'v': return Layout{0, 1};
        case '*':
        case '#':
        case ':': return Layout{8, 8};
        case '@':
            if (peek() == '?') ++pos_; // a block
            else if (peek() == '"' && !skipQuoted()) return std::nullopt; // @"ClassName"
            return Layout{8, 8};
        case '^':
            if (peek() == '?') ++pos_; // a function pointer
            else if (!type(depth + 1, false)) return std::nullopt;
            return Layout{8, 8};
        case '?':
            if (sized) return std::nullopt;
            return Layout{0, 1};
        case '[': return array(depth);
        case '{': return aggregate(depth, sized, '}', false);
        case '(': return aggregate(depth, sized, ')', true);
        default: return std::nullopt; // bit fields among them: no byte size of their own
        }
    }

private:
    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

    // A "..." at the read position; false when it is not closed.
    bool skipQuoted() {
        std::size_t close = text_.find('"', pos_ + 1);
        if (close == std::string_view::npos) return false;
        pos_ = close + 1;
        return true;
    }

    // "[" read: a count, one element type, "]".
    std::optional<Layout> array(int depth) {
        std::size_t count = 0;
        std::size_t digits = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            count = count * 10 + static_cast<std::size_t>(text_[pos_++] - '0');
            if (count > kMaxSize) return std::nullopt;
            ++digits;
        }
        if (digits == 0) return std::nullopt;
        std::optional<Layout> element = type(depth + 1, true);
        if (!element || peek() != ']') return std::nullopt;
        ++pos_;
        if (element->size && count > kMaxSize / element->size) return std::nullopt;
        return Layout{count * element->size, element->alignment};
    }

    // "{" or "(" read: a name, then "=" and the members, up to `close`. Without "=" the type is
    // opaque: acceptable only where its size is not needed.
    std::optional<Layout> aggregate(int depth, bool sized, char close, bool isUnion) {
        for (;;) {
            if (pos_ >= text_.size()) return std::nullopt;
            char c = text_[pos_++];
            if (c == '=') break;
            if (c == close) {
                if (sized) return std::nullopt;
                return Layout{0, 1};
            }
            if (c == '{' || c == '}' || c == '(' || c == ')' || c == '[' || c == ']' || c == '"')
                return std::nullopt;
        }
        std::size_t size = 0;
        std::size_t alignment = 1;
        while (peek() != close) {
            if (pos_ >= text_.size()) return std::nullopt;
            if (peek() == '"' && !skipQuoted()) return std::nullopt; // a field name
            std::optional<Layout> member = type(depth + 1, true);
            if (!member) return std::nullopt;
            alignment = std::max(alignment, member->alignment);
            size = isUnion ? std::max(size, member->size) : alignUp(size, member->alignment) + member->size;
            if (size > kMaxSize) return std::nullopt;
        }
        ++pos_;
        return Layout{alignUp(size, alignment), alignment};
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace

std::optional<TypeLayout> sizeAndAlignment(std::string_view encoding) noexcept {
    Reader reader(encoding);
    std::optional<Layout> layout = reader.type(0, true);
    if (!layout) return std::nullopt;
    return TypeLayout{layout->size, layout->alignment, reader.position()};
}

} // namespace rt
