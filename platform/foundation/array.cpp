#include "platform/foundation/array.h"

#include <algorithm>
#include <cstdio>

#include "platform/foundation/exception.h"
#include "platform/foundation/null.h"
#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(Array, "NSArray", rt::Object, rt::prop("count", &Array::count))
RT_DEFINE_CLASS(MutableArray, "NSMutableArray", Array)

namespace detail {

namespace {

bool needsQuotes(const std::string& s) {
    if (s.empty()) return true;
    return !std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

void appendEscaped(std::string& out, char16_t u) {
    switch (u) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (u >= 0x20 && u < 0x7f) {
        out += static_cast<char>(u);
        return;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\U%04x", static_cast<unsigned>(u));
    out += buf;
}

std::string quoted(const String& s) {
    if (!needsQuotes(s.utf8())) return s.utf8();
    std::string out = "\"";
    if (s.isASCII()) {
        for (char c : s.utf8())
            appendEscaped(out, static_cast<char16_t>(static_cast<unsigned char>(c)));
    } else {
        for (char16_t u : s.utf16())
            appendEscaped(out, u);
    }
    out += '"';
    return out;
}

} // namespace

std::string elementDescription(const rt::Object* obj, unsigned level) {
    if (!obj) return "(null)";
    if (auto* s = dynamic_cast<const String*>(obj)) return quoted(*s);
    if (auto* c = dynamic_cast<const IndentedDescription*>(obj)) return c->descriptionWithIndent(level);
    return obj->description();
}

} // namespace detail

// ---- Array ------------------------------------------------------------------------------

Array::~Array() {
    for (rt::Id& obj : objects_)
        rt::releaseInTeardown(obj.detach());
}

rt::Ref<Array> Array::make() {
    return rt::make<Array>();
}

rt::Ref<Array> Array::make(std::vector<rt::Id> objects) {
    for (auto& o : objects)
        checkNotNil(o, "initWithObjects:count:");
    return rt::make<Array>(std::move(objects));
}

rt::Ref<Array> Array::withObjects(std::initializer_list<rt::Id> objects) {
    return make(std::vector<rt::Id>(objects));
}

void Array::checkNotNil(const rt::Id& obj, const char* method) {
    if (!obj)
        raise(InvalidArgumentException,
              std::string("*** -[NSArray ") + method + "]: attempt to insert nil object");
}

void Array::checkIndex(std::size_t index, const char* method, std::size_t end) const {
    if (index < end) return;
    std::string reason = std::string("*** -[") + std::string(getClass().name()) + " " + method + "]: index " +
                         std::to_string(index) + " beyond bounds ";
    reason += objects_.empty() ? "for empty array" : "[0 .. " + std::to_string(objects_.size() - 1) + "]";
    raise(RangeException, reason);
}

rt::Id Array::objectAtIndex(std::size_t index) const {
    checkIndex(index, "objectAtIndex:", objects_.size());
    return objects_[index];
}

std::size_t Array::indexOfObject(const rt::Id& obj) const {
    if (!obj) return NotFound;
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        if (objects_[i] == obj || objects_[i]->isEqual(obj.get())) return i;
    }
    return NotFound;
}

std::size_t Array::indexOfObjectIdenticalTo(const rt::Id& obj) const noexcept {
    auto it = std::find(objects_.begin(), objects_.end(), obj);
    return it == objects_.end() ? NotFound : static_cast<std::size_t>(it - objects_.begin());
}

std::size_t
Array::indexOfObjectPassingTest(const std::function<bool(const rt::Id&, std::size_t)>& test) const {
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        if (test(objects_[i], i)) return i;
    }
    return NotFound;
}

void Array::enumerateObjects(const std::function<void(const rt::Id&, std::size_t, bool& stop)>& block) const {
    // A snapshot, so that the block may change a mutable array it enumerates.
    std::vector<rt::Id> snapshot = objects_;
    bool stop = false;
    for (std::size_t i = 0; i < snapshot.size() && !stop; ++i)
        block(snapshot[i], i, stop);
}

