#pragma once
// fm::Appearance ("FMAppearance"): the look of a form. Colours, fonts and alignments of its cells,
// the look of its table, and the section header and footer views and heights, which the form's
// table asks of its root's appearance. The base holds no values of its own (nil, 0, NO);
// fm::ClassicAppearance gives the older grouped look and draws its own section headers and
// footers, fm::FlatAppearance the flat look, leaving headers and footers to the table.
//
// A subclass sets its values in setDefaults, after its base's; its constructor runs its own
// setDefaults, so a new instance of any class starts from that class's values. A copy is a new
// instance of the receiver's class that shares 25 of the receiver's values (objects by reference);
// the table and toolbar values, the views and the default heights keep the copy's class values.

#include "platform/foundation/index_path.h"
#include "platform/runtime/number.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/view.h"

namespace ui {
class TableView;
class TableViewCell;
} // namespace ui

namespace fm {

class Element;
class Section;

class Appearance : public rt::Object {
    RT_CLASS(Appearance)
public:
    const rt::Ref<ui::Color>& labelColorDisabled() const noexcept { return labelColorDisabled_; }
    void setLabelColorDisabled(rt::Ref<ui::Color> value) { labelColorDisabled_ = std::move(value); }
    const rt::Ref<ui::Color>& labelColorEnabled() const noexcept { return labelColorEnabled_; }
    void setLabelColorEnabled(rt::Ref<ui::Color> value) { labelColorEnabled_ = std::move(value); }
    const rt::Ref<ui::Font>& labelFont() const noexcept { return labelFont_; }
    void setLabelFont(rt::Ref<ui::Font> value) { labelFont_ = std::move(value); }
    const rt::Ref<ui::Color>& backgroundColorEnabled() const noexcept { return backgroundColorEnabled_; }
    void setBackgroundColorEnabled(rt::Ref<ui::Color> value) { backgroundColorEnabled_ = std::move(value); }
    const rt::Ref<ui::Color>& backgroundColorDisabled() const noexcept { return backgroundColorDisabled_; }
    void setBackgroundColorDisabled(rt::Ref<ui::Color> value) { backgroundColorDisabled_ = std::move(value); }
    long labelAlignment() const noexcept { return labelAlignment_; }
    void setLabelAlignment(long value) noexcept { labelAlignment_ = value; }
    const rt::Ref<ui::Color>& tableGroupedBackgroundColor() const noexcept {
        return tableGroupedBackgroundColor_;
    }
    void setTableGroupedBackgroundColor(rt::Ref<ui::Color> value) {
        tableGroupedBackgroundColor_ = std::move(value);
    }
    const rt::Ref<ui::Color>& tableBackgroundColor() const noexcept { return tableBackgroundColor_; }
    void setTableBackgroundColor(rt::Ref<ui::Color> value) { tableBackgroundColor_ = std::move(value); }
    const rt::Ref<ui::View>& tableBackgroundView() const noexcept { return tableBackgroundView_; }
    void setTableBackgroundView(rt::Ref<ui::View> value) { tableBackgroundView_ = std::move(value); }
    const rt::Ref<ui::Color>& tableSeparatorColor() const noexcept { return tableSeparatorColor_; }
    void setTableSeparatorColor(rt::Ref<ui::Color> value) { tableSeparatorColor_ = std::move(value); }
    const rt::Ref<ui::Font>& entryFont() const noexcept { return entryFont_; }
    void setEntryFont(rt::Ref<ui::Font> value) { entryFont_ = std::move(value); }
    const rt::Ref<ui::Color>& entryTextColorEnabled() const noexcept { return entryTextColorEnabled_; }
    void setEntryTextColorEnabled(rt::Ref<ui::Color> value) { entryTextColorEnabled_ = std::move(value); }
    const rt::Ref<ui::Color>& entryTextColorDisabled() const noexcept { return entryTextColorDisabled_; }
    void setEntryTextColorDisabled(rt::Ref<ui::Color> value) { entryTextColorDisabled_ = std::move(value); }
    const rt::Ref<ui::Color>& valueColorEnabled() const noexcept { return valueColorEnabled_; }
    void setValueColorEnabled(rt::Ref<ui::Color> value) { valueColorEnabled_ = std::move(value); }
    const rt::Ref<ui::Color>& valueColorDisabled() const noexcept { return valueColorDisabled_; }
    void setValueColorDisabled(rt::Ref<ui::Color> value) { valueColorDisabled_ = std::move(value); }
    const rt::Ref<ui::Font>& valueFont() const noexcept { return valueFont_; }
    void setValueFont(rt::Ref<ui::Font> value) { valueFont_ = std::move(value); }
    long valueAlignment() const noexcept { return valueAlignment_; }
    void setValueAlignment(long value) noexcept { valueAlignment_ = value; }
    const rt::Ref<ui::Color>& actionColorEnabled() const noexcept { return actionColorEnabled_; }
    void setActionColorEnabled(rt::Ref<ui::Color> value) { actionColorEnabled_ = std::move(value); }
    const rt::Ref<ui::Color>& actionColorDisabled() const noexcept { return actionColorDisabled_; }
    void setActionColorDisabled(rt::Ref<ui::Color> value) { actionColorDisabled_ = std::move(value); }
    const rt::Ref<ui::Font>& sectionTitleFont() const noexcept { return sectionTitleFont_; }
    void setSectionTitleFont(rt::Ref<ui::Font> value) { sectionTitleFont_ = std::move(value); }
    const rt::Ref<ui::Color>& sectionTitleColor() const noexcept { return sectionTitleColor_; }
    void setSectionTitleColor(rt::Ref<ui::Color> value) { sectionTitleColor_ = std::move(value); }
    const rt::Ref<ui::Font>& sectionFooterFont() const noexcept { return sectionFooterFont_; }
    void setSectionFooterFont(rt::Ref<ui::Font> value) { sectionFooterFont_ = std::move(value); }
    const rt::Ref<ui::Color>& sectionFooterColor() const noexcept { return sectionFooterColor_; }
    void setSectionFooterColor(rt::Ref<ui::Color> value) { sectionFooterColor_ = std::move(value); }
    long entryAlignment() const noexcept { return entryAlignment_; }
    void setEntryAlignment(long value) noexcept { entryAlignment_ = value; }
    long buttonAlignment() const noexcept { return buttonAlignment_; }
    void setButtonAlignment(long value) noexcept { buttonAlignment_ = value; }
    const rt::Ref<ui::View>& selectedBackgroundView() const noexcept { return selectedBackgroundView_; }
    void setSelectedBackgroundView(rt::Ref<ui::View> value) { selectedBackgroundView_ = std::move(value); }
    const rt::Ref<ui::Color>& sectionTitleShadowColor() const noexcept { return sectionTitleShadowColor_; }
    void setSectionTitleShadowColor(rt::Ref<ui::Color> value) { sectionTitleShadowColor_ = std::move(value); }
    bool toolbarTranslucent() const noexcept { return toolbarTranslucent_; }
    void setToolbarTranslucent(bool value) noexcept { toolbarTranslucent_ = value; }
    double cellBorderWidth() const noexcept { return cellBorderWidth_; }
    void setCellBorderWidth(double value) noexcept { cellBorderWidth_ = value; }
    const rt::Ref<ns::Number>& defaultHeightForHeader() const noexcept { return defaultHeightForHeader_; }
    void setDefaultHeightForHeader(rt::Ref<ns::Number> value) { defaultHeightForHeader_ = std::move(value); }
    const rt::Ref<ns::Number>& defaultHeightForFooter() const noexcept { return defaultHeightForFooter_; }
    void setDefaultHeightForFooter(rt::Ref<ns::Number> value) { defaultHeightForFooter_ = std::move(value); }
    long toolbarStyle() const noexcept { return toolbarStyle_; }
    void setToolbarStyle(long value) noexcept { toolbarStyle_ = value; }
    const rt::Ref<ui::View>& tableGroupedBackgroundView() const noexcept {
        return tableGroupedBackgroundView_;
    }
    void setTableGroupedBackgroundView(rt::Ref<ui::View> value) {
        tableGroupedBackgroundView_ = std::move(value);
    }

