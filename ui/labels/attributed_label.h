#pragma once
// tl::AttributedLabel ("TLAttributedLabel"): a label that keeps its text as an attributed string
// and lays it out and draws it itself with the text engine.
//
// Text. An attributed string is shown as it is; a plain string first takes the label's own
// attributes (inheritedLabelAttributes: font, text colour, kerning and a paragraph style from the
// line settings), which the settings give only to the next plain string set. The text lives in
// three layers: `attributedText` as set, the rendered text (ranges coloured "from context" take
// the text colour, text attachments take their size on the line and are drawn with it,
// text_attachment.h) and the framesetter made from it. A new text, or a text colour that is another
// object, drops the last two; they are made again on first use, the framesetter once per change
// however many threads ask.
//
// Sizing rests on one measuring function, suggestedSizeForFramesetter, which asks the text
// engine's framesetter for the size of the text within a width (the height never limits), for a
// line limit: 1 measures the text as one unbroken line, n >= 2 the first n lines. Results are
// rounded up to whole points.
//
// Drawing. The text is laid out in the text rectangle (the bounds less the text insets, at least
// two lines of the label's font high, the text placed in it by the vertical alignment), each line
// at the offset the label's alignment gives it. When text remains after the last line drawn and
// the line-break mode truncates, that line ends in the truncation token (head, middle or tail on
// one line, tail on several). Runs may carry a rounded box behind them and a line through them
// (the attribute names below). Shrinking to fit draws a copy of the text with smaller fonts, for
// that pass only.
//
// Links. Each link (tl::AttributedLabelLink) is a range of the text with the attributes laid onto
// it; the list is replaced whole on every change. A touch on or near a link (a margin of 15 points
// searched by probes around the point) highlights it until the finger lifts, and the tap or a long
// press goes to the link's block or to the delegate by the link's kind (a recognised long press
// ends the touch, so no tap follows). Main thread only, except that `framesetter` may be called
// from any thread, also while the main thread sets a new text or text colour (the text, the
// rendered text and the framesetter are read, dropped and made under the label's lock), and that
// measuring may be called from any thread while the main thread leaves the label alone.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/attributed_string.h"
#include "platform/uikit/label.h"

namespace cg {
class Context;
}
namespace ns {
class DataDetector;
class Date;
class TimeZone;
class URL;
class TextCheckingResult;
}
namespace ct {
class Frame;
class Framesetter;
class Line;
}
namespace ui {
class LongPressGestureRecognizer;
}

namespace tl {

// Run attributes the label draws itself. A box is drawn behind a run with a fill or a stroke
// colour (a ui::Color or a cg::Color); the line width (a number) insets the box, the corner radius
// (a number) rounds it, the padding (an ns::Value of ui::EdgeInsets) grows it. A true number under
// the strike-out key draws a line through the run, in its foreground colour.
inline constexpr const char* BackgroundFillColorAttributeName = "TLBackgroundFillColor";
inline constexpr const char* BackgroundStrokeColorAttributeName = "TLBackgroundStrokeColor";
inline constexpr const char* BackgroundLineWidthAttributeName = "TLBackgroundLineWidth";
inline constexpr const char* BackgroundCornerRadiusAttributeName = "TLBackgroundCornerRadius";
inline constexpr const char* BackgroundFillPaddingAttributeName = "TLBackgroundFillPadding";
inline constexpr const char* StrikeOutAttributeName = "TLStrikeOutAttribute";

// Where the text sits in a text rectangle taller than it. Any other value places it at the top.
enum class VerticalAlignment : long { Center = 0, Top = 1, Bottom = 2 };

class AttributedLabel;
class AttributedLabelLink;

// The attributes a plain string takes from `label`: its font, text colour, kerning (a double) and a
// paragraph style of its alignment, line spacing, line heights (the font's line height times the
// multiple where not set), multiple, first-line indent and line-break mode (word wrapping unless
// the label has exactly one line).
rt::Ref<ns::Dictionary> inheritedLabelAttributes(const AttributedLabel& label);

class AttributedLabel : public ui::Label {
    RT_CLASS(AttributedLabel)
public:
    // The height (and for one line, the width) that stands for no limit in the engine's constraints.
    static constexpr double kUnlimited = 100000;
    // How much wider wrapped words make a text than its unbroken line, for shrinking to fit.
    static constexpr double kWordWrapWidening = 1.1557273497909217;

