#include "app/screen_pictures.h"

#include <algorithm>
#include <cstdio>

#include "platform/foundation/error.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button_dialog.h"
#include "platform/uikit/view_controller.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"

namespace app {

namespace fs = std::filesystem;

ScreenPictures::ScreenPictures(fs::path folder) : folder_(std::move(folder)) {
    appearanceToken_ = ui::ViewController::addDidAppearObserver([this](ui::ViewController& controller) {
        if (pending_.lock().get() == &controller) writePending();
    });
}

ScreenPictures::~ScreenPictures() {
    ui::ViewController::removeDidAppearObserver(appearanceToken_);
}

std::string ScreenPictures::reserve(const std::string& what) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d-", ++order_);
    return number + what + ".png";
}

bool ScreenPictures::write(const std::string& file) {
    const rt::Ref<ui::Application> application = ui::Application::sharedApplication();
    const rt::Ref<ui::Window> window = application ? application->keyWindow() : nullptr;
    if (!warning_.empty() || !window) return false;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) {
        warning_ = "cannot make " + folder_.string() + ": " + ec.message();
        return false;
    }
    if (rt::Ref<ns::Error> error = ui::writeScreenPicture(*window, (folder_ / file).string())) {
        warning_ = error->localizedDescription()->utf8();
        return false;
    }
    ++written_;
    return true;
}

void ScreenPictures::writePending() {
    if (pendingFile_.empty()) return;
    write(pendingFile_);
    pending_ = nullptr;
    pendingFile_.clear();
}

std::string ScreenPictures::screenCameOnTop(const rt::Ref<ui::ViewController>& top) {
    if (!top) return {};
    if (lastScreen_.lock() == rt::Id(top)) return lastName_;
    writePending();
    lastScreen_ = rt::Id(top);
    const std::string file = reserve(std::string(top->getClass().name()));
    if (top->appearance() == ui::ViewController::Appearance::Appearing) {
        pending_ = rt::Id(top);
        pendingFile_ = file;
    } else if (!write(file)) {
        return lastName_ = {};
    }
    return lastName_ = warning_.empty() ? (folder_.filename() / file).string() : std::string();
}

void ScreenPictures::lookForDialogs() {
    if (rt::Ref<ui::ViewController> waiting = rt::cast<ui::ViewController>(pending_.lock());
        !waiting || waiting->appearance() != ui::ViewController::Appearance::Appearing)
        writePending();
    std::erase_if(seenDialogs_, [](const rt::Weak<rt::Object>& seen) { return !seen.lock(); });
    for (const rt::Ref<ui::ButtonDialog>& dialog : ui::ButtonDialog::presented()) {
        const rt::Id shown(dialog);
        if (std::any_of(seenDialogs_.begin(), seenDialogs_.end(),
                        [&](const rt::Weak<rt::Object>& seen) { return seen.lock() == shown; }))
            continue;
        seenDialogs_.emplace_back(shown);
        write(reserve(rt::cast<ui::AlertView>(dialog) ? "alert" : "sheet"));
    }
}

std::string ScreenPictures::summary() const {
    std::string text = std::to_string(written_) + " in " + folder_.string();
    return warning_.empty() ? text : text + "; warning: " + warning_ + "; no picture after it";
}

} // namespace app
