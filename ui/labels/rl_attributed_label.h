#pragma once
// rl::AttributedLabel ("RLAttributedLabel"): a label that keeps its own attributed copy of its
// text, styles it from the label's settings, composes the string it shows from it and lays that
// out in a text frame cached until anything changes.
//
// Text. `mutableAttributedString` is the label's text with its styles; a plain `setText` rebuilds
// it from the label's font, text colour, alignment, break mode and line height, then lays the
// whole-text underline, stroke and kern over it. The whole-string setters act on the string as it
// stands, so styles set over ranges are lost at the next `setText`. An attributed text is kept as
// given (the same object changes nothing).
//
// Cache. Every change that shapes the composed string ends in attributedTextDidChange, which
// drops the text frame and requests display; the frame is made again on first use from the
// composed string in the bounds. Alignment and break-mode changes do too when there is text, so
// the layout on screen never lags the style. A frame change drops it only when the rectangle
// differs.
//
// Links. Detected links (the data detector over the plain text, run lazily by drawing and
// linkAtIndex, now or on a worker) and explicit ones (added for a range, or carried by an
// attributed text under LinkAttributeName) are styled in the composed string, each range marked
// with its result. At an index a detected link wins over an explicit one, and the first of each
// list wins. A link added past the end of the text is logged and kept as far as the text goes
// (dropped when none of it is on the text); one the text was shortened under is styled so too.
// A deferred detection's results are kept only when the text they were found in is still the
// label's; otherwise the label is left undetected and redrawn, which detects again.
//
// Images. Each inline image travels in the composed string as one placeholder character whose
// run delegate gives the box's ascent, descent and width; the picture is drawn over the run. An
// image inserted shows from the next rebuild of the frame; the frame keeps the composed string
// and the images it was made of, so truncation and touches read what is drawn.
//
// Touches. A touch that begins on a link (5 points above and below a line count) marks it
// touched and starts a 0.5 s long-press timer; the finger may stray 22 points from the link's
// rectangles, and a move of 22 points restarts the timer from there. Lifting near the link tells
// the delegate ("RLAttributedLabelDelegate", by name): attributedLabel:didSelectTextCheckingResult:
// atPoint:. The long press shows an action sheet by the link's kind, unless the delegate answers NO
// to attributedLabel:shouldPresentActionSheet:withTextCheckingResult:atPoint:. Texts over a
// link's range are read from the label's own attributed text.
//
// Accessibility. The label is a container: one element per line of each link, then one for the
// whole text.
//
// Main thread only; a deferred detection scans a copy of the text on a worker.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/foundation/attributed_string.h"
#include "platform/graphics/affine_transform.h"
#include "platform/graphics/edge_insets.h"
#include "platform/uikit/label.h"

namespace ct {
class Frame;
class Line;
}
namespace cg {
class Context;
}
namespace ns {
class Set;
class Timer;
}
namespace ns {
class Array;
class MutableArray;
class TextCheckingResult;
class URL;
}
namespace ui {
class ActionSheet;
class Event;
class Color;
class Font;
class Image;
}

namespace rl {

// The size of `str` laid out within `constraint` for a line limit: 1 measures it unbroken with no
// limit, n > 1 the characters of its first n lines, 0 (or less) all of it. Rounded up to whole
// points; nil gives the zero size.
cg::Size sizeForAttributedString(const ns::AttributedString* str, long lines, cg::Size constraint);

// The composed string's attribute holding each link's text-checking result.
inline constexpr const char* LinkAttributeName = "RLAttributedLabel:Link";

// An inline image: where it stands in the text, the picture and its margins, and how its box sits
// against the font (0 top, 1 middle, 2 bottom), whose ascent and descent composing fills in.
class AttributedLabelImage final : public rt::Object {
    RT_CLASS(AttributedLabelImage)
public:
    static rt::Ref<AttributedLabelImage> make(rt::Ref<ui::Image> image, long index, ui::EdgeInsets margins,
                                              std::int32_t verticalTextAlignment);
    long index() const noexcept { return index_; }
    const rt::Ref<ui::Image>& image() const noexcept { return image_; }
    ui::EdgeInsets margins() const noexcept { return margins_; }
    std::int32_t verticalTextAlignment() const noexcept { return alignment_; }
    double fontAscent() const noexcept { return ascent_; }
    double fontDescent() const noexcept { return descent_; }
    void setFontMetrics(double ascent, double descent) { ascent_ = ascent, descent_ = descent; }
    // The picture and its margins.
    cg::Size boxSize() const;
    // The placeholder's metrics: ascent + descent is the box's height.
    double runAscent() const;
    double runDescent() const;

private:
    AttributedLabelImage() = default;
    rt::Ref<ui::Image> image_;
    long index_ = 0;
    ui::EdgeInsets margins_;
    std::int32_t alignment_ = 2;
    double ascent_ = 0, descent_ = 0;
};

class AttributedLabel : public ui::Label {
    RT_CLASS(AttributedLabel)
public:
    static rt::Ref<AttributedLabel> make(const cg::Rect& frame = cg::Rect::zero());