    static rt::Ref<AttributedLabel> make(const cg::Rect& frame = cg::Rect::zero());

    // ---- Text ----
    // Nil when the label has no text.
    const rt::Ref<ns::AttributedString>& attributedText() const noexcept { return attributedText_; }
    // Keeps a copy, unless it equals the present text (then nothing happens): drops the rendered
    // text and the framesetter, requests display, invalidates the intrinsic size; `text` follows.
    void setAttributedText(rt::Ref<ns::AttributedString> text);
    // A plain string takes the label's attributes first; an attributed string is kept as it is;
    // nil (or anything else) clears the text.
    void setText(const rt::Id& text);
    // The text given, plain or attributed, with the label's attributes over all of it, then handed
    // to `configure` (when given), whose result is set.
    using Configure = std::function<rt::Ref<ns::AttributedString>(const rt::Ref<ns::MutableAttributedString>&)>;
    void setTextAfterInheritingLabelAttributes(const rt::Id& text, const Configure& configure = {});
    // The text as drawn: every range marked with the from-context colour attribute loses all its
    // attributes for the text colour. Made on first use after a change.
    rt::Ref<ns::AttributedString> renderedAttributedText() const;
    // Drops the rendered text and marks the framesetter stale.
    void setNeedsFramesetter();
    // The framesetter of the rendered text, made again when stale (once, whoever asks); nil
    // without text.
    rt::Ref<ct::Framesetter> framesetter() const;
    // The framesetter of the highlighted text, made by the first highlighted drawing and kept
    // until the framesetter is made again.
    rt::Ref<ct::Framesetter> highlightFramesetter() const;
    // How many framesetters the label has made.
    std::size_t framesetterBuildCount() const noexcept { return builds_.load(std::memory_order_relaxed); }

    // A colour that is another object drops the rendered text and the framesetter.
    void setTextColor(rt::Ref<ui::Color> color) override;
    // Requests display.
    void setHighlighted(bool highlighted) override;

    // ---- Links ----
    // Every link, in the order added; never changed in place.
    const rt::Ref<ns::Array>& linkModels() const noexcept { return linkModels_; }
    void setLinkModels(rt::Ref<ns::Array> models);
    // Each builds its result and adds it with the label's link attributes; returns the new link.
    rt::Ref<AttributedLabelLink> addLinkToURL(const rt::Ref<ns::URL>& url, ns::Range range);
    rt::Ref<AttributedLabelLink> addLinkToAddress(const rt::Ref<ns::Dictionary>& components, ns::Range range);
    rt::Ref<AttributedLabelLink> addLinkToPhoneNumber(const rt::Ref<ns::String>& phoneNumber, ns::Range range);
    rt::Ref<AttributedLabelLink> addLinkToDate(const rt::Ref<ns::Date>& date, ns::Range range);
    rt::Ref<AttributedLabelLink> addLinkToDate(const rt::Ref<ns::Date>& date, const rt::Ref<ns::TimeZone>& timeZone,
                                               double duration, ns::Range range);
    rt::Ref<AttributedLabelLink> addLinkToTransitInformation(const rt::Ref<ns::Dictionary>& components,
                                                             ns::Range range);
    rt::Ref<AttributedLabelLink> addLinkWithTextCheckingResult(const rt::Ref<ns::TextCheckingResult>& result);
    rt::Ref<AttributedLabelLink> addLinkWithTextCheckingResult(const rt::Ref<ns::TextCheckingResult>& result,
                                                               const rt::Ref<ns::Dictionary>& attributes);
    // One link per result, in order. With attributes, the links take the label's active and
    // inactive link attributes too; without, they have none and leave the text's look.
    rt::Ref<ns::Array> addLinksWithTextCheckingResults(const rt::Ref<ns::Array>& results,
                                                       const rt::Ref<ns::Dictionary>& attributes);
    void addLink(const rt::Ref<AttributedLabelLink>& link);
    // Lays each link's attributes over its range (the part inside the text), sets the text,
    // requests display and appends the links.
    void addLinks(const rt::Ref<ns::Array>& links);

