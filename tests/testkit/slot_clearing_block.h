#pragma once
// Blocks for the members that hold them (a completion, an onSelected, a hook), which clear or
// replace that member while they run. Such a block is too big to live inside a std::function, so
// an owner that calls the member in place frees it before it reads its captures, which
// AddressSanitizer reports.

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace testkit {

// When called, with any arguments, runs `clear` (which clears or replaces the member), then reads
// what it captured and adds "<name>;" to `heard`.
template <class Clear> auto slotClearingBlock(std::string name, std::string& heard, Clear clear) {
    return [clear = std::move(clear), &heard, name = std::move(name)](auto&&...) {
        clear();
        heard += name + ";";
    };
}

// A member that holds a block: `arm` puts slotClearingBlock(name, heard, ...) in it, `fire` makes
// its owner call it.
struct BlockSlot {
    const char* name;
    std::function<void(const char* name, std::string& heard)> arm;
    std::function<void()> fire;
};

// Arms each slot and makes its owner call it twice: the block runs once, as the second call finds
// the slot cleared or holding the block that replaced it.
inline void expectSlotClearingBlocksRunOnce(std::initializer_list<BlockSlot> slots) {
    for (const BlockSlot& slot : slots) {
        std::string heard;
        slot.arm(slot.name, heard);
        slot.fire();
        slot.fire();
        EXPECT_EQ(heard, std::string(slot.name) + ";");
    }
}

} // namespace testkit
