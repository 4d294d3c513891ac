// The layout solver on the systems the layout pass will give it: a typical screen (a title, a list
// of rows with an icon, a label and a switch, a footer bar with a button, and a weak stay on every
// variable) and a 25 x 10 grid of 1,000 constraints. (The tests show that the steady-state loops
// allocate nothing.)

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "platform/uikit/layout_solver.h"

namespace {

using namespace ui::detail;

constexpr double kHigh = 750, kMedium = 500, kLow = 250, kStay = 1, kWindow = 999;
constexpr Relation kEq = Relation::Equal, kLe = Relation::LessOrEqual, kGe = Relation::GreaterOrEqual;

struct View {
    Variable left, top, width, height;
    Expression right() const { return left + width; }
    Expression bottom() const { return top + height; }
    Expression centerX2() const { return 2.0 * left + width; } // twice the centre, to stay in integers
    Expression centerY2() const { return 2.0 * top + height; }
};

// A solver and the constraints of one system, made but not yet added.
struct System {
    LayoutSolver solver;
    std::vector<Constraint> constraints;
    std::vector<Variable> edits;

    View view() {
        View v{solver.makeVariable(), solver.makeVariable(), solver.makeVariable(), solver.makeVariable()};
        return v;
    }
    Constraint rule(const Expression& e, Relation r, double priority = kRequiredPriority) {
        constraints.push_back(solver.makeConstraint(e, r, priority));
        return constraints.back();
    }
    void stays(const View& v) {
        for (Variable x : {v.left, v.top, v.width, v.height}) rule(Expression(x), kEq, kStay);
    }
    // A fixed size that the content can be squeezed from or stretched to.
    void intrinsic(Variable size, double value) {
        rule(size - value, kGe, kHigh);
        rule(size - value, kLe, kLow);
    }
    bool addAll() {
        for (Constraint c : constraints)
            if (solver.addConstraint(c) != SolverStatus::Ok) return false;
        for (Variable v : edits)
            if (solver.addEditVariable(v, kWindow) != SolverStatus::Ok) return false;
        return true;
    }
    void removeAll() {
        for (Variable v : edits) (void)solver.removeEditVariable(v);
        for (Constraint c : constraints) (void)solver.removeConstraint(c);
    }
    void resize(double w, double h) {
        (void)solver.suggestValue(edits[0], w);
        if (edits.size() > 1) (void)solver.suggestValue(edits[1], h);
        solver.updateVariables();
    }
};

struct Screen : System {
    View root, title, bar, button;
    std::vector<View> rows;
    Constraint barHeight;

    explicit Screen(int rowCount) {
        root = view();
        edits = {root.width, root.height};
        rule(Expression(root.left), kEq);
        rule(Expression(root.top), kEq);

        title = view();
        stays(title);
        rule(title.centerX2() - root.width, kEq);
        rule(title.top - 28, kEq);
        rule(title.left - 16, kGe);
        rule(root.width - 16 - title.right(), kGe);
        intrinsic(title.width, 180);
        intrinsic(title.height, 22);

        Expression above = title.bottom();
        for (int i = 0; i < rowCount; ++i) {
            const View row = view(), icon = view(), label = view(), toggle = view();
            for (const View& v : {row, icon, label, toggle}) stays(v);
            rule(row.left - 16, kEq);
            rule(root.width - 16 - row.right(), kEq);
            rule(row.top - above - 8, kEq);
            rule(row.height - 30, kGe);
            rule(row.height - 44, kEq, kHigh);

            rule(icon.left - row.left - 8, kEq);
            rule(icon.width - 30, kEq);
            rule(icon.height - 30, kEq, kMedium);
            rule(icon.centerY2() - row.centerY2(), kEq);

            rule(label.left - icon.right() - 8, kEq);
            rule(toggle.left - 8 - label.right(), kGe);
            intrinsic(label.width, 150);
            rule(label.height - 20, kEq, kHigh);
            rule(label.centerY2() - row.centerY2(), kEq);

            rule(row.right() - 8 - toggle.right(), kEq);
            rule(toggle.width - 51, kEq);
            rule(toggle.height - 31, kEq, kMedium);
            rule(toggle.centerY2() - row.centerY2(), kEq);
            rows.push_back(row);
            above = row.bottom();
        }

        bar = view();
        button = view();
        stays(bar);
        stays(button);
        rule(Expression(bar.left), kEq);
        rule(bar.width - root.width, kEq);
        rule(root.height - bar.bottom(), kEq);
        barHeight = rule(bar.height - 67, kEq);
        rule(button.centerX2() - bar.centerX2(), kEq);
        rule(button.centerY2() - bar.centerY2(), kEq);
        rule(button.width - 100, kEq);
        rule(button.height - 40, kEq);
        rule(bar.top - 8 - above, kGe);
    }