    // The link holding character `index`, the last added among overlapping ones; nil outside the text.
    rt::Ref<AttributedLabelLink> linkAtCharacterIndex(long index) const;
    // The link under `point` (bounds coordinates); when extendsLinkTouchArea, also the first found by
    // probes at growing radii around it, up to 15 points beyond the bounds.
    rt::Ref<AttributedLabelLink> linkAtPoint(cg::Point point) const;
    // The first link under eight probes at `radius` around `point`: above, below, left, right, then
    // the diagonals.
    rt::Ref<AttributedLabelLink> linkAtRadiusAroundPoint(double radius, cg::Point point) const;
    bool containslinkAtPoint(cg::Point point) const;
    // The link under the finger, drawn with its active attributes over the text kept aside.
    const rt::Ref<AttributedLabelLink>& activeLink() const noexcept { return activeLink_; }
    void setActiveLink(const rt::Ref<AttributedLabelLink>& link);
    // The text before the highlight; nil without one.
    const rt::Ref<ns::AttributedString>& inactiveAttributedText() const noexcept { return inactiveAttributedText_; }

    // A point on or near a link (see linkAtPoint) hits the label while it is visible and interactive.
    rt::Ref<ui::View> hitTest(cg::Point point, const ui::Event* event) override;
    void touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    // The long-press recogniser sees only touches on or near a link.
    bool gestureRecognizerShouldReceiveTouch(const rt::Id& recognizer, const rt::Id& touch) const;
    // Dimmed: each link's attributes give way to its inactive attributes; undimmed, back again.
    void tintColorDidChange() override;
    bool canBecomeFirstResponder() const override { return true; }
    // Only "copy:" (copyText), which puts the plain text on the general pasteboard.
    bool canPerformAction(rt::Sel action, const rt::Id& sender) const;
    void copyText(const rt::Id& sender);

    // Held weakly.
    rt::Id delegate() const { return delegate_.lock(); }
    void setDelegate(const rt::Id& delegate);
    std::uint64_t enabledTextCheckingTypes() const noexcept { return checkingTypes_; }
    // An equal mask changes nothing; 0 drops the detector, another mask makes one (nil for kinds
    // the detector does not know). The text is not scanned again: the next setText is.
    void setEnabledTextCheckingTypes(std::uint64_t types);
    // The detector for the mask; read atomically, from any thread.
    rt::Ref<ns::DataDetector> dataDetector() const;
    std::uint64_t dataDetectorTypes() const noexcept { return enabledTextCheckingTypes(); }
    void setDataDetectorTypes(std::uint64_t types) { setEnabledTextCheckingTypes(types); }
    // The result of each link, in order.
    rt::Ref<ns::Array> links() const;
    // Underlined blue, not underlined red, not underlined grey.
    const rt::Ref<ns::Dictionary>& linkAttributes() const noexcept { return linkAttributes_; }
    void setLinkAttributes(rt::Ref<ns::Dictionary> attributes);
    const rt::Ref<ns::Dictionary>& activeLinkAttributes() const noexcept { return activeLinkAttributes_; }
    void setActiveLinkAttributes(rt::Ref<ns::Dictionary> attributes);
    const rt::Ref<ns::Dictionary>& inactiveLinkAttributes() const noexcept { return inactiveLinkAttributes_; }
    void setInactiveLinkAttributes(rt::Ref<ns::Dictionary> attributes);
    // Insets every background box: (0, -1, 0, -1), one point wider on each side.
    const ui::EdgeInsets& linkBackgroundEdgeInset() const noexcept { return linkBackgroundEdgeInset_; }
    void setLinkBackgroundEdgeInset(const ui::EdgeInsets& insets);
    bool extendsLinkTouchArea() const noexcept { return extendsLinkTouchArea_; }
    void setExtendsLinkTouchArea(bool extends);
    const rt::Ref<ui::LongPressGestureRecognizer>& longPressGestureRecognizer() const noexcept {
        return longPress_;
    }

