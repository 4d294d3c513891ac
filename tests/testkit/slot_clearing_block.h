#pragma once
// A block kept in a member (a completion, an onSelected, a hook) that clears that member while it
// runs. It is too big to live inside a std::function, so an owner that calls the member in place
// frees it before it reads its captures, which AddressSanitizer reports.

#include <string>

#include <gtest/gtest.h>

namespace testkit {

// `store(block)` puts the block in the member, `store(nullptr)` clears it, `fire()` makes the owner
// call it. Fired twice, the block runs once: it clears the member, then reads what it captured. It
// answers an empty text, for a hook that answers one.
template <class Store, class Fire>
void expectBlockClearingItselfRunsOnce(const std::string& what, Store store, Fire fire) {
    std::string heard;
    store([what, store, &heard](auto&&...) {
        store(nullptr);
        heard += what + ";";
        return std::string();
    });
    fire();
    fire();
    EXPECT_EQ(heard, what + ";");
}

} // namespace testkit
