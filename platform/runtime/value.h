#pragma once
// Boxed values: ns::Value holds a struct's bytes with its type encoding. ns::Number (number.h)
// is the value that holds one scalar. They live with the runtime because boxing is the runtime's
// job: key-value coding and invocations box and unbox through them.

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"
#include "platform/runtime/type_encoding.h"

namespace ns {

class Value : public rt::Object {
    RT_CLASS(Value)
public:
    // Boxes a copy of `size` bytes with their encoding.
    static rt::Ref<Value> withBytes(const void* bytes, std::size_t size, std::string_view objCType);
    template <class T>
    static rt::Ref<Value> with(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        return withBytes(&v, sizeof(T), rt::Encoding<T>::text());
    }

    // The members below read the value through these three, which every kind of value gives.
    virtual std::string_view objCType() const = 0;
    virtual std::size_t size() const = 0;
    // Copies the bytes out; copies nothing unless `size` is the value's own size.
    virtual bool getValue(void* out, std::size_t size) const = 0;
    template <class T>
    T get() const {
        T v{};
        getValue(&v, sizeof(T));
        return v;
    }

    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

protected:
    Value() = default;

private:
    std::vector<unsigned char> bytes() const;
};

} // namespace ns