    // ---- Archiving ----
    // The label's keys after the base label's: the mask, the links, the link attributes, the
    // shadows, the settings of the next plain string (written as doubles, read back at single
    // precision), the insets, the alignment, the token, the background inset (as its text) and the
    // text. Link blocks, the touch area, the token's attributes and the delegate are not archived.
    void encodeWithCoder(ns::Coder& coder) const override;
    // Each key present is applied through its setter; "links" (read only) adds unstyled links
    // that "linkModels" then replaces. Without "attributedText" the base text is set anew, taking
    // the label's attributes and starting detection.
    rt::Id initWithCoder(ns::Coder& coder) override;

    // ---- Accessibility ----
    // A container, not an element: one element per link inside the text (its characters as the
    // label, its spoken value when that differs, its text rectangle in window coordinates, the
    // link trait), then one for the whole text as a label reads it, over the bounds. Built once
    // under the label's lock; a change of the link list drops it.
    bool isAccessibilityElement() const override { return false; }
    long accessibilityElementCount() const;
    // Nil outside the list.
    rt::Id accessibilityElementAtIndex(long index) const;
    // ns::NotFound when not in the list.
    std::size_t indexOfAccessibilityElement(const rt::Id& element) const;
    rt::Ref<ns::Array> accessibilityElements() const;
    void setAccessibilityElements(rt::Ref<ns::Array> elements);

    // ---- Shadows ----
    double shadowRadius() const noexcept { return shadowRadius_; }
    void setShadowRadius(double radius);
    double highlightedShadowRadius() const noexcept { return highlightedShadowRadius_; }
    void setHighlightedShadowRadius(double radius);
    cg::Size highlightedShadowOffset() const noexcept { return highlightedShadowOffset_; }
    void setHighlightedShadowOffset(cg::Size offset);
    const rt::Ref<ui::Color>& highlightedShadowColor() const noexcept { return highlightedShadowColor_; }
    void setHighlightedShadowColor(rt::Ref<ui::Color> color);

    // ---- What the next plain string takes ----
    double kern() const noexcept { return kern_; }
    void setKern(double kern);
    double firstLineIndent() const noexcept { return firstLineIndent_; }
    void setFirstLineIndent(double indent);
    double lineSpacing() const noexcept { return lineSpacing_; }
    void setLineSpacing(double spacing);
    double leading() const noexcept { return lineSpacing(); }
    void setLeading(double leading) { setLineSpacing(leading); }
    // 0: the font's line height times the multiple.
    double minimumLineHeight() const noexcept { return minimumLineHeight_; }
    void setMinimumLineHeight(double height);
    double maximumLineHeight() const noexcept { return maximumLineHeight_; }
    void setMaximumLineHeight(double height);
    double lineHeightMultiple() const noexcept { return lineHeightMultiple_; }
    void setLineHeightMultiple(double multiple);

    // ---- Placement and truncation (taken at the next layout) ----
    const ui::EdgeInsets& textInsets() const noexcept { return textInsets_; }
    void setTextInsets(const ui::EdgeInsets& insets);
    VerticalAlignment verticalAlignment() const noexcept { return verticalAlignment_; }
    void setVerticalAlignment(VerticalAlignment alignment);
    // Nil: "…".
    const rt::Ref<ns::String>& truncationTokenString() const noexcept { return truncationTokenString_; }
    void setTruncationTokenString(rt::Ref<ns::String> token);
    // Nil: the attributes of the text where it is cut.
    const rt::Ref<ns::Dictionary>& truncationTokenStringAttributes() const noexcept {
        return truncationTokenStringAttributes_;
    }
    void setTruncationTokenStringAttributes(rt::Ref<ns::Dictionary> attributes);
    // When set, the token as it is, before the two above.
    const rt::Ref<ns::AttributedString>& attributedTruncationToken() const noexcept { return attributedTruncationToken_; }
    void setAttributedTruncationToken(rt::Ref<ns::AttributedString> token);

