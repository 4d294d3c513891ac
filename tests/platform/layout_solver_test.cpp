#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <iterator>
#include <new>
#include <random>
#include <vector>

#include "platform/uikit/layout_solver.h"
#include "tests/platform/support.h"

namespace {

using namespace ui::detail;

constexpr double kRequired = kRequiredPriority;
constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// Makes and adds, expecting success.
Constraint require(LayoutSolver& s, const Expression& e, Relation r, double priority = kRequired) {
    const Constraint c = s.makeConstraint(e, r, priority);
    EXPECT_EQ(s.addConstraint(c), SolverStatus::Ok);
    return c;
}

TEST(LayoutSolver, SolvesRequiredEqualitiesAndInequalities) {
    LayoutSolver s;
    const Variable x = s.makeVariable(), y = s.makeVariable();
    require(s, x + y - 10, Relation::Equal);
    require(s, x - 3, Relation::Equal);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(x), 3);
    EXPECT_DOUBLE_EQ(s.value(y), 7);

    // A required x >= 50 holds against a weak pull to 0, whichever comes first.
    for (bool weakFirst : {false, true}) {
        LayoutSolver t;
        const Variable v = t.makeVariable();
        if (weakFirst) require(t, Expression(v), Relation::Equal, 1);
        require(t, v - 50, Relation::GreaterOrEqual);
        if (!weakFirst) require(t, Expression(v), Relation::Equal, 250);
        t.updateVariables();
        EXPECT_DOUBLE_EQ(t.value(v), 50) << weakFirst;
    }
}

TEST(LayoutSolver, HigherPriorityWinsOnASharedVariable) {
    struct Case {
        double high, low;
    };
    for (const Case& k : {Case{750, 250}, Case{251, 250}, Case{250, 1}, Case{999, 998}}) {
        for (bool highFirst : {true, false}) {
            LayoutSolver s;
            const Variable x = s.makeVariable();
            if (highFirst) require(s, x - 100, Relation::Equal, k.high);
            require(s, Expression(x), Relation::Equal, k.low);
            if (!highFirst) require(s, x - 100, Relation::Equal, k.high);
            s.updateVariables();
            EXPECT_DOUBLE_EQ(s.value(x), 100) << k.high << " over " << k.low;
        }
    }
    // 750 holds against a crowd of 250s, and two 250s outweigh one 251.
    LayoutSolver s;
    const Variable x = s.makeVariable(), y = s.makeVariable();
    require(s, x - 100, Relation::Equal, 750);
    for (int i = 0; i < 20; ++i) require(s, Expression(x), Relation::Equal, 250);
    require(s, y - 100, Relation::Equal, 251);
    require(s, Expression(y), Relation::Equal, 250);
    require(s, Expression(y), Relation::Equal, 250);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(x), 100);
    EXPECT_DOUBLE_EQ(s.value(y), 0);
    EXPECT_GT(strengthWeight(750) / strengthWeight(250), 999.0);
}

// Two solvers fed the same successful operations must agree bit for bit, whatever the first one
// was refused on the way.
void expectSameValues(const LayoutSolver& a, const LayoutSolver& b, const std::vector<Variable>& vars) {
    for (Variable v : vars) EXPECT_EQ(a.value(v), b.value(v));
}

