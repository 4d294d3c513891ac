#include "platform/uikit/layout_engine.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/runtime/log.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/layout_solver.h"
#include "platform/uikit/view.h"

namespace ui::detail {

namespace {

enum Dimension : unsigned char { X = 0, Y = 1, W = 2, H = 3 };

// How many times a pass solves at most while heights that follow widths move.
constexpr int kWidthRounds = 4;

// One constraint as the solver holds it, with the expression it was made from.
struct Slot {
    Constraint handle{};
    bool made = false;
    bool added = false;
    Relation relation = Relation::Equal;
    double priority = kRequiredPriority;
    double constant = 0;
    std::vector<Term> terms;
};

struct ViewEntry {
    rt::Weak<View> view;
    Variable vars[4]{};
    Slot intrinsic[4]; // width >=, width <=, height >=, height <=
    std::uint32_t stamp = 0;
};

struct RecordEntry {
    rt::Weak<LayoutConstraint> record;
    Slot slot;
    std::uint32_t stamp = 0;
};

// Where an attribute lies along its axis: the position plus `fraction` of the size plus a margin,
// or the size itself.
struct AttributeShape {
    bool vertical = false;
    bool size = false;
    double fraction = 0;
    double margin = 0;
};

AttributeShape shapeOf(LayoutAttribute attribute, const EdgeInsets& m) {
    using A = LayoutAttribute;
    switch (attribute) {
    case A::Left:
    case A::Leading: return {false, false, 0, 0};
    case A::Right:
    case A::Trailing: return {false, false, 1, 0};
    case A::CenterX: return {false, false, 0.5, 0};
    case A::Width: return {false, true, 0, 0};
    case A::LeftMargin:
    case A::LeadingMargin: return {false, false, 0, m.left};
    case A::RightMargin:
    case A::TrailingMargin: return {false, false, 1, -m.right};
    case A::CenterXWithinMargins: return {false, false, 0.5, (m.left - m.right) / 2};
    case A::Top: return {true, false, 0, 0};
    case A::Bottom:
    case A::LastBaseline:
    case A::FirstBaseline: return {true, false, 1, 0};
    case A::CenterY: return {true, false, 0.5, 0};
    case A::Height: return {true, true, 0, 0};
    case A::TopMargin: return {true, false, 0, m.top};
    case A::BottomMargin: return {true, false, 1, -m.bottom};
    case A::CenterYWithinMargins: return {true, false, 0.5, (m.top - m.bottom) / 2};
    case A::NotAnAttribute: break;
    }
    return {};
}

Relation solverRelation(LayoutRelation relation) {
    switch (relation) {
    case LayoutRelation::LessThanOrEqual: return Relation::LessOrEqual;
    case LayoutRelation::GreaterThanOrEqual: return Relation::GreaterOrEqual;
    case LayoutRelation::Equal: break;
    }
    return Relation::Equal;
}

double solverPriority(double priority) {
    return std::clamp(priority, kLowestPriority, kRequiredPriority);
}

// Sorted by variable, repeated variables merged, zero terms dropped.
void normalise(Expression& e) {
    std::sort(e.terms.begin(), e.terms.end(), [](const Term& a, const Term& b) { return a.variable.id < b.variable.id; });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < e.terms.size(); ++i) {
        if (kept > 0 && e.terms[kept - 1].variable == e.terms[i].variable)
            e.terms[kept - 1].coefficient += e.terms[i].coefficient;
        else
            e.terms[kept++] = e.terms[i];
    }
    e.terms.resize(kept);
    std::erase_if(e.terms, [](const Term& t) { return std::abs(t.coefficient) < kSolverEpsilon; });
}

bool sameTerms(const std::vector<Term>& a, const std::vector<Term>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Term& x, const Term& y) {
        return x.variable == y.variable && x.coefficient == y.coefficient;
    });
}

} // namespace