    // ---- Sizing ----
    // The size `text` needs within the width of `constraints` for `limit` lines (0: no limit);
    // (0, 0) for nil or empty text.
    static cg::Size sizeThatFitsAttributedString(const rt::Ref<ns::AttributedString>& text, cg::Size constraints,
                                                 unsigned long limit);
    // The measuring function: the size of `text` (whose length bounds the range) set by
    // `framesetter`, within `size`'s width, for `limit` lines, each side rounded up.
    static cg::Size suggestedSizeForFramesetter(const ct::Framesetter& framesetter, const ns::AttributedString& text,
                                                cg::Size size, unsigned long limit);
    // The text and the truncation token measured for the width and the label's line limit, plus
    // the text insets.
    cg::Size sizeThatFits(cg::Size size) const override;

    // ---- Layout, drawing and geometry ----
    // The bounds less the text insets, at least two lines of the font high (a limit above two:
    // that many), moved down by the vertical alignment when the text is shorter than the inset
    // bounds.
    cg::Rect textRectForBounds(const cg::Rect& bounds, long numberOfLines) const override;
    void drawTextInRect(const cg::Rect& rect) override;
    // Draws the lines of `range` of the framesetter (made from `string`) laid out in `rect`, in
    // engine space (y up): boxes, lines (the last one truncated when text remains), strikes.
    void drawFramesetter(const ct::Framesetter& framesetter, const ns::AttributedString& string, ns::Range range,
                         const cg::Rect& rect, cg::Context& context);
    // The background boxes and the strike-out lines of a frame's runs, in the frame's space.
    void drawBackground(const ct::Frame& frame, const cg::Rect& rect, cg::Context& context) const;
    void drawStrike(const ct::Frame& frame, const cg::Rect& rect, cg::Context& context) const;
    // The index of the character under `point` (bounds coordinates) as drawn: the caret boundary
    // nearest to it on its line; ns::NotFound outside the text rectangle, between or above
    // lines, or beside a line's text.
    std::size_t characterIndexAtPoint(cg::Point point) const;
    // The rectangle `range` covers when the text is laid out in a box the size of the bounds, from
    // its top left (no insets, no vertical alignment); zero when it covers nothing.
    cg::Rect boundingRectForCharacterRange(ns::Range range) const;

protected:
    // Its own text measured as sizeThatFits does (a width of 0 or less: no limit), for the
    // intrinsic size.
    cg::Size measuredSize(double width, long lines, cg::Size* unbroken = nullptr) const override;
    explicit AttributedLabel(const cg::Rect& frame);
    AttributedLabel();
    ~AttributedLabel() override;

private:
    // "text" by name: what setText takes, the plain text back.
    rt::Id textObject() const { return text(); }
    template <class T>
    void store(T& slot, T value, const char* key);
    // `text` as drawn in the text colour: a range marked to take its colour from the context loses
    // all its attributes, whatever the marker's value (nil aside), for that one colour; the
    // attachments left made placeholders of their size.
    rt::Ref<ns::AttributedString> rendered(const rt::Ref<ns::AttributedString>& text) const;
    // The text rectangle for a framesetter of a text of `length`.
    cg::Rect textRect(const cg::Rect& bounds, long lines, const rt::Ref<ct::Framesetter>& framesetter,
                      std::size_t length) const;
    // The last line drawn, cut to `width` with the token.
    rt::Ref<ct::Line> truncatedLine(const ct::Line& line, const ns::AttributedString& string, std::size_t lineCount,
                                    double width, rt::Ref<ns::AttributedString>* tokenUsed = nullptr) const;
    // A token carrying a link makes a link over the last characters of the cut line, once: the
    // record alone (the token is drawn in its own attributes), with no display request.
    void addTruncationTokenLink(const ns::AttributedString& token, ns::Range lineRange);
    // A link attribute's URL: an ns::URL, or a string that parses as one; else nil.
    static rt::Ref<ns::URL> linkURLOf(const rt::Id& value);
    // The lines drawn of `available`: the line limit, when there is one.
    std::size_t visibleLineCount(std::size_t available) const;