TEST(LayoutSolver, RefusedConstraintLeavesTheSolverAsItWas) {
    LayoutSolver refused, clean;
    std::vector<Variable> vars;
    for (LayoutSolver* s : {&refused, &clean}) {
        const Variable x = s->makeVariable(), y = s->makeVariable(), z = s->makeVariable();
        vars = {x, y, z};
        require(*s, x - 1, Relation::Equal);
        require(*s, y - x - 5, Relation::GreaterOrEqual);
        require(*s, Expression(y), Relation::Equal, 250);
        require(*s, z - 4, Relation::Equal, 1);
        require(*s, z - y, Relation::LessOrEqual, 500);
        s->updateVariables();
    }
    const Variable x = vars[0], y = vars[1], z = vars[2];
    EXPECT_DOUBLE_EQ(refused.value(x), 1);
    EXPECT_DOUBLE_EQ(refused.value(y), 6);

    // A direct contradiction, one found only by the artificial variable, and a duplicate.
    const Constraint twice = refused.makeConstraint(x - 2, Relation::Equal);
    EXPECT_EQ(refused.addConstraint(twice), SolverStatus::Unsatisfiable);
    const Constraint squeezed = refused.makeConstraint(Expression(y) - 3, Relation::LessOrEqual);
    EXPECT_EQ(refused.addConstraint(squeezed), SolverStatus::Unsatisfiable);
    const Constraint again = refused.makeConstraint(x - 1, Relation::Equal);
    EXPECT_EQ(refused.addConstraint(again), SolverStatus::Ok);
    EXPECT_EQ(refused.addConstraint(again), SolverStatus::DuplicateConstraint);
    EXPECT_EQ(refused.removeConstraint(again), SolverStatus::Ok);
    EXPECT_EQ(refused.destroyConstraint(again), SolverStatus::Ok);
    EXPECT_FALSE(refused.hasConstraint(twice));
    EXPECT_TRUE(refused.consistent());
    refused.updateVariables();
    expectSameValues(refused, clean, vars);

    // Later work solves the same.
    for (LayoutSolver* s : {&refused, &clean}) {
        EXPECT_EQ(s->addEditVariable(z, 900), SolverStatus::Ok);
        EXPECT_EQ(s->suggestValue(z, 30), SolverStatus::Ok);
        s->updateVariables();
    }
    EXPECT_DOUBLE_EQ(refused.value(z), 30);
    expectSameValues(refused, clean, vars);
    for (LayoutSolver* s : {&refused, &clean}) {
        require(*s, x + y + z - 50, Relation::GreaterOrEqual, 750);
        s->updateVariables();
    }
    expectSameValues(refused, clean, vars);
    EXPECT_EQ(refused.addConstraint(twice), SolverStatus::Unsatisfiable);
}

TEST(LayoutSolver, RemovingAConstraintRestoresTheEarlierSolution) {
    LayoutSolver s;
    const Variable left = s.makeVariable(), width = s.makeVariable(), right = s.makeVariable();
    require(s, Expression(left) - 20, Relation::Equal);
    require(s, right - left - width, Relation::Equal);
    require(s, width - 100, Relation::Equal, 500);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(right), 120);

    const Constraint cap = require(s, right - 80, Relation::LessOrEqual);
    const Constraint wide = require(s, width - 300, Relation::Equal, 750);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(width), 60);
    EXPECT_EQ(s.removeConstraint(cap), SolverStatus::Ok);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(width), 300);
    EXPECT_EQ(s.removeConstraint(wide), SolverStatus::Ok);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(width), 100);
    EXPECT_DOUBLE_EQ(s.value(right), 120);
    EXPECT_EQ(s.removeConstraint(cap), SolverStatus::UnknownConstraint);

    // A removed constraint can come back, and does the same again.
    EXPECT_EQ(s.addConstraint(cap), SolverStatus::Ok);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(width), 60);
    EXPECT_TRUE(s.consistent());

    // Of two copies of a required equality, the second takes over when the first goes, while
    // bounds on both sides leave room.
    LayoutSolver t;
    const Variable x = t.makeVariable();
    const Constraint first = require(t, x - 1, Relation::Equal);
    const Constraint copy = require(t, x - 1, Relation::Equal);
    require(t, x + 3, Relation::GreaterOrEqual);
    require(t, x - 5, Relation::LessOrEqual);
    require(t, x + 9, Relation::Equal, 250);
    EXPECT_EQ(t.removeConstraint(first), SolverStatus::Ok);
    t.updateVariables();
    EXPECT_DOUBLE_EQ(t.value(x), 1);
    EXPECT_TRUE(t.consistent());
    EXPECT_EQ(t.removeConstraint(copy), SolverStatus::Ok);
    t.updateVariables();
    EXPECT_DOUBLE_EQ(t.value(x), -3);
}