// The implementation holds this file's own types. A unity build compiles the file as an included
// one, where GCC takes a class holding them for a header's and warns.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wsubobject-linkage"
#endif
struct LayoutEngine::Impl {
    LayoutSolver solver;
    std::unordered_map<const View*, ViewEntry> views;
    std::unordered_map<const LayoutConstraint*, RecordEntry> records;
    std::vector<ViewEntry> retired; // entries whose view died, released once nothing names them
    std::uint32_t stamp = 0;
    std::size_t solves = 0;
    bool changed = false;
    bool loosened = false; // a constraint left the solver this pass: broken ones may fit now
    bool unsettledReported = false;
    Expression scratch;

    // ---- variables

    const ViewEntry* entryOf(const View* view) const {
        auto it = views.find(view);
        return it != views.end() && it->second.stamp == stamp ? &it->second : nullptr;
    }

    void suggestFrame(const ViewEntry& e, const View& view) {
        const cg::Size size = view.bounds().size;
        const double values[4] = {view.center().x - size.width / 2, view.center().y - size.height / 2, size.width,
                                  size.height};
        for (int d = 0; d < 4; ++d) (void)solver.suggestValue(e.vars[d], values[d]);
        changed = true;
    }

    void ensureVariables(const rt::Ref<View>& view) {
        auto [it, inserted] = views.try_emplace(view.get());
        ViewEntry& e = it->second;
        if (!inserted && e.view.lock() != view) {
            retired.push_back(std::move(e));
            e = ViewEntry{};
            inserted = true;
        }
        e.stamp = stamp;
        if (!inserted) {
            if (view->geometrySetByCode_) suggestFrame(e, *view);
            return;
        }
        e.view = view;
        for (Variable& v : e.vars) {
            v = solver.makeVariable();
            (void)solver.addEditVariable(v, kStayPriority);
        }
        suggestFrame(e, *view);
    }

    void release(ViewEntry& e) {
        for (Slot& slot : e.intrinsic) drop(slot);
        for (Variable v : e.vars) {
            (void)solver.removeEditVariable(v);
            (void)solver.releaseVariable(v);
        }
        changed = true;
    }

    // ---- expressions

    // Adds k times the view's position along the axis, in `space`'s coordinates. False when the
    // view is neither `space` nor inside it.
    bool addPosition(const View* view, const View& space, bool vertical, double k, Expression& out) const {
        for (const View* u = view; u != &space;) {
            rt::Ref<View> parent = u->superview();
            if (!parent) return false;
            if (const ViewEntry* e = entryOf(u)) {
                out.terms.push_back(Term{e->vars[vertical ? Y : X], k});
            } else {
                const cg::Point origin = u->frame().origin;
                out.constant += k * (vertical ? origin.y : origin.x);
            }
            const cg::Point scroll = parent->bounds().origin;
            out.constant -= k * (vertical ? scroll.y : scroll.x);
            u = parent.get();
        }
        return true;
    }

    void addSize(const View* view, const View& space, bool vertical, double k, Expression& out) const {
        if (k == 0) return;
        if (const ViewEntry* e = entryOf(view)) {
            out.terms.push_back(Term{e->vars[vertical ? H : W], k});
            return;
        }
        const cg::Size size = view == &space ? view->bounds().size : view->frame().size;
        out.constant += k * (vertical ? size.height : size.width);
    }

    // Adds k times the item's attribute. False for an item that is gone or outside `space`.
    bool addAttribute(const rt::Id& item, LayoutAttribute attribute, const View& space, double k,
                      Expression& out) const {
        rt::Ref<View> view = layoutItemView(item);
        if (!view) return false;
        const rt::Ref<LayoutGuide> guide = rt::cast<LayoutGuide>(item);
        const AttributeShape shape = shapeOf(attribute, guide ? EdgeInsets{} : view->layoutMargins());
        if (guide && shape.vertical) {
            // The guide's band in its view: 0 to the length, or H - length to H.
            const double length = guide->length();
            if (shape.size) {
                out.constant += k * length;
                return true;
            }
            if (!addPosition(view.get(), space, true, k, out)) return false;
            if (guide->edge() == LayoutGuide::Edge::Bottom) {
                addSize(view.get(), space, true, k, out);
                out.constant -= k * length;
            }
            out.constant += k * shape.fraction * length;
            return true;
        }
        if (shape.size) {
            // A size adds no position, but the view must still lie within the space.
            if (!addPosition(view.get(), space, shape.vertical, 0, out)) return false;
            addSize(view.get(), space, shape.vertical, k, out);
            return true;
        }
        if (!addPosition(view.get(), space, shape.vertical, k, out)) return false;
        addSize(view.get(), space, shape.vertical, k * shape.fraction, out);
        out.constant += k * shape.margin;
        return true;
    }