    // Nil for a label without text; otherwise its text with its font, colour and a paragraph
    // style of its alignment, break mode and (for this label) line height.
    static rt::Ref<ns::MutableAttributedString> mutableAttributedStringFromLabel(const ui::Label& label);

    // ---- Text ----
    void setText(rt::Ref<ns::String> text);
    // An immutable copy; nil without text.
    rt::Ref<ns::AttributedString> attributedText() const;
    // A copy of `text` as it is; drops the detection results, explicit links and images.
    void setAttributedText(const rt::Ref<ns::AttributedString>& text);
    const rt::Ref<ns::MutableAttributedString>& mutableAttributedString() const noexcept { return string_; }
    // The composed string: the text, highlighted in the highlighted text colour when the label is.
    // Nil without text.
    rt::Ref<ns::MutableAttributedString> mutableAttributedStringWithAdditions() const;
    void attributedTextDidChange();
    void resetTextFrame();
    // Made on demand from the composed string in the bounds; nil without text.
    const rt::Ref<ct::Frame>& textFrame();
    void setTextFrame(rt::Ref<ct::Frame> frame);
    // Drops the text frame only when the rectangle changes.
    void setFrame(const cg::Rect& frame);
    void awakeFromNib();

    // ---- Style: each ends in attributedTextDidChange ----
    void setFont(rt::Ref<ui::Font> font);
    void setFont(const rt::Ref<ui::Font>& font, ns::Range range);
    void setTextColor(rt::Ref<ui::Color> color) override;
    void setTextColor(const rt::Ref<ui::Color>& color, ns::Range range);
    std::int32_t underlineStyle() const noexcept { return underlineStyle_; }
    void setUnderlineStyle(std::int32_t style);
    std::int32_t underlineStyleModifier() const noexcept { return underlineModifier_; }
    void setUnderlineStyleModifier(std::int32_t modifier);
    void setUnderlineStyle(std::int32_t style, std::int32_t modifier, ns::Range range);
    double shadowBlur() const noexcept { return shadowBlur_; }
    void setShadowBlur(double blur);
    double strokeWidth() const noexcept { return strokeWidth_; }
    void setStrokeWidth(double width);
    void setStrokeWidth(double width, ns::Range range);
    const rt::Ref<ui::Color>& strokeColor() const noexcept { return strokeColor_; }
    void setStrokeColor(rt::Ref<ui::Color> color);
    void setStrokeColor(const rt::Ref<ui::Color>& color, ns::Range range);
    double textKern() const noexcept { return textKern_; }
    void setTextKern(double kern);
    void setTextKern(double kern, ns::Range range);
    // The token a truncated tail ends in; nil: the ellipsis.
    const rt::Ref<ns::String>& tailTruncationString() const noexcept { return tailTruncation_; }
    void setTailTruncationString(const rt::Ref<ns::String>& token);
    // Minimum and maximum line height of the paragraph style; 0: none. Kept for the next text
    // when there is none.
    double lineHeight() const noexcept { return lineHeight_; }
    void setLineHeight(double height);
    // Justified is kept in the paragraph style but stored in the label as left.
    void setTextAlignment(ui::TextAlignment alignment);
    void setLineBreakMode(ui::LineBreakMode mode);
    void setHighlighted(bool highlighted) override;
    void setHighlightedTextColor(rt::Ref<ui::Color> color);

    // ---- Other settings, stored only ----
    // 0 top, 1 middle, 2 bottom.
    std::int32_t verticalTextAlignment() const noexcept { return verticalAlignment_; }
    void setVerticalTextAlignment(std::int32_t alignment) { verticalAlignment_ = alignment; }
    // The text colour of links; the tint colour unless set.
    const rt::Ref<ui::Color>& linkColor() const noexcept { return linkColor_; }
    const rt::Ref<ui::Color>& highlightedLinkBackgroundColor() const noexcept { return highlightedLinkBackground_; }
    std::uint64_t dataDetectorTypes() const noexcept { return detectorTypes_; }
    void setDataDetectorTypes(std::uint64_t types) { detectorTypes_ = types; }