rt::Ref<Array> Array::arrayByAddingObject(const rt::Id& obj) const {
    checkNotNil(obj, "arrayByAddingObject:");
    std::vector<rt::Id> v;
    v.reserve(objects_.size() + 1);
    v.insert(v.end(), objects_.begin(), objects_.end());
    v.push_back(obj);
    return rt::make<Array>(std::move(v));
}

rt::Ref<Array> Array::arrayByAddingObjectsFromArray(const Array& other) const {
    std::vector<rt::Id> v;
    v.reserve(objects_.size() + other.objects_.size());
    v.insert(v.end(), objects_.begin(), objects_.end());
    v.insert(v.end(), other.objects_.begin(), other.objects_.end());
    return rt::make<Array>(std::move(v));
}

rt::Ref<Array> Array::subarrayWithRange(Range range) const {
    if (range.location > objects_.size() || range.length > objects_.size() - range.location) {
        raise(RangeException, "*** -[" + std::string(getClass().name()) + " subarrayWithRange:]: range {" +
                                  std::to_string(range.location) + ", " + std::to_string(range.length) +
                                  "} extends beyond bounds " +
                                  (objects_.empty() ? std::string("for empty array")
                                                    : "[0 .. " + std::to_string(objects_.size() - 1) + "]"));
    }
    auto first = objects_.begin() + static_cast<std::ptrdiff_t>(range.location);
    return rt::make<Array>(std::vector<rt::Id>(first, first + static_cast<std::ptrdiff_t>(range.length)));
}

rt::Ref<String> Array::componentsJoinedByString(std::string_view separator) const {
    std::string out;
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        if (i) out += separator;
        out += objects_[i]->description();
    }
    return String::make(out);
}

rt::Ref<Array> Array::sortedArrayUsingComparator(const Comparator& cmp) const {
    std::vector<rt::Id> v = objects_;
    std::stable_sort(v.begin(), v.end(), [&](const rt::Id& a, const rt::Id& b) { return cmp(a, b) < 0; });
    return rt::make<Array>(std::move(v));
}

rt::Ref<Array> Array::filteredArrayUsingBlock(const std::function<bool(const rt::Id&)>& keep) const {
    std::vector<rt::Id> v;
    for (auto& o : objects_) {
        if (keep(o)) v.push_back(o);
    }
    return rt::make<Array>(std::move(v));
}

bool Array::isEqualToArray(const Array& other) const {
    if (&other == this) return true;
    if (other.objects_.size() != objects_.size()) return false;
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        const auto &a = objects_[i], &b = other.objects_[i];
        if (a != b && !a->isEqual(b.get())) return false;
    }
    return true;
}

bool Array::isEqual(const rt::Object* other) const {
    auto* a = dynamic_cast<const Array*>(other);
    return a && isEqualToArray(*a);
}

rt::Ref<MutableArray> Array::mutableCopy() const {
    return rt::make<MutableArray>(objects_);
}

std::string Array::descriptionWithIndent(unsigned level) const {
    std::string out = detail::indent(level);
    if (objects_.empty()) return out + "()";
    out += "(\n";
    std::string inner = detail::indent(level + 1);
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        out += inner;
        out += detail::elementDescription(objects_[i].get(), level + 1);
        out += i + 1 < objects_.size() ? ",\n" : "\n";
    }
    out += detail::indent(level);
    out += ')';
    return out;
}

rt::Id Array::valueForKey(std::string_view key) const {
    if (!key.empty() && key[0] == '@') return rt::Object::valueForKey(key.substr(1));
    std::vector<rt::Id> v;
    v.reserve(objects_.size());
    for (auto& o : objects_) {
        rt::Id value = o->valueForKey(key);
        v.push_back(value ? std::move(value) : rt::Id(Null::null()));
    }
    return rt::make<Array>(std::move(v));
}

void Array::setValueForKey(const rt::Id& value, std::string_view key) {
    for (auto& o : objects_)
        o->setValueForKey(value, key);
}

// ---- MutableArray -----------------------------------------------------------------------

rt::Ref<MutableArray> MutableArray::make() {
    return rt::make<MutableArray>();
}