TEST(LayoutSolver, SuggestedEditValueMovesItsDependants) {
    LayoutSolver s;
    const Variable container = s.makeVariable(), left = s.makeVariable(), right = s.makeVariable();
    const Variable centre = s.makeVariable();
    require(s, left - 20, Relation::Equal);
    require(s, container - right - 20, Relation::Equal);
    require(s, 2.0 * centre - left - right, Relation::Equal);
    require(s, container - 100, Relation::Equal, 1);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(right), 80);

    // An edit variable starts where the variable is: adding it moves nothing.
    EXPECT_EQ(s.addEditVariable(container, 999), SolverStatus::Ok);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(container), 100);
    EXPECT_TRUE(s.hasEditVariable(container));

    EXPECT_EQ(s.suggestValue(container, 375), SolverStatus::Ok);
    EXPECT_DOUBLE_EQ(s.value(right), 80); // nothing moves before the update
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(right), 355);
    EXPECT_DOUBLE_EQ(s.value(centre), 187.5);
    for (double w : {320.0, 1024.0, 10.0}) {
        EXPECT_EQ(s.suggestValue(container, w), SolverStatus::Ok);
        s.updateVariables();
        EXPECT_DOUBLE_EQ(s.value(right), w - 20);
        EXPECT_DOUBLE_EQ(s.value(centre), w / 2);
        EXPECT_TRUE(s.consistent());
    }

    // Without the edit, the variable goes back to its weak pull.
    EXPECT_EQ(s.removeEditVariable(container), SolverStatus::Ok);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(container), 100);
    EXPECT_FALSE(s.hasEditVariable(container));
    EXPECT_TRUE(s.consistent());
}

TEST(LayoutSolver, ChangesAConstantInPlace) {
    LayoutSolver s;
    const Variable x = s.makeVariable(), y = s.makeVariable(), z = s.makeVariable();
    const Constraint fixX = require(s, x - 10, Relation::Equal);
    require(s, y - x - 5, Relation::Equal);
    EXPECT_EQ(s.setConstant(fixX, -30), SolverStatus::Ok);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(y), 35);

    // A required constant that would conflict is refused and the old one kept.
    require(s, z - 20, Relation::GreaterOrEqual);
    const Constraint fixZ = require(s, z - 25, Relation::Equal);
    EXPECT_EQ(s.setConstant(fixZ, -5), SolverStatus::Unsatisfiable);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(z), 25);
    EXPECT_EQ(s.setConstant(fixZ, -21), SolverStatus::Ok);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(z), 21);

    // A required equality implied by another is still checked when either changes.
    const Constraint again = require(s, x - 30, Relation::Equal);
    EXPECT_EQ(s.setConstant(fixX, -31), SolverStatus::Unsatisfiable);
    EXPECT_EQ(s.setConstant(again, -31), SolverStatus::Unsatisfiable);
    EXPECT_EQ(s.removeConstraint(again), SolverStatus::Ok);
    EXPECT_EQ(s.setConstant(fixX, -31), SolverStatus::Ok);
    s.updateVariables();
    EXPECT_DOUBLE_EQ(s.value(y), 36);

    // Out of the solver the constant is only recorded; adding uses it.
    EXPECT_EQ(s.setConstant(again, -31), SolverStatus::Ok);
    EXPECT_EQ(s.addConstraint(again), SolverStatus::Ok);
    EXPECT_TRUE(s.consistent());
}