    // ---- Links ----
    bool autoDetectLinks() const noexcept { return autoDetectLinks_; }
    // Drops the text frame even when the value is the same.
    void setAutoDetectLinks(bool detect);
    bool deferLinkDetection() const noexcept { return deferDetection_; }
    void setDeferLinkDetection(bool defer) { deferDetection_ = defer; }
    bool linksHaveBeenDetected() const noexcept { return linksDetected_; }
    bool isDetectingLinks() const noexcept { return detecting_.load(); }
    // Nil until detected.
    const rt::Ref<ns::Array>& detectedLinkLocations() const noexcept { return detected_; }
    void setDetectedLinkLocations(rt::Ref<ns::Array> links);
    // Nil until a link is added or an attributed text set.
    const rt::Ref<ns::MutableArray>& explicitLinkLocations() const noexcept { return explicit_; }
    void setExplicitLinkLocations(rt::Ref<ns::MutableArray> links);
    void addLink(const rt::Ref<ns::URL>& url, ns::Range range);
    void removeAllExplicitLinks();
    // Runs detection when it is on and due: now, or on a worker when deferred.
    void detectLinks();
    // The link holding `index` (location <= index < end): detected ones first, then explicit.
    rt::Ref<ns::TextCheckingResult> linkAtIndex(long index);

    void setLinkColor(rt::Ref<ui::Color> color);
    void setHighlightedLinkBackgroundColor(rt::Ref<ui::Color> color);
    bool linksHaveUnderlines() const noexcept { return linksHaveUnderlines_; }
    void setLinksHaveUnderlines(bool underlines);
    const rt::Ref<ns::Dictionary>& attributesForLinks() const noexcept { return linkAttributes_; }
    void setAttributesForLinks(rt::Ref<ns::Dictionary> attributes);
    const rt::Ref<ns::Dictionary>& attributesForHighlightedLink() const noexcept { return highlightedLinkAttributes_; }
    void setAttributesForHighlightedLink(rt::Ref<ns::Dictionary> attributes);
    // The link shown as touched; a change redraws when touched links have attributes of their own.
    const rt::Ref<ns::TextCheckingResult>& touchedLink() const noexcept { return touchedLink_; }
    void setTouchedLink(rt::Ref<ns::TextCheckingResult> link);

    // ---- Images and geometry ----
    // Stands at `index` of the text (held to 0...length when composing); margins zero and
    // alignment bottom unless given. Shows from the next rebuild of the frame.
    void insertImage(rt::Ref<ui::Image> image, long index, ui::EdgeInsets margins = {},
                     std::int32_t verticalTextAlignment = 2);
    const std::vector<rt::Ref<AttributedLabelImage>>& images() const noexcept { return images_; }
    // (x, y) to (x, bounds height - y).
    cg::AffineTransform transformForCoreText() const;
    // Where the text starts in `rect` by the vertical alignment (negative when taller than it).
    double verticalOffsetForBounds(const cg::Rect& rect) const;
    long numberOfDisplayedLines();
    // The whole runs of `line` meeting `range`, in the engine's space; zero when none do.
    static cg::Rect rectForRange(ns::Range range, const ct::Line& line, cg::Point origin);
    // The link's rectangle on each line it spans, in the view's space; nil without lines.
    std::vector<cg::Rect> rectsForLink(const ns::TextCheckingResult& link);
    void drawTextInRect(const cg::Rect& rect) override;

    // ---- Touches, the action sheet and accessibility ----
    rt::Id delegate() const { return delegate_.lock(); }
    // Held weakly.
    void setDelegate(const rt::Id& delegate) { delegate_ = rt::Weak<rt::Object>(delegate); }
    // The link under `point`, in the label.
    rt::Ref<ns::TextCheckingResult> linkAtPoint(cg::Point point);
    // Within 22 points of one of the link's rectangles.
    bool isPointNearLink(cg::Point point, const ns::TextCheckingResult& link);
    const rt::Ref<ns::TextCheckingResult>& actionSheetLink() const noexcept { return actionSheetLink_; }
    bool hasLongPressTimer() const noexcept { return static_cast<bool>(longPressTimer_); }
    cg::Point touchPoint() const noexcept { return touchPoint_; }
    void touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    void touchesCancelled(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) override;
    // The sheet of a link's kind, titled and with its buttons; "Cancel" last except on a pad.
    rt::Ref<ui::ActionSheet> actionSheetForResult(const ns::TextCheckingResult& result);
    void actionSheetClickedButtonAtIndex(const rt::Ref<ui::ActionSheet>& sheet, long index);
    void actionSheetCancel(const rt::Ref<ui::ActionSheet>& sheet);
    // Where an address is searched for: the address text, escaped, follows "?q=".
    static constexpr const char* kDefaultMapSearchAddress = "http://127.0.0.1/maps";
    static void setMapSearchAddress(std::string address);
    static const std::string& mapSearchAddress();