rt::Ref<MutableArray> MutableArray::make(std::vector<rt::Id> objects) {
    for (auto& o : objects)
        checkNotNil(o, "initWithObjects:count:");
    return rt::make<MutableArray>(std::move(objects));
}

rt::Ref<MutableArray> MutableArray::withObjects(std::initializer_list<rt::Id> objects) {
    return make(std::vector<rt::Id>(objects));
}

rt::Ref<MutableArray> MutableArray::withCapacity(std::size_t capacity) {
    auto a = rt::make<MutableArray>();
    a->objects_.reserve(capacity);
    return a;
}

void MutableArray::addObject(const rt::Id& obj) {
    checkNotNil(obj, "addObject:");
    objects_.push_back(obj);
}

void MutableArray::addObjectsFromArray(const Array& other) {
    if (&other == this) {
        objects_.reserve(objects_.size() * 2);
        std::size_t n = objects_.size();
        for (std::size_t i = 0; i < n; ++i)
            objects_.push_back(objects_[i]);
        return;
    }
    objects_.insert(objects_.end(), other.objects().begin(), other.objects().end());
}

void MutableArray::insertObjectAtIndex(const rt::Id& obj, std::size_t index) {
    checkNotNil(obj, "insertObject:atIndex:");
    checkIndex(index, "insertObject:atIndex:", objects_.size() + 1);
    objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), obj);
}

void MutableArray::removeObjectAtIndex(std::size_t index) {
    checkIndex(index, "removeObjectAtIndex:", objects_.size());
    rt::Id removed = std::move(objects_[index]); // released once the array is consistent
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(index));
}

void MutableArray::removeLastObject() {
    if (objects_.empty()) return;
    rt::Id removed = std::move(objects_.back());
    objects_.pop_back();
}

void MutableArray::removeObject(const rt::Id& obj) {
    if (!obj) return;
    rt::Id keep = obj; // `obj` may refer to an element
    std::vector<rt::Id> removed;
    auto it = std::stable_partition(objects_.begin(), objects_.end(),
                                    [&](const rt::Id& o) { return !(o == keep || o->isEqual(keep.get())); });
    removed.assign(std::make_move_iterator(it), std::make_move_iterator(objects_.end()));
    objects_.erase(it, objects_.end());
}

void MutableArray::removeObjectIdenticalTo(const rt::Id& obj) {
    if (!obj) return;
    rt::Id keep = obj;
    objects_.erase(std::remove(objects_.begin(), objects_.end(), keep), objects_.end());
}

void MutableArray::removeAllObjects() {
    std::vector<rt::Id> removed;
    removed.swap(objects_);
}

void MutableArray::replaceObjectAtIndex(std::size_t index, const rt::Id& obj) {
    checkNotNil(obj, "replaceObjectAtIndex:withObject:");
    checkIndex(index, "replaceObjectAtIndex:withObject:", objects_.size());
    rt::Id old = std::exchange(objects_[index], obj);
}

void MutableArray::setObjectAtIndex(const rt::Id& obj, std::size_t index) {
    checkNotNil(obj, "setObject:atIndexedSubscript:");
    checkIndex(index, "setObject:atIndexedSubscript:", objects_.size() + 1);
    if (index == objects_.size()) {
        objects_.push_back(obj);
        return;
    }
    rt::Id old = std::exchange(objects_[index], obj);
}

void MutableArray::exchangeObjectAtIndex(std::size_t a, std::size_t b) {
    checkIndex(a, "exchangeObjectAtIndex:withObjectAtIndex:", objects_.size());
    checkIndex(b, "exchangeObjectAtIndex:withObjectAtIndex:", objects_.size());
    std::swap(objects_[a], objects_[b]);
}

void MutableArray::sortUsingComparator(const Comparator& cmp) {
    std::stable_sort(objects_.begin(), objects_.end(),
                     [&](const rt::Id& a, const rt::Id& b) { return cmp(a, b) < 0; });
}

rt::Id MutableArray::copy() const {
    return rt::make<Array>(objects_);
}

} // namespace ns