    // first - multiplier * second - constant, in the holder's space.
    bool expressionOf(const LayoutConstraint& record, const View& holder, Expression& out) const {
        out.terms.clear();
        out.constant = 0;
        const rt::Id first = record.firstItem();
        if (!first || !addAttribute(first, record.firstAttribute(), holder, 1, out)) return false;
        if (record.secondAttribute() != LayoutAttribute::NotAnAttribute) {
            const rt::Id second = record.secondItem();
            if (!second || !addAttribute(second, record.secondAttribute(), holder, -record.multiplier(), out))
                return false;
        }
        out.constant -= record.constant();
        normalise(out);
        return true;
    }

    // ---- constraints

    void drop(Slot& slot) {
        if (!slot.made) return;
        loosened = loosened || slot.added;
        (void)solver.destroyConstraint(slot.handle);
        slot.made = slot.added = false;
        changed = true;
    }

    // Quietly: a retry of one already reported.
    void tryAdd(Slot& slot, const LayoutConstraint* record, bool quietly = false) {
        const SolverStatus status = solver.addConstraint(slot.handle);
        slot.added = status == SolverStatus::Ok;
        if (slot.added || quietly) return;
        const std::string what = record ? record->description() : std::string("(intrinsic size)");
        if (status == SolverStatus::Unsatisfiable)
            ns::logLine("Unable to simultaneously satisfy constraints. Will attempt to recover by breaking constraint " +
                        what);
        else
            ns::logLine(std::string("Layout: constraint left out (") + describe(status) + "): " + what);
    }

    // Brings the slot to `desired` (null: out of the solver).
    void sync(Slot& slot, const Expression* desired, Relation relation, double priority,
              const LayoutConstraint* record) {
        if (!desired) {
            drop(slot);
            return;
        }
        if (slot.made && slot.relation == relation && slot.priority == priority && sameTerms(slot.terms, desired->terms)) {
            if (slot.constant == desired->constant) return;
            slot.constant = desired->constant;
            changed = true;
            if (slot.added && solver.setConstant(slot.handle, desired->constant) == SolverStatus::Ok) return;
            if (slot.added) {
                // Refused in place, the old constant kept: out, with the new one, and tried again
                // (which says why it cannot stay).
                (void)solver.removeConstraint(slot.handle);
                slot.added = false;
                loosened = true;
            }
            (void)solver.setConstant(slot.handle, desired->constant); // out of the solver: only kept
            tryAdd(slot, record);
            return;
        }
        drop(slot);
        slot.handle = solver.makeConstraint(*desired, relation, priority);
        slot.made = true;
        slot.relation = relation;
        slot.priority = priority;
        slot.constant = desired->constant;
        slot.terms = desired->terms;
        changed = true;
        tryAdd(slot, record);
    }

    void syncRecord(const rt::Ref<LayoutConstraint>& record, const View& holder) {
        RecordEntry& r = records[record.get()];
        if (r.record.lock() != record) {
            drop(r.slot);
            r.record = record;
        }
        r.stamp = stamp;
        const bool usable = expressionOf(*record, holder, scratch);
        sync(r.slot, usable ? &scratch : nullptr, solverRelation(record->relation()),
             solverPriority(record->priority()), record.get());
    }

    void syncIntrinsic(ViewEntry& e, const View& view) {
        const cg::Size intrinsic = view.intrinsicContentSize();
        for (int axis = 0; axis < 2; ++axis) {
            const double metric = axis == 0 ? intrinsic.width : intrinsic.height;
            const auto a = static_cast<LayoutConstraintAxis>(axis);
            Slot& atLeast = e.intrinsic[2 * axis];
            Slot& atMost = e.intrinsic[2 * axis + 1];
            if (!(metric >= 0)) { // NoIntrinsicMetric, or nothing usable
                drop(atLeast);
                drop(atMost);
                continue;
            }
            scratch.terms.assign(1, Term{e.vars[axis == 0 ? W : H], 1.0});
            scratch.constant = -metric;
            sync(atLeast, &scratch, Relation::GreaterOrEqual,
                 solverPriority(view.contentCompressionResistancePriorityForAxis(a)), nullptr);
            sync(atMost, &scratch, Relation::LessOrEqual, solverPriority(view.contentHuggingPriorityForAxis(a)),
                 nullptr);
        }
    }