TEST(LayoutSolver, RefusesUnknownAndInvalidRequests) {
    LayoutSolver s;
    const Variable x = s.makeVariable(), y = s.makeVariable();
    // A destroyed constraint's handle stays dead when its slot is made again.
    const Constraint c = s.makeConstraint(x - 1, Relation::Equal, 500);
    EXPECT_EQ(s.removeConstraint(c), SolverStatus::UnknownConstraint);
    EXPECT_EQ(s.destroyConstraint(c), SolverStatus::Ok);
    const Constraint d = s.makeConstraint(x - 1, Relation::Equal, 500);
    EXPECT_EQ(d.index, c.index);
    EXPECT_EQ(s.addConstraint(c), SolverStatus::UnknownConstraint);
    EXPECT_EQ(s.setConstant(c, 2), SolverStatus::UnknownConstraint);

    for (double p : {0.0, 1001.0, kNotANumber})
        EXPECT_EQ(s.addConstraint(s.makeConstraint(Expression(x), Relation::Equal, p)), SolverStatus::InvalidPriority);
    EXPECT_EQ(s.addConstraint(s.makeConstraint(x * std::numeric_limits<double>::infinity(), Relation::Equal)),
              SolverStatus::InvalidValue);
    EXPECT_EQ(s.addConstraint(s.makeConstraint(x + Variable{}, Relation::Equal)), SolverStatus::UnknownVariable);
    const Constraint fixed = require(s, x - 1, Relation::Equal);
    EXPECT_EQ(s.setConstant(fixed, kNotANumber), SolverStatus::InvalidValue);

    EXPECT_EQ(s.suggestValue(x, 1), SolverStatus::UnknownEditVariable);
    EXPECT_EQ(s.addEditVariable(x, kRequired), SolverStatus::InvalidPriority);
    EXPECT_EQ(s.addEditVariable(y, 500), SolverStatus::Ok);
    EXPECT_EQ(s.addEditVariable(y, 400), SolverStatus::DuplicateEditVariable);
    EXPECT_EQ(s.suggestValue(y, kNotANumber), SolverStatus::InvalidValue);

    // A variable named by a constraint or an edit stays; a released one names nothing.
    EXPECT_EQ(s.releaseVariable(x), SolverStatus::VariableInUse);
    EXPECT_EQ(s.releaseVariable(y), SolverStatus::VariableInUse);
    EXPECT_EQ(s.removeEditVariable(y), SolverStatus::Ok);
    EXPECT_EQ(s.releaseVariable(y), SolverStatus::Ok);
    EXPECT_EQ(s.addConstraint(s.makeConstraint(y - 3, Relation::Equal)), SolverStatus::UnknownVariable);
    EXPECT_EQ(s.suggestValue(y, 1), SolverStatus::UnknownVariable);
    EXPECT_NE(s.makeVariable(), y);
    EXPECT_EQ(s.destroyConstraint(fixed), SolverStatus::Ok);
    EXPECT_EQ(s.destroyConstraint(d), SolverStatus::Ok);
    EXPECT_EQ(s.releaseVariable(x), SolverStatus::Ok);
    EXPECT_TRUE(s.consistent());
}

// A row of views in a container whose width is edited: chained lefts, equal widths at mixed
// priorities, a centred label under them, and a constant animated in place.
TEST(LayoutSolver, SteadyStateAllocatesNothing) {
    LayoutSolver s;
    const Variable width = s.makeVariable(), label = s.makeVariable(), labelWidth = s.makeVariable();
    std::vector<Variable> lefts, widths;
    for (int i = 0; i < 12; ++i) {
        lefts.push_back(s.makeVariable());
        widths.push_back(s.makeVariable());
        require(s, widths.back() - 10, Relation::GreaterOrEqual);
    }
    require(s, width - 320, Relation::Equal, 1);
    require(s, lefts[0] - 8, Relation::Equal);
    for (std::size_t i = 1; i < lefts.size(); ++i) {
        require(s, lefts[i] - lefts[i - 1] - widths[i - 1] - 8, Relation::Equal);
        require(s, widths[i] - widths[0], Relation::Equal, 750);
    }
    require(s, width - lefts.back() - widths.back() - 8, Relation::Equal);
    const Constraint labelSize = require(s, labelWidth - 100, Relation::Equal);
    const Constraint hug = require(s, labelWidth - 90, Relation::LessOrEqual, 250);
    require(s, 2.0 * label + labelWidth - width, Relation::Equal, 500);
    ASSERT_EQ(s.addEditVariable(width, 999), SolverStatus::Ok);

    const double suggestions[] = {375, 320, 1024, 414, 160};
    auto cycle = [&] {
        for (double w : suggestions) {
            (void)s.suggestValue(width, w);
            s.updateVariables();
        }
        for (double k : {-120.0, -80.0, -100.0}) {
            (void)s.setConstant(labelSize, k);
            (void)s.setConstant(hug, k + 5);
            s.updateVariables();
        }
    };
    for (int i = 0; i < 3; ++i) cycle();

    const platform_tests::ThreadAllocations allocations;
    cycle();
    EXPECT_EQ(allocations.count, 0);

    s.updateVariables();
    // 160 is too narrow for twelve views of at least 10 with 13 gaps of 8: the edit gives way.
    EXPECT_NEAR(s.value(width), 224, 1e-9);
    EXPECT_NEAR(s.value(widths[5]), 10, 1e-9);
    EXPECT_NEAR(s.value(labelWidth), 100, 1e-9);
    EXPECT_NEAR(s.value(label), 62, 1e-9);
    EXPECT_TRUE(s.consistent());
}

