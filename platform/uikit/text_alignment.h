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

} // namespace ui