    virtual void setDefaults() {}
    // A new instance of the receiver's class sharing the values named above.
    rt::Id copy() const override;

    // The section's header (footer) view for the table, or nil to leave it to the table.
    virtual rt::Ref<ui::View> buildHeaderForSection(const rt::Ref<Section>& section,
                                                    const rt::Ref<ui::TableView>& table, long index);
    virtual rt::Ref<ui::View> buildFooterForSection(const rt::Ref<Section>& section,
                                                    const rt::Ref<ui::TableView>& table, long index);
    // The section's view height, else defaultHeightForHeader (Footer), else the table's automatic
    // dimension.
    virtual double heightForHeaderInSection(const rt::Ref<Section>& section,
                                            const rt::Ref<ui::TableView>& table, long index);
    virtual double heightForFooterInSection(const rt::Ref<Section>& section,
                                            const rt::Ref<ui::TableView>& table, long index);
    // Told before each cell of the form shows.
    virtual void cellWillAppearForElement(const rt::Ref<ui::TableViewCell>& cell,
                                          const rt::Ref<Element>& element,
                                          const rt::Ref<ns::IndexPath>& indexPath);

protected:
    Appearance() = default;
    ~Appearance() override;

private:
    rt::Ref<ui::Color> labelColorDisabled_;
    rt::Ref<ui::Color> labelColorEnabled_;
    rt::Ref<ui::Font> labelFont_;
    rt::Ref<ui::Color> backgroundColorEnabled_;
    rt::Ref<ui::Color> backgroundColorDisabled_;
    long labelAlignment_ = 0;
    rt::Ref<ui::Color> tableGroupedBackgroundColor_;
    rt::Ref<ui::Color> tableBackgroundColor_;
    rt::Ref<ui::View> tableBackgroundView_;
    rt::Ref<ui::Color> tableSeparatorColor_;
    rt::Ref<ui::Font> entryFont_;
    rt::Ref<ui::Color> entryTextColorEnabled_;
    rt::Ref<ui::Color> entryTextColorDisabled_;
    rt::Ref<ui::Color> valueColorEnabled_;
    rt::Ref<ui::Color> valueColorDisabled_;
    rt::Ref<ui::Font> valueFont_;
    long valueAlignment_ = 0;
    rt::Ref<ui::Color> actionColorEnabled_;
    rt::Ref<ui::Color> actionColorDisabled_;
    rt::Ref<ui::Font> sectionTitleFont_;
    rt::Ref<ui::Color> sectionTitleColor_;
    rt::Ref<ui::Font> sectionFooterFont_;
    rt::Ref<ui::Color> sectionFooterColor_;
    long entryAlignment_ = 0;
    long buttonAlignment_ = 0;
    rt::Ref<ui::View> selectedBackgroundView_;
    rt::Ref<ui::Color> sectionTitleShadowColor_;
    bool toolbarTranslucent_ = false;
    double cellBorderWidth_ = 0;
    rt::Ref<ns::Number> defaultHeightForHeader_;
    rt::Ref<ns::Number> defaultHeightForFooter_;
    long toolbarStyle_ = 0;
    rt::Ref<ui::View> tableGroupedBackgroundView_;
};

class ClassicAppearance : public Appearance {
    RT_CLASS(ClassicAppearance)
public:
    void setDefaults() override;