// ---- A brute-force reference for small systems.
//
// The solver minimises the weighted violations of the optional constraints subject to the
// required ones. That function is piecewise linear and convex; with a weak stay on every
// variable among the constraints, its minimum over the feasible region lies on a vertex of the
// arrangement of all the constraints' hyperplanes. Enumerating those vertices gives the optimum,
// and whether the required constraints can hold at all.

struct Linear {
    std::vector<double> a;
    double c = 0;
    Relation relation = Relation::Equal;
    double priority = kRequired;
    Constraint handle;   // in the solver under test
    Constraint mirrored; // in its mirror
};

Expression expressionOf(const Linear& l, const std::vector<Variable>& vars) {
    Expression e(l.c);
    for (std::size_t j = 0; j < vars.size(); ++j)
        if (l.a[j] != 0) e = e + l.a[j] * Expression(vars[j]);
    return e;
}

Linear makeLinear(std::size_t n, double c, Relation relation, double priority) {
    Linear l;
    l.a.assign(n, 0.0);
    l.c = c;
    l.relation = relation;
    l.priority = priority;
    return l;
}

double violation(const Linear& l, const std::vector<double>& x) {
    double r = l.c;
    for (std::size_t j = 0; j < x.size(); ++j) r += l.a[j] * x[j];
    switch (l.relation) {
    case Relation::Equal: return std::fabs(r);
    case Relation::GreaterOrEqual: return std::max(0.0, -r);
    case Relation::LessOrEqual: return std::max(0.0, r);
    }
    return 0;
}

double objective(const std::vector<Linear>& ls, const std::vector<double>& x) {
    double sum = 0;
    for (const Linear& l : ls)
        if (l.priority < kRequired) sum += strengthWeight(l.priority) * violation(l, x);
    return sum;
}

bool holdsRequired(const std::vector<Linear>& ls, const std::vector<double>& x, double tolerance) {
    return std::all_of(ls.begin(), ls.end(),
                       [&](const Linear& l) { return l.priority < kRequired || violation(l, x) <= tolerance; });
}

// Solves the square system of the chosen hyperplanes; false when it is singular.
bool intersect(const std::vector<Linear>& ls, const std::vector<std::size_t>& pick, std::vector<double>& x) {
    const std::size_t n = pick.size();
    std::vector<std::vector<double>> m(n, std::vector<double>(n + 1));
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) m[i][j] = ls[pick[i]].a[j];
        m[i][n] = -ls[pick[i]].c;
    }
    for (std::size_t col = 0; col < n; ++col) {
        std::size_t best = col;
        for (std::size_t r = col + 1; r < n; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[best][col])) best = r;
        if (std::fabs(m[best][col]) < 1e-9) return false;
        std::swap(m[col], m[best]);
        for (std::size_t r = 0; r < n; ++r) {
            if (r == col) continue;
            const double f = m[r][col] / m[col][col];
            for (std::size_t k = col; k <= n; ++k) m[r][k] -= f * m[col][k];
        }
    }
    x.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) x[i] = m[i][n] / m[i][i];
    return true;
}

struct Optimum {
    bool feasible = false;
    double objective = std::numeric_limits<double>::infinity();
};

Optimum bruteForce(const std::vector<Linear>& ls, std::size_t n) {
    Optimum best;
    std::vector<std::size_t> pick(n);
    std::vector<double> x;
    auto visit = [&](auto& self, std::size_t depth, std::size_t from) -> void {
        if (depth == n) {
            if (!intersect(ls, pick, x) || !holdsRequired(ls, x, 1e-7)) return;
            best.feasible = true;
            best.objective = std::min(best.objective, objective(ls, x));
            return;
        }
        for (std::size_t i = from; i < ls.size(); ++i) {
            pick[depth] = i;
            self(self, depth + 1, i + 1);
        }
    };
    visit(visit, 0, 0);
    return best;
}

