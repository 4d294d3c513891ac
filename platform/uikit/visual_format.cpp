#include "platform/uikit/visual_format.h"

#include <cctype>
#include <charconv>

#include "platform/foundation/dictionary.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/number.h"
#include "platform/uikit/view.h"

namespace ui::detail {

namespace {

struct Predicate {
    LayoutRelation relation = LayoutRelation::Equal;
    double value = 0;
    float priority = LayoutPriorityRequired;
};

struct Element {
    rt::Id item; // nil for the superview
    std::vector<Predicate> size;
};

struct Connection {
    bool standard = false;
    std::vector<Predicate> spacing; // empty and not standard: adjacent
};

struct Alignment {
    unsigned long bit;
    LayoutAttribute attribute;
    bool horizontal;
};

constexpr Alignment kAlignments[] = {
    {2, LayoutAttribute::Left, true},       {4, LayoutAttribute::Right, true},
    {8, LayoutAttribute::Top, false},       {16, LayoutAttribute::Bottom, false},
    {32, LayoutAttribute::Leading, true},   {64, LayoutAttribute::Trailing, true},
    {512, LayoutAttribute::CenterX, true},  {1024, LayoutAttribute::CenterY, false},
};

bool isNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

class Parser {
public:
    Parser(std::string_view format, const rt::Ref<ns::Dictionary>& metrics, const rt::Ref<ns::Dictionary>& views)
        : text_(format), metrics_(metrics), views_(views) {}

    bool failed() const noexcept { return !error_.empty(); }
    const std::string& error() const noexcept { return error_; }
    std::size_t position() const noexcept { return errorAt_; }
    bool horizontal() const noexcept { return horizontal_; }
    bool leadingEdge() const noexcept { return leadingEdge_; }
    bool trailingEdge() const noexcept { return trailingEdge_; }
    std::vector<Element> elements;
    std::vector<Connection> connections; // connections[i] joins elements[i] and elements[i + 1]

    void parse() {
        if (text_.starts_with("H:")) {
            at_ = 2;
        } else if (text_.starts_with("V:")) {
            horizontal_ = false;
            at_ = 2;
        }
        if (accept('|')) {
            leadingEdge_ = true;
            elements.push_back({});
            connections.push_back(connection());
        }
        for (;;) {
            if (failed()) return;
            if (peek() != '[') return fail("expected a view");
            elements.push_back(view());
            if (failed() || at_ == text_.size()) return;
            Connection next = connection();
            if (failed()) return;
            if (accept('|')) {
                trailingEdge_ = true;
                connections.push_back(std::move(next));
                elements.push_back({});
                if (at_ != text_.size()) fail("nothing may follow the superview's edge");
                return;
            }
            connections.push_back(std::move(next));
        }
    }

private:
    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    bool accept(char c) {
        if (peek() != c) return false;
        ++at_;
        return true;
    }
    void fail(std::string what) {
        if (failed()) return;
        error_ = std::move(what);
        errorAt_ = at_;
    }
    void expect(char c) {
        if (!accept(c)) fail(std::string("expected '") + c + "'");
    }

    std::string_view name() {
        const std::size_t start = at_;
        while (at_ < text_.size() && isNameCharacter(text_[at_])) ++at_;
        return text_.substr(start, at_ - start);
    }

    // A number, or a metric's value.
    double value() {
        const std::size_t start = at_;
        if (std::isdigit(static_cast<unsigned char>(peek())) || peek() == '-' || peek() == '.') {
            if (peek() == '-') ++at_;
            while (std::isdigit(static_cast<unsigned char>(peek())) || peek() == '.') ++at_;
            double v = 0;
            const auto [end, ec] = std::from_chars(text_.data() + start, text_.data() + at_, v);
            if (ec != std::errc() || end != text_.data() + at_) {
                at_ = start;
                fail("malformed number");
            }
            return v;
        }
        const std::string_view metric = name();
        if (metric.empty()) {
            fail("expected a number or a metric");
            return 0;
        }
        auto number = metrics_ ? rt::cast<ns::Number>(metrics_->objectForKey(metric)) : nullptr;
        if (!number) {
            at_ = start;
            fail("unknown metric '" + std::string(metric) + "'");
            return 0;
        }
        return number->doubleValue();
    }

    Predicate predicate() {
        Predicate p;
        if (text_.substr(at_).starts_with("==")) {
            at_ += 2;
        } else if (text_.substr(at_).starts_with(">=")) {
            p.relation = LayoutRelation::GreaterThanOrEqual;
            at_ += 2;
        } else if (text_.substr(at_).starts_with("<=")) {
            p.relation = LayoutRelation::LessThanOrEqual;
            at_ += 2;
        }
        p.value = value();
        if (accept('@')) {
            const std::size_t start = at_;
            const double priority = value();
            if (!failed() && !(priority >= 1 && priority <= LayoutPriorityRequired)) {
                at_ = start;
                fail("a priority must lie between 1 and 1000");
            }
            p.priority = static_cast<float>(priority);
        }
        return p;
    }

