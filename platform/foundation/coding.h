#pragma once
// ns::Coding: what an archivable class implements, without the archiver itself (coder.h), so a
// class can adopt it without pulling in the archiver, the collections and the class registry.

#include "platform/runtime/object.h"

namespace ns {

class Coder;

// The mixin of archivable classes (alongside rt::Object). Such a class also adopts the coding
// protocol in its definition (RT_DEFINE_CLASS(T, "Name", Base, ns::adoptsCoding()), coder.h), so
// the unarchiver knows it may build one before it builds anything. Decoding makes the object with
// its registered class's default constructor, then calls initWithCoder; its result (which may be
// another object, or nil) is the decoded object.
class Coding {
public:
    virtual void encodeWithCoder(Coder& coder) const = 0;
    virtual rt::Id initWithCoder(Coder& coder) = 0;

protected:
    ~Coding() = default;
};

} // namespace ns
