#include "tests/streams/observable_model.h"

#include "platform/foundation/key_value_observing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace testmodel {

namespace {
// "delegate" is typed as a protocol, which a C++ type cannot say: registered by hand.
rt::ClassMember delegateProperty() {
    return [](rt::Class& cls) {
        cls.addProperty(
            "delegate", [] { return std::string("@\"Protocol\""); }, rt::ValueKind::Object,
            rt::PropertyOptions{.memory = rt::Memory::Weak},
            [](const rt::Object& o, rt::Slot& out) { rt::toSlot(out, static_cast<const Node&>(o).delegate()); },
            [](rt::Object& o, const rt::Slot& in) { static_cast<Node&>(o).setDelegate(in.object); });
    };
}
} // namespace

RT_DEFINE_CLASS(Node, "ESTestNode", rt::Object, rt::prop("a", &Node::a, &Node::setA),
                rt::prop("b", &Node::b, &Node::setB), rt::prop("c", &Node::c, &Node::setC),
                rt::prop("name", &Node::name, &Node::setName, {.memory = rt::Memory::Copy}),
                rt::prop("weakNode", &Node::weakNode, &Node::setWeakNode, {.memory = rt::Memory::Weak}),
                rt::prop("handler", &Node::handler, &Node::setHandler, {.memory = rt::Memory::Weak}),
                delegateProperty(), rt::prop("fresh", &Node::fresh),
                rt::prop("flag", &Node::flag, &Node::setFlag))

rt::Ref<Node> Node::make(int c) {
    auto n = rt::make<Node>();
    n->c_ = c;
    return n;
}

rt::Ref<Node> Node::path(int c) {
    auto root = make(), a = make();
    a->setB(make(c));
    root->setA(a);
    return root;
}

void Node::setA(rt::Ref<Node> v) {
    rt::KeyChange change(this, "a");
    std::lock_guard g(lock_);
    std::swap(a_, v); // the old one goes outside the lock
}
void Node::setB(rt::Ref<Node> v) {
    rt::KeyChange change(this, "b");
    std::lock_guard g(lock_);
    std::swap(b_, v);
}
void Node::setC(int v) {
    rt::KeyChange change(this, "c");
    c_ = v;
}
void Node::setName(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "name");
    name_ = std::move(v);
}
void Node::setWeakNode(rt::Ref<Node> v) {
    rt::KeyChange change(this, "weakNode");
    weakNode_ = v;
}
void Node::setHandler(std::function<void()> v) {
    rt::KeyChange change(this, "handler");
    handler_ = std::move(v);
}
void Node::setDelegate(rt::Id v) {
    rt::KeyChange change(this, "delegate");
    delegate_ = v;
}
void Node::setFlag(bool v) {
    if (v == flag_) return;
    const rt::Id self(this);
    ns::willChangeValueForKey(self, "flag");
    flag_ = v;
    ns::didChangeValueForKey(self, "flag");
}

bool Node::automaticallyNotifiesObserversForKey(std::string_view key) const {
    return key != "flag" && Object::automaticallyNotifiesObserversForKey(key);
}

} // namespace testmodel
