#pragma once
// ns::Enumerator: hands out the values of a collection one at a time. Each call to nextObject
// consumes a value; nil means the end (and every later call gives nil too).

#include "platform/runtime/object.h"

namespace ns {

class Enumerator : public rt::Object {
    RT_CLASS(Enumerator)
public:
    // The next value; nil at the end. The base class has none.
    virtual rt::Id nextObject();

protected:
    Enumerator() = default;
};

} // namespace ns