    // ---- the pass

    void solveAndWrite(const std::vector<rt::Ref<View>>& order) {
        solver.updateVariables();
        ++solves;
        View::layoutWriting_ = true;
        for (std::size_t i = 1; i < order.size(); ++i) {
            const ViewEntry* e = entryOf(order[i].get());
            if (!e) continue;
            View& view = *order[i];
            const double x = solver.value(e->vars[X]), y = solver.value(e->vars[Y]);
            const double w = solver.value(e->vars[W]), h = solver.value(e->vars[H]);
            const cg::Point center{x + w / 2, y + h / 2};
            if (view.center() != center) view.setCenter(center);
            if (view.bounds().size != cg::Size{w, h}) view.setBounds({view.bounds().origin, {w, h}});
        }
        View::layoutWriting_ = false;
    }

    bool update(View& root) {
        ++stamp;
        changed = loosened = false;
        std::vector<rt::Ref<View>> order;
        order.push_back(rt::retained(&root));
        for (std::size_t i = 0; i < order.size(); ++i)
            for (const rt::Ref<View>& child : order[i]->subviewList()) order.push_back(child);

        for (std::size_t i = 1; i < order.size(); ++i)
            if (!order[i]->translatesAutoresizingMaskIntoConstraints()) ensureVariables(order[i]);
        for (const rt::Ref<View>& view : order) view->geometrySetByCode_ = false;

        for (const rt::Ref<View>& view : order) {
            const std::vector<rt::Ref<LayoutConstraint>> held = view->constraintList();
            for (const rt::Ref<LayoutConstraint>& record : held) syncRecord(record, *view);
        }
        for (std::size_t i = 1; i < order.size(); ++i)
            if (auto it = views.find(order[i].get()); it != views.end() && it->second.stamp == stamp)
                syncIntrinsic(it->second, *order[i]);

        for (auto it = records.begin(); it != records.end();) {
            if (it->second.stamp == stamp) {
                ++it;
                continue;
            }
            drop(it->second.slot);
            it = records.erase(it);
        }
        for (auto it = views.begin(); it != views.end();) {
            if (it->second.stamp == stamp) {
                ++it;
                continue;
            }
            release(it->second);
            it = views.erase(it);
        }
        for (ViewEntry& e : retired) release(e);
        retired.clear();
        if (loosened)
            for (auto& [key, r] : records)
                if (r.slot.made && !r.slot.added) tryAdd(r.slot, nullptr, true);

        if (!changed) return false;
        // Views whose height follows their width take the widths just solved; while any of their
        // intrinsic sizes moves, the tree solves again, a few rounds at most.
        for (int round = 1;; ++round) {
            solveAndWrite(order);
            changed = false;
            for (std::size_t i = 1; i < order.size(); ++i)
                if (auto it = views.find(order[i].get()); it != views.end() && it->second.stamp == stamp)
                    if (order[i]->adoptLayoutWidth(solver.value(it->second.vars[W])))
                        syncIntrinsic(it->second, *order[i]);
            if (!changed) break;
            if (round == kWidthRounds) {
                if (!unsettledReported)
                    ns::logLine("Layout: the heights that follow widths did not settle in " +
                                std::to_string(kWidthRounds) + " rounds; the last kept");
                unsettledReported = true;
                break;
            }
        }
        return true;
    }
};
#pragma GCC diagnostic pop

LayoutEngine::LayoutEngine() : impl_(std::make_unique<Impl>()) {}
LayoutEngine::~LayoutEngine() = default;

bool LayoutEngine::update(View& root) {
    return impl_->update(root);
}

std::size_t LayoutEngine::solveCount() const noexcept {
    return impl_->solves;
}

} // namespace ui::detail