    rt::Ref<ui::View> buildHeaderForSection(const rt::Ref<Section>& section,
                                            const rt::Ref<ui::TableView>& table, long index) override;
    // Stores the drawn footer into the section as its footer view and answers nil.
    rt::Ref<ui::View> buildFooterForSection(const rt::Ref<Section>& section,
                                            const rt::Ref<ui::TableView>& table, long index) override;
    double heightForHeaderInSection(const rt::Ref<Section>& section, const rt::Ref<ui::TableView>& table,
                                    long index) override;
    double heightForFooterInSection(const rt::Ref<Section>& section, const rt::Ref<ui::TableView>& table,
                                    long index) override;
    // The side margin of a grouped table of that width: 10 from 20 to 400 wide, else 6% held to
    // 31...45; a table 20 wide or less keeps its width less 10. In single precision.
    static float currentGroupedTableViewMarginForWidth(double width) noexcept;
    float currentGroupedTableViewMarginForTableView(const rt::Ref<ui::TableView>& table) const;

protected:
    ClassicAppearance() { ClassicAppearance::setDefaults(); }
};

class FlatAppearance : public Appearance {
    RT_CLASS(FlatAppearance)
public:
    // The label, value and entry fonts are the text-style fonts, left nil where the platform has
    // none.
    void setDefaults() override;
    double heightForHeaderInSection(const rt::Ref<Section>& section, const rt::Ref<ui::TableView>& table,
                                    long index) override;

protected:
    FlatAppearance() { FlatAppearance::setDefaults(); }
};

} // namespace fm