    std::vector<Predicate> predicateList() {
        std::vector<Predicate> list;
        expect('(');
        do {
            list.push_back(predicate());
        } while (!failed() && accept(','));
        expect(')');
        return list;
    }

    Connection connection() {
        Connection c;
        if (!accept('-')) return c; // adjacent
        if (peek() == '[' || peek() == '|') {
            c.standard = true;
            return c;
        }
        if (peek() == '(')
            c.spacing = predicateList();
        else
            c.spacing.push_back(predicate());
        expect('-');
        return c;
    }

    Element view() {
        Element e;
        expect('[');
        const std::size_t start = at_;
        const std::string_view key = name();
        if (key.empty()) {
            fail("expected a view name");
            return e;
        }
        e.item = views_ ? views_->objectForKey(key) : nullptr;
        static const rt::Sel owningView("owningView");
        if (!e.item || !(rt::cast<View>(e.item) || e.item->respondsToSelector(owningView))) {
            at_ = start;
            fail("unknown view '" + std::string(key) + "'");
            return e;
        }
        if (peek() == '(') e.size = predicateList();
        expect(']');
        return e;
    }

    std::string_view text_;
    const rt::Ref<ns::Dictionary>& metrics_;
    const rt::Ref<ns::Dictionary>& views_;
    std::size_t at_ = 0;
    std::string error_;
    std::size_t errorAt_ = 0;
    bool horizontal_ = true;
    bool leadingEdge_ = false, trailingEdge_ = false;
};

} // namespace

VisualFormatResult parseVisualFormat(std::string_view format, unsigned long options,
                                     const rt::Ref<ns::Dictionary>& metrics, const rt::Ref<ns::Dictionary>& views) {
    VisualFormatResult result;
    Parser parser(format, metrics, views);
    parser.parse();
    if (parser.failed()) {
        result.error = parser.error();
        result.position = parser.position();
        return result;
    }
    const bool horizontal = parser.horizontal();
    for (const Alignment& a : kAlignments) {
        if ((options & a.bit) && a.horizontal == horizontal) {
            result.error = "an alignment option along the format's own axis";
            return result;
        }
    }

    // "|" stands for the superview of the first view.
    rt::Ref<View> firstView;
    for (const Element& e : parser.elements)
        if ((firstView = rt::cast<View>(e.item))) break;
    rt::Id superview = firstView ? rt::Id(firstView->superview()) : nullptr;
    if ((parser.leadingEdge() || parser.trailingEdge()) && !superview) {
        result.error = "the superview's edge, but the views have no superview";
        return result;
    }

    const LayoutAttribute nearEdge = horizontal ? LayoutAttribute::Leading : LayoutAttribute::Top;
    const LayoutAttribute farEdge = horizontal ? LayoutAttribute::Trailing : LayoutAttribute::Bottom;
    const LayoutAttribute length = horizontal ? LayoutAttribute::Width : LayoutAttribute::Height;
    auto& out = result.constraints;
    for (std::size_t i = 0; i < parser.elements.size(); ++i) {
        const Element& element = parser.elements[i];
        if (i > 0) {
            const Element& before = parser.elements[i - 1];
            const Connection& c = parser.connections[i - 1];
            const bool edge = !before.item || !element.item;
            // The later element's near edge against the earlier one's far edge.
            const rt::Id later = element.item ? element.item : superview;
            const rt::Id earlier = before.item ? before.item : superview;
            const LayoutAttribute laterEdge = element.item ? nearEdge : farEdge;
            const LayoutAttribute earlierEdge = before.item ? farEdge : nearEdge;
            std::vector<Predicate> spacing = c.spacing;
            if (spacing.empty())
                spacing.push_back({LayoutRelation::Equal,
                                   c.standard ? (edge ? kStandardSuperviewSpacing : kStandardSpacing) : 0.0,
                                   LayoutPriorityRequired});
            // At the trailing edge the superview comes first: super.trailing >= view.trailing + s.
            for (const Predicate& p : spacing)
                out.push_back({later, laterEdge, p.relation, earlier, earlierEdge, p.value, p.priority});
        }
        for (const Predicate& p : element.size)
            out.push_back({element.item, length, p.relation, nullptr, LayoutAttribute::NotAnAttribute, p.value,
                           p.priority});
    }
    for (const Element& element : parser.elements) {
        if (!rt::cast<View>(element.item) || element.item == rt::Id(firstView)) continue;
        for (const Alignment& a : kAlignments)
            if (options & a.bit)
                out.push_back({element.item, a.attribute, LayoutRelation::Equal, firstView, a.attribute, 0,
                               LayoutPriorityRequired});
    }
    return result;
}

} // namespace ui::detail
