#pragma once
// The text values labels, fields and text views share.

namespace ui {

// The platform's alignments, in its order.
enum class TextAlignment : long { Left = 0, Center = 1, Right = 2, Justified = 3, Natural = 4 };
enum class LineBreakMode : long {
    WordWrapping = 0,
    CharWrapping = 1,
    Clipping = 2,
    TruncatingHead = 3,
    TruncatingTail = 4,
    TruncatingMiddle = 5,
};

// The alignment of the text engine's numbering (left 0, right 1, centre 2, justified 3, natural 4)
// in the platform's: left and justified keep their number, right and centre swap, anything else
// is natural.
constexpr TextAlignment textAlignmentFromCTTextAlignment(unsigned char alignment) noexcept {
    switch (alignment) {
    case 0: return TextAlignment::Left;
    case 1: return TextAlignment::Right;
    case 2: return TextAlignment::Center;
    case 3: return TextAlignment::Justified;
    default: return TextAlignment::Natural;
    }
}

} // namespace ui