    bool isAccessibilityElement() const override { return false; }
    const rt::Ref<ns::Array>& accessibleElements();
    long accessibilityElementCount();
    rt::Id accessibilityElementAtIndex(long index);
    // ns::NotFound when it is not one of them.
    std::size_t indexOfAccessibilityElement(const rt::Id& element);
    void invalidateAccessibleElements();

    // ---- Sizing ----
    cg::Size sizeThatFits(cg::Size size) const override;
    cg::Size intrinsicContentSize() const override;

protected:
    AttributedLabel();
    explicit AttributedLabel(const cg::Rect& frame);
    // Invalidates a pending long press.
    ~AttributedLabel() override;

private:
    void configureDefaults();
    // The paragraph style of the label's stored settings (or `alignment`, when given) over the
    // whole text; when there is text, also attributedTextDidChange.
    void applyParagraphStyle(long alignment, long mode);
    void startLongPressTimer();
    void stopLongPressTimer();
    void longPressTimerDidFire();
    // The plain text over `range` of the label's own attributed text; nil outside it.
    rt::Ref<ns::String> textInRange(ns::Range range) const;
    // The lines of `frame`, made of `composed`.
    void drawAttributedString(const ct::Frame& frame, const ns::AttributedString& composed,
                              const cg::Rect& rect, cg::Context& context);
    void drawHighlight(const cg::Rect& rect, cg::Context& context);
    // Each image of the displayed lines over its placeholder run, into the current context.
    void drawImages();
    void insertImagePlaceholders(ns::MutableAttributedString& composed) const;
    static rt::Ref<ns::Array> matchesInString(const ns::String& text, std::uint64_t types);
    void deferDetection();
    // The explicit links become the results `text` carries under LinkAttributeName.
    void processLinksInAttributedString(const ns::AttributedString& text);
    void applyLinkStyle(const ns::Array* links, ns::MutableAttributedString& str) const;

    rt::Ref<ns::MutableAttributedString> string_;
    rt::Ref<ct::Frame> textFrame_;
    rt::Ref<ui::Color> linkColor_;
    rt::Ref<ui::Color> highlightedLinkBackground_;
    rt::Ref<ui::Color> strokeColor_;
    rt::Ref<ns::String> tailTruncation_;
    // The composed string and images the cached frame was made of.
    rt::Ref<ns::AttributedString> frameString_;
    std::vector<rt::Ref<AttributedLabelImage>> frameImages_;
    cg::Rect frameBounds_;
    std::vector<rt::Ref<AttributedLabelImage>> images_;
    rt::Ref<ns::TextCheckingResult> actionSheetLink_;
    rt::Ref<ns::TextCheckingResult> originalLink_;
    rt::Ref<ns::Timer> longPressTimer_;
    cg::Point touchPoint_;
    rt::Ref<ns::Array> accessibleElements_;
    rt::Weak<rt::Object> delegate_;
    rt::Ref<ns::Array> detected_;
    rt::Ref<ns::MutableArray> explicit_;
    rt::Ref<ns::TextCheckingResult> touchedLink_;
    rt::Ref<ns::Dictionary> linkAttributes_;
    rt::Ref<ns::Dictionary> highlightedLinkAttributes_;
    std::atomic<bool> detecting_{false};
    bool linksDetected_ = false;
    bool autoDetectLinks_ = false;
    bool deferDetection_ = false;
    bool linksHaveUnderlines_ = false;
    std::uint64_t detectorTypes_ = 0;
    double lineHeight_ = 0;
    double shadowBlur_ = 0;
    double strokeWidth_ = 0;
    double textKern_ = 0;
    std::int32_t verticalAlignment_ = 0;
    std::int32_t underlineStyle_ = 0;
    std::int32_t underlineModifier_ = 0;
};

} // namespace rl