    // Frames worked out by hand for a window 375 wide and tall enough for every row at 44: 667
    // for ten rows, 52 more for each further row.
    bool placedCorrectly() {
        const double height = 667 + 52.0 * (static_cast<double>(rows.size()) - 10);
        resize(375, height);
        const auto near = [this](Variable v, double expected) { return std::fabs(solver.value(v) - expected) < 1e-6; };
        return near(title.left, 97.5) && near(rows[0].top, 58) && near(rows[0].width, 343) &&
               near(rows[1].top, 110) && near(bar.top, height - 67) && near(button.left, 137.5) &&
               near(button.top, height - 53.5);
    }
};

// 25 rows of 10 views: lefts chained 8 apart from the container's left, equal widths, the last
// right 8 inside the container's, tops chained 8 apart, heights 40.
struct Grid : System {
    View container;
    std::vector<View> views;

    Grid() {
        container = view();
        edits = {container.width};
        rule(Expression(container.left), kEq);
        rule(Expression(container.top), kEq);
        for (int r = 0; r < 25; ++r) {
            for (int c = 0; c < 10; ++c) {
                const View v = view();
                if (c == 0) {
                    rule(v.left - container.left - 8, kEq);
                } else {
                    rule(v.left - views.back().right() - 8, kEq);
                    rule(v.width - views.back().width, kEq);
                }
                if (r == 0)
                    rule(v.top - container.top - 8, kEq);
                else
                    rule(v.top - views[views.size() - 10].bottom() - 8, kEq);
                rule(v.height - 40, kEq);
                if (c == 9) rule(container.left + container.width - 8 - v.right(), kEq);
                views.push_back(v);
            }
        }
    }

    bool placedCorrectly() {
        resize(1000, 0);
        const auto near = [this](Variable v, double expected) { return std::fabs(solver.value(v) - expected) < 1e-6; };
        const View& last = views.back();
        return near(views[0].width, 91.2) && near(views[13].left, 8 + 3 * 99.2) && near(views[13].top, 56) &&
               near(last.left, 8 + 9 * 99.2) && near(last.top, 8 + 24 * 48);
    }
};

// A form: rows of a label and a field, about 110 constraints of mixed strengths, the window's
// width and height as edit variables.
struct Form : System {
    View root;
    std::vector<View> labels, fields;

    explicit Form(int rowCount = 10) {
        root = view();
        edits = {root.width, root.height};
        rule(Expression(root.left), kEq);
        rule(Expression(root.top), kEq);
        Expression above = Expression(root.top);
        for (int i = 0; i < rowCount; ++i) {
            const View label = view(), field = view();
            rule(label.left - root.left - 20, kEq);
            rule(label.top - above - 10, kEq);
            rule(label.width - 100, kEq, kMedium);
            rule(label.height - 30, kEq);
            rule(field.left - label.right() - 10, kEq);
            rule(root.left + root.width - 20 - field.right(), kEq);
            rule(field.top - label.top, kEq);
            rule(field.height - label.height, kEq);
            rule(field.width - 100, kGe);
            rule(field.width - label.width, kGe, kLow);
            rule(field.width - 200, kEq, kStay);
            labels.push_back(label);
            fields.push_back(field);
            above = label.bottom();
        }
    }

    bool placedCorrectly() {
        resize(400, 600);
        const auto near = [this](Variable v, double expected) { return std::fabs(solver.value(v) - expected) < 1e-6; };
        return near(labels[0].width, 100) && near(fields[0].left, 130) && near(fields[0].width, 250) &&
               near(labels[9].top, 10 + 9 * 40) && near(fields[9].top, 370);
    }
};

void FormBuildAndSolve(benchmark::State& state) {
    {
        Form check;
        if (!check.addAll() || !check.placedCorrectly()) {
            state.SkipWithError("the form's frames are wrong");
            return;
        }
    }
    for (auto _ : state) {
        Form form;
        if (!form.addAll()) state.SkipWithError("a constraint was refused");
        form.resize(400, 600);
        benchmark::DoNotOptimize(form.solver.value(form.fields.back().left));
    }
    state.counters["constraints"] = static_cast<double>(Form().constraints.size());
}
BENCHMARK(FormBuildAndSolve)->Unit(benchmark::kMicrosecond);

void FormEditResolve(benchmark::State& state) {
    Form form;
    if (!form.addAll() || !form.placedCorrectly()) {
        state.SkipWithError("the form's frames are wrong");
        return;
    }
    const double sizes[][2] = {{400, 600}, {320, 480}, {768, 1024}, {500, 700}};
    for (int warm = 0; warm < 8; ++warm) form.resize(sizes[warm % 4][0], sizes[warm % 4][1]);
    std::size_t i = 0;
    for (auto _ : state) {
        const double* size = sizes[i++ % 4];
        form.resize(size[0], size[1]);
        benchmark::DoNotOptimize(form.solver.value(form.fields.back().width));
    }
}
BENCHMARK(FormEditResolve);

// ---- the typical screen

void ScreenAddAll(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto screen = std::make_unique<Screen>(rows);
        state.ResumeTiming();
        if (!screen->addAll()) state.SkipWithError("a constraint was refused");
        screen->resize(375, 667);
        state.PauseTiming();
        screen.reset();
        state.ResumeTiming();
    }
    state.counters["constraints"] = static_cast<double>(Screen(rows).constraints.size());
}
BENCHMARK(ScreenAddAll)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMicrosecond);