    // Matches `text` on a global queue and hands the matches to the main queue, where they are
    // added while the label's text is still the one matched.
    void detectLinks(const rt::Ref<ns::AttributedString>& text);
    void longPressGestureDidFire(const rt::Id& recognizer);
    // The link under a touch of the set, and that point.
    cg::Point touchLocation(const rt::Ref<ns::Set>& touches) const;
    // Tells the delegate of a tap (no point) or a long press at `point` on `result`: the method for
    // its kind when the delegate has it, else the one for any result.
    void reportLink(const rt::Ref<ns::TextCheckingResult>& result, const cg::Point* point);

    // Written under the label's lock (the framesetter's rebuild reads it on any thread).
    rt::Ref<ns::AttributedString> attributedText_;
    // Under the label's lock.
    mutable rt::Ref<ns::AttributedString> rendered_;
    mutable rt::Ref<ct::Framesetter> framesetter_;
    mutable rt::Ref<ct::Framesetter> highlightFramesetter_;
    mutable bool needsFramesetter_ = false;
    mutable std::atomic<std::size_t> builds_{0};
    // The last text height the text rectangle asked the engine for, by framesetter and constraints:
    // a redraw or a hit test of an unchanged label lays the text out once, not twice.
    struct TextHeight {
        rt::Ref<ct::Framesetter> framesetter;
        std::size_t length = 0;
        cg::Size constraints;
        double height = 0;
    };
    mutable TextHeight textHeight_;
    // The last frame laid out for finding the character under a point, by framesetter and text
    // rectangle: a touch's lookup and its probes lay the text out once.
    struct HitFrame {
        rt::Ref<ct::Framesetter> framesetter;
        cg::Rect rect;
        rt::Ref<ct::Frame> frame;
    };
    mutable HitFrame hitFrame_;

    rt::Weak<rt::Object> delegate_;
    std::uint64_t checkingTypes_ = 0;
    // The detector, shared with the detection tasks, which touch nothing else of the label.
    struct DetectorSlot;
    std::shared_ptr<DetectorSlot> detector_;
    rt::Ref<ns::Array> linkModels_;
    // The same links, typed, for hit testing.
    std::vector<rt::Ref<AttributedLabelLink>> linkList_;
    rt::Ref<ns::Dictionary> linkAttributes_, activeLinkAttributes_, inactiveLinkAttributes_;
    ui::EdgeInsets linkBackgroundEdgeInset_;
    bool extendsLinkTouchArea_ = false;
    rt::Ref<ui::LongPressGestureRecognizer> longPress_;
    rt::Ref<AttributedLabelLink> activeLink_;
    mutable rt::Ref<ns::Array> accessibilityElements_;
    rt::Ref<ns::AttributedString> inactiveAttributedText_;

    double shadowRadius_ = 0, highlightedShadowRadius_ = 0;
    cg::Size highlightedShadowOffset_;
    rt::Ref<ui::Color> highlightedShadowColor_;

    double kern_ = 0, firstLineIndent_ = 0, lineSpacing_ = 0;
    double minimumLineHeight_ = 0, maximumLineHeight_ = 0, lineHeightMultiple_ = 0;

    ui::EdgeInsets textInsets_;
    VerticalAlignment verticalAlignment_ = VerticalAlignment::Center;
    rt::Ref<ns::String> truncationTokenString_;
    rt::Ref<ns::Dictionary> truncationTokenStringAttributes_;
    rt::Ref<ns::AttributedString> attributedTruncationToken_;
};

} // namespace tl