TEST(LayoutSolver, RandomSystemsMatchABruteForceReference) {
    std::mt19937 rng(20240611);
    auto pickInt = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const double priorities[] = {kRequired, kRequired, kRequired, 750, 500, 251, 250, 1};
    int refusals = 0, accepted = 0;

    for (int round = 0; round < 150; ++round) {
        const std::size_t n = static_cast<std::size_t>(pickInt(1, 3));
        // `mirror` sees only the operations `s` accepts and must agree with it exactly.
        LayoutSolver s, mirror;
        std::vector<Variable> vars;
        for (std::size_t j = 0; j < n; ++j) {
            vars.push_back(s.makeVariable());
            ASSERT_EQ(mirror.makeVariable(), vars.back());
        }
        auto addBoth = [&](Linear& l) {
            l.handle = s.makeConstraint(expressionOf(l, vars), l.relation, l.priority);
            const SolverStatus status = s.addConstraint(l.handle);
            if (status == SolverStatus::Ok) {
                l.mirrored = mirror.makeConstraint(expressionOf(l, vars), l.relation, l.priority);
                EXPECT_EQ(mirror.addConstraint(l.mirrored), SolverStatus::Ok);
            } else {
                EXPECT_EQ(s.destroyConstraint(l.handle), SolverStatus::Ok);
            }
            return status;
        };

        std::vector<Linear> stays, live;
        std::vector<double> stayValues;
        for (std::size_t j = 0; j < n; ++j) {
            Linear stay = makeLinear(n, -pickInt(-20, 20), Relation::Equal, 1);
            stay.a[j] = 1;
            stayValues.push_back(-stay.c);
            ASSERT_EQ(addBoth(stay), SolverStatus::Ok);
            stays.push_back(stay);
        }
        // An edit variable on the first variable, as a soft equality the reference can see.
        const bool editing = pickInt(0, 1) == 1;
        Linear edit = makeLinear(n, -stayValues[0], Relation::Equal, 600);
        edit.a[0] = 1;
        if (editing) {
            ASSERT_EQ(s.addEditVariable(vars[0], edit.priority), SolverStatus::Ok);
            ASSERT_EQ(mirror.addEditVariable(vars[0], edit.priority), SolverStatus::Ok);
        }
        auto everything = [&](const Linear* extra, const Linear* instead) {
            std::vector<Linear> all = stays;
            for (const Linear& l : live) all.push_back(instead && l.handle == instead->handle ? *instead : l);
            if (editing) all.push_back(edit);
            if (extra) all.push_back(*extra);
            return all;
        };
        // A refusal must be of a required constraint the reference cannot satisfy either.
        auto accepts = [&](SolverStatus status, const Linear& l, const std::vector<Linear>& with) {
            const bool ok = status == SolverStatus::Ok;
            EXPECT_EQ(bruteForce(with, n).feasible, ok);
            if (!ok) {
                EXPECT_EQ(status, SolverStatus::Unsatisfiable);
                EXPECT_EQ(l.priority, kRequired);
                ++refusals;
            }
            return ok;
        };

        for (int step = 0; step < 30; ++step) {
            const int op = pickInt(0, 9);
            if (op <= 4 || live.empty()) {
                Linear l = makeLinear(n, pickInt(-15, 15), static_cast<Relation>(pickInt(0, 2)), priorities[pickInt(0, 7)]);
                for (double& a : l.a) a = pickInt(-2, 2);
                if (accepts(addBoth(l), l, everything(&l, nullptr))) {
                    live.push_back(l);
                    ++accepted;
                }
            } else if (op <= 6) {
                const std::size_t i = static_cast<std::size_t>(pickInt(0, static_cast<int>(live.size()) - 1));
                EXPECT_EQ(s.removeConstraint(live[i].handle), SolverStatus::Ok);
                EXPECT_EQ(mirror.removeConstraint(live[i].mirrored), SolverStatus::Ok);
                live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
            } else if (op <= 8 || !editing) {
                Linear& l = live[static_cast<std::size_t>(pickInt(0, static_cast<int>(live.size()) - 1))];
                Linear changed = l;
                changed.c = pickInt(-15, 15);
                if (accepts(s.setConstant(l.handle, changed.c), l, everything(nullptr, &changed))) {
                    EXPECT_EQ(mirror.setConstant(l.mirrored, changed.c), SolverStatus::Ok);
                    l = changed;
                }
            } else {
                const double value = pickInt(-30, 30);
                EXPECT_EQ(s.suggestValue(vars[0], value), SolverStatus::Ok);
                EXPECT_EQ(mirror.suggestValue(vars[0], value), SolverStatus::Ok);
                edit.c = -value;
            }

            s.updateVariables();
            mirror.updateVariables();
            ASSERT_TRUE(s.consistent()) << "round " << round << " step " << step;
            std::vector<double> x;
            for (Variable v : vars) x.push_back(s.value(v));
            expectSameValues(s, mirror, vars);
            const std::vector<Linear> all = everything(nullptr, nullptr);
            const Optimum ref = bruteForce(all, n);
            ASSERT_TRUE(ref.feasible);
            EXPECT_TRUE(holdsRequired(all, x, 1e-6)) << "round " << round << " step " << step;
            EXPECT_NEAR(objective(all, x), ref.objective, 1e-7 * (1 + ref.objective))
                << "round " << round << " step " << step;
        }

        // With everything else gone, every variable rests at its stay.
        for (const Linear& l : live) EXPECT_EQ(s.removeConstraint(l.handle), SolverStatus::Ok);
        if (editing) {
            EXPECT_EQ(s.removeEditVariable(vars[0]), SolverStatus::Ok);
        }
        s.updateVariables();
        for (std::size_t j = 0; j < n; ++j) EXPECT_NEAR(s.value(vars[j]), stayValues[j], 1e-9);
        EXPECT_TRUE(s.consistent());
    }
    // The draw exercises both outcomes plentifully.
    EXPECT_GT(refusals, 100);
    EXPECT_GT(accepted, 1000);
}

