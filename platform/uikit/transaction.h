#pragma once
// ca::Transaction ("CATransaction"): flush runs the display pass of every view with a marked
// rectangle at once, instead of at the end of the main queue's turn. Main thread only.

namespace ca {

class Transaction {
public:
    static void flush();
};

} // namespace ca
