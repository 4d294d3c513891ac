#include "platform/foundation/index_path.h"

#include <functional>

#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(IndexPath, "NSIndexPath", rt::Object, rt::prop("row", &IndexPath::row),
                rt::prop("section", &IndexPath::section), rt::prop("length", &IndexPath::length))

rt::Ref<IndexPath> IndexPath::indexPathForRowInSection(long row, long section) {
    return rt::make<IndexPath>(row, section);
}

int IndexPath::compare(const IndexPath& other) const noexcept {
    if (section_ != other.section_) return section_ < other.section_ ? -1 : 1;
    if (row_ != other.row_) return row_ < other.row_ ? -1 : 1;
    return 0;
}

std::string IndexPath::description() const {
    return rt::Object::description() + " {length = 2, path = " + std::to_string(section_) + " - " +
           std::to_string(row_) + "}";
}

bool IndexPath::isEqual(const rt::Object* other) const {
    auto* path = dynamic_cast<const IndexPath*>(other);
    return path && compare(*path) == 0;
}

std::size_t IndexPath::hash() const {
    const std::size_t s = std::hash<long>()(section_);
    return s ^ (std::hash<long>()(row_) + 0x9e3779b97f4a7c15ull + (s << 6) + (s >> 2));
}

} // namespace ns