// Constraints and variables coming and going for a long time: symbols are recycled, the
// tableau stays sound and the answers stay the same.
TEST(LayoutSolver, LongChurnStaysSound) {
    LayoutSolver s;
    const Variable base = s.makeVariable();
    require(s, base - 50, Relation::Equal);
    for (int round = 0; round < 300; ++round) {
        const Variable a = s.makeVariable(), b = s.makeVariable();
        const Constraint c1 = require(s, a - base - 10, Relation::Equal);
        const Constraint c2 = require(s, b - a, Relation::GreaterOrEqual);
        const Constraint c3 = require(s, Expression(b) - round, Relation::Equal, 250);
        s.updateVariables();
        ASSERT_DOUBLE_EQ(s.value(b), std::max(60.0, static_cast<double>(round)));
        for (Constraint c : {c1, c2, c3}) ASSERT_EQ(s.destroyConstraint(c), SolverStatus::Ok);
        ASSERT_EQ(s.releaseVariable(a), SolverStatus::Ok);
        ASSERT_EQ(s.releaseVariable(b), SolverStatus::Ok);
        ASSERT_TRUE(s.consistent()) << round;
    }
}

// ---- Incremental answers against solving afresh.
//
// Systems shaped like screens (each constraint relates a few neighbouring variables, every
// variable has a weak stay, a few are edited) go through long runs of additions, removals,
// constant changes and resizes. After every step a new solver given the constraints then in force
// (an edit is an optional equality at the suggested value) must reach the same optimum: the same
// weighted violation, every required constraint holding. (The values may differ where the optimum
// is not unique.) A refusal must be of constraints that the new solver refuses too.

// The values a new solver finds; empty if it refuses a constraint.
std::vector<double> solveAfresh(std::size_t n, const std::vector<Linear>& constraints) {
    LayoutSolver s;
    std::vector<Variable> vars;
    for (std::size_t j = 0; j < n; ++j) vars.push_back(s.makeVariable());
    for (const Linear& l : constraints)
        if (s.addConstraint(s.makeConstraint(expressionOf(l, vars), l.relation, l.priority)) != SolverStatus::Ok) return {};
    s.updateVariables();
    std::vector<double> x;
    for (Variable v : vars) x.push_back(s.value(v));
    return x;
}

