#pragma once
// The observable object of the observation tests: strong links "a" and "b" (for key paths such as
// "a.b.c"), a number "c", a text "name", and properties whose deallocation watching differs: a weak
// link "weakNode", a weak block "handler" (a fresh block object on every read), a weak link typed
// as a protocol "delegate", and a strong "fresh" whose every read makes a new node. "flag" is
// announced by hand, and only when it changes. The links and the number may be read and written
// from several threads.

#include <atomic>
#include <functional>
#include <mutex>

#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace testmodel {

class Node : public rt::Object {
    RT_CLASS(Node)
public:
    static rt::Ref<Node> make(int c = 0);
    // root.a = a, a.b = b, b.c = c: the three nodes of an "a.b.c" path.
    static rt::Ref<Node> path(int c);

    rt::Ref<Node> a() const {
        std::lock_guard g(lock_);
        return a_;
    }
    void setA(rt::Ref<Node> v);
    rt::Ref<Node> b() const {
        std::lock_guard g(lock_);
        return b_;
    }
    void setB(rt::Ref<Node> v);
    int c() const { return c_; }
    void setC(int v);
    rt::Ref<ns::String> name() const { return name_; }
    void setName(rt::Ref<ns::String> v);
    rt::Ref<Node> weakNode() const { return weakNode_.lock(); }
    void setWeakNode(rt::Ref<Node> v);
    std::function<void()> handler() const { return handler_; }
    void setHandler(std::function<void()> v);
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(rt::Id v);
    rt::Ref<Node> fresh() const { return make(); }
    bool flag() const { return flag_; }
    void setFlag(bool v);
    bool automaticallyNotifiesObserversForKey(std::string_view key) const override;

private:
    Node() = default;
    mutable std::mutex lock_;
    rt::Ref<Node> a_, b_;
    std::atomic<int> c_{0};
    rt::Ref<ns::String> name_;
    rt::Weak<Node> weakNode_;
    std::function<void()> handler_;
    rt::Weak<rt::Object> delegate_;
    bool flag_ = false;
};

} // namespace testmodel