// Rotating through sizes: a short window squeezes the rows, so the dual simplex pivots. `grow` is
// added to every window height.
void resizeScreen(benchmark::State& state, double grow) {
    Screen screen(static_cast<int>(state.range(0)));
    if (!screen.addAll() || !screen.placedCorrectly()) {
        state.SkipWithError("the screen's frames are wrong");
        return;
    }
    const double sizes[][2] = {{375, 667 + grow}, {320, 568 + grow}, {414, 896 + grow}, {768, 1024 + grow}};
    for (int warm = 0; warm < 8; ++warm) screen.resize(sizes[warm % 4][0], sizes[warm % 4][1]);
    std::size_t i = 0;
    for (auto _ : state) {
        const double* size = sizes[i++ % 4];
        screen.resize(size[0], size[1]);
        benchmark::DoNotOptimize(screen.solver.value(screen.button.top));
    }
}

void ScreenEditResolve(benchmark::State& state) { resizeScreen(state, 0); }
BENCHMARK(ScreenEditResolve)->Arg(10)->Arg(20)->Arg(40);

// The same resizes with the windows grown by the extra rows' 52 each: every size squeezes the same
// rows, so a resize takes the same pivots (3 on average) whatever the row count, and only the cost
// of a pivot grows. (With fixed windows a screen of more rows squeezes more of them and pushes more
// views past their stays: 3, 19.5 and 22.5 pivots a resize for 10, 20 and 40 rows.)
void ScreenEditResolveFitted(benchmark::State& state) {
    resizeScreen(state, 52.0 * (static_cast<double>(state.range(0)) - 10));
}
BENCHMARK(ScreenEditResolveFitted)->Arg(10)->Arg(20)->Arg(40);

void ScreenConstantChange(benchmark::State& state) {
    Screen screen(static_cast<int>(state.range(0)));
    if (!screen.addAll() || !screen.placedCorrectly()) {
        state.SkipWithError("the screen's frames are wrong");
        return;
    }
    // The footer bar's height animated in place: a required constant.
    const double heights[] = {-67, -80, -100, -49};
    for (int warm = 0; warm < 8; ++warm) {
        (void)screen.solver.setConstant(screen.barHeight, heights[warm % 4]);
        screen.solver.updateVariables();
    }
    std::size_t i = 0;
    for (auto _ : state) {
        if (screen.solver.setConstant(screen.barHeight, heights[i++ % 4]) != SolverStatus::Ok)
            state.SkipWithError("refused");
        screen.solver.updateVariables();
        benchmark::DoNotOptimize(screen.solver.value(screen.button.top));
    }
}
BENCHMARK(ScreenConstantChange)->Arg(10)->Arg(20)->Arg(40);

void ScreenRemoveAll(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto screen = std::make_unique<Screen>(rows);
        if (!screen->addAll()) state.SkipWithError("a constraint was refused");
        screen->resize(375, 667);
        state.ResumeTiming();
        screen->removeAll();
        state.PauseTiming();
        screen.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ScreenRemoveAll)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMicrosecond);

// ---- the grid

void GridBuildAndSolve(benchmark::State& state) {
    {
        Grid check;
        if (!check.addAll() || !check.placedCorrectly()) {
            state.SkipWithError("the grid's frames are wrong");
            return;
        }
    }
    for (auto _ : state) {
        Grid grid;
        if (!grid.addAll()) state.SkipWithError("a constraint was refused");
        grid.resize(1000, 0);
        benchmark::DoNotOptimize(grid.solver.value(grid.views.back().left));
    }
    state.counters["constraints"] = static_cast<double>(Grid().constraints.size());
}
BENCHMARK(GridBuildAndSolve)->Unit(benchmark::kMicrosecond);

void GridEditResolve(benchmark::State& state) {
    Grid grid;
    if (!grid.addAll() || !grid.placedCorrectly()) {
        state.SkipWithError("the grid's frames are wrong");
        return;
    }
    const double widths[] = {1000, 1200, 800, 1100};
    for (int warm = 0; warm < 8; ++warm) grid.resize(widths[warm % 4], 0);
    std::size_t i = 0;
    for (auto _ : state) {
        grid.resize(widths[i++ % 4], 0);
        benchmark::DoNotOptimize(grid.solver.value(grid.views.back().left));
    }
}
BENCHMARK(GridEditResolve);

} // namespace
