// The test kit's runner fixture (tests/testkit/app/run_fixture.h) with the session's own scenes:
// "HomeKeyViewController" and "BatteryViewController" as manual fakes, and "JailBreakViewController"
// as one whose disappear sends tuples; the first two keep running in the background.

#pragma once

#include "tests/testkit/app/run_fixture.h"

namespace runtest {

using testkit::kAutomatic;
using testkit::kManualA;
using testkit::kManualB;
using testkit::kManualC;
using testkit::kRefusing;

class RunTest : public testkit::RunFixture {
protected:
    void registerScenes(ui::Storyboard& storyboard) override {
        RunFixture::registerScenes(storyboard);
        for (const char* name : {"HomeKeyViewController", "BatteryViewController"})
            testkit::registerFakeScreen(storyboard, name, testkit::FakeScreen::Manual);
        testkit::registerFakeScreen(storyboard, "JailBreakViewController", testkit::FakeScreen::TupleDisappearing);
    }
};

} // namespace runtest
