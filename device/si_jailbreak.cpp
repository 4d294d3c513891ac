#include "device/si_jailbreak.h"

#include <cstdio>

#include "platform/runtime/class.h"
#include "platform/sim/device_path.h"

namespace si {

bool Jailbreak::isJailbroken() {
    const auto path = sim::devicePath("/bin/bash");
    if (!path) return false;
    std::FILE* file = std::fopen(path->c_str(), "r");
    if (!file) return false;
    std::fclose(file);
    return true;
}

RT_DEFINE_CLASS(Jailbreak, "SIJailbreak", rt::Object, rt::classMethod("isJailbroken", &Jailbreak::isJailbroken))

} // namespace si