TEST(LayoutSolver, IncrementalAnswersMatchSolvingAfresh) {
    struct Shape {
        const char* name;
        int variables;
        int span;            // a constraint names variables at most this far apart
        int requiredPercent; // of the constraints added
        std::size_t edits;   // on the first variables
    };
    const Shape shapes[] = {
        {"short chains", 8, 2, 60, 1},
        {"long chains", 24, 3, 50, 2},
        {"mostly optional", 16, 4, 20, 2},
    };
    const double optional[] = {750, 500, 251, 250, 1};
    int refusals = 0;
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        std::mt19937 rng(static_cast<unsigned>(shape.variables * 41 + shape.span));
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        auto any = [&](auto& list) -> auto& { return list[static_cast<std::size_t>(pick(0, static_cast<int>(std::size(list)) - 1))]; };
        const std::size_t n = static_cast<std::size_t>(shape.variables);
        for (int round = 0; round < 10; ++round) {
            SCOPED_TRACE(round);
            LayoutSolver s;
            std::vector<Variable> vars;
            std::vector<Linear> fixed, live; // the stays and edits; the rest
            for (std::size_t j = 0; j < n; ++j) {
                vars.push_back(s.makeVariable());
                fixed.push_back(makeLinear(n, pick(-50, 50), Relation::Equal, 1));
                fixed.back().a[j] = 1;
                require(s, expressionOf(fixed.back(), vars), Relation::Equal, 1);
            }
            for (std::size_t j = 0; j < shape.edits; ++j) {
                fixed.push_back(makeLinear(n, 0, Relation::Equal, j == 0 ? 999 : 600));
                fixed.back().a[j] = 1;
                ASSERT_EQ(s.addEditVariable(vars[j], fixed.back().priority), SolverStatus::Ok);
                ASSERT_EQ(s.suggestValue(vars[j], 0), SolverStatus::Ok);
            }
            auto inForce = [&](const Linear* extra, const Linear* instead) {
                std::vector<Linear> all = fixed;
                for (const Linear& l : live) all.push_back(instead && l.handle == instead->handle ? *instead : l);
                if (extra) all.push_back(*extra);
                return all;
            };
            auto agrees = [&](SolverStatus status, const std::vector<Linear>& with) {
                EXPECT_EQ(solveAfresh(n, with).empty(), status != SolverStatus::Ok);
                refusals += status != SolverStatus::Ok;
                return status == SolverStatus::Ok;
            };
            auto matchesAfresh = [&](int step) {
                ASSERT_TRUE(s.consistent()) << "step " << step;
                const std::vector<Linear> all = inForce(nullptr, nullptr);
                const std::vector<double> afresh = solveAfresh(n, all);
                ASSERT_FALSE(afresh.empty());
                std::vector<double> x;
                for (Variable v : vars) x.push_back(s.value(v));
                EXPECT_TRUE(holdsRequired(all, x, 1e-6)) << "step " << step;
                const double best = objective(all, afresh);
                EXPECT_NEAR(objective(all, x), best, 1e-9 * (1 + best)) << "step " << step;
            };

            for (int step = 0; step < 60; ++step) {
                const int op = pick(0, 9);
                if (op <= 3 || live.empty()) {
                    const double priority = pick(1, 100) <= shape.requiredPercent ? kRequired : any(optional);
                    Linear l = makeLinear(n, pick(-40, 40), static_cast<Relation>(pick(0, 2)), priority);
                    const int first = pick(0, shape.variables - 1);
                    for (int j = first; j <= std::min(shape.variables - 1, first + pick(1, shape.span)); ++j) {
                        const int k = pick(-2, 1); // -2, -1, 1 or 2
                        l.a[static_cast<std::size_t>(j)] = k >= 0 ? k + 1 : k;
                    }
                    l.handle = s.makeConstraint(expressionOf(l, vars), l.relation, l.priority);
                    if (agrees(s.addConstraint(l.handle), inForce(&l, nullptr)))
                        live.push_back(l);
                    else
                        EXPECT_EQ(s.destroyConstraint(l.handle), SolverStatus::Ok);
                } else if (op <= 5) {
                    Linear& l = any(live);
                    EXPECT_EQ(s.removeConstraint(l.handle), SolverStatus::Ok);
                    l = live.back();
                    live.pop_back();
                } else if (op <= 6 || shape.edits == 0) {
                    Linear& l = any(live);
                    Linear changed = l;
                    changed.c = pick(-40, 40);
                    if (agrees(s.setConstant(l.handle, changed.c), inForce(nullptr, &changed))) l = changed;
                } else {
                    // A resize: every edit moves, a few times over, with a solve after each.
                    for (int burst = pick(1, 4); burst > 0; --burst) {
                        for (std::size_t j = 0; j < shape.edits; ++j) {
                            const int value = pick(-60, 60);
                            fixed[n + j].c = -value;
                            EXPECT_EQ(s.suggestValue(vars[j], value), SolverStatus::Ok);
                        }
                        s.updateVariables();
                        matchesAfresh(step);
                    }
                    continue;
                }
                s.updateVariables();
                matchesAfresh(step);
            }
        }
    }
    EXPECT_GT(refusals, 10);
}

} // namespace
