#include "platform/foundation/standard_output.h"

#include <cstdio>

namespace ns {

namespace {
// Guards the installed capture and keeps writes whole.
std::mutex& outputLock() {
    static std::mutex m;
    return m;
}
CapturedStandardOutput* gCapture = nullptr;
} // namespace

void writeStandardOutput(std::string_view text) {
    std::lock_guard g(outputLock());
    if (gCapture) {
        std::lock_guard c(gCapture->lock_);
        gCapture->text_.append(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

CapturedStandardOutput::CapturedStandardOutput() {
    std::lock_guard g(outputLock());
    previous_ = gCapture;
    gCapture = this;
}

CapturedStandardOutput::~CapturedStandardOutput() {
    std::lock_guard g(outputLock());
    gCapture = previous_;
}

std::string CapturedStandardOutput::text() const {
    std::lock_guard g(lock_);
    return text_;
}

} // namespace ns
