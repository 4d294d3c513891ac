#include "ui/forms/appearance.h"

#include <algorithm>

#include "platform/runtime/class.h"
#include "platform/uikit/label.h"
#include "platform/uikit/string_drawing.h"
#include "platform/uikit/table_view.h"
#include "ui/forms/root_element.h"
#include "ui/forms/section.h"

namespace fm {

namespace {

// The table's own rule: the section's view, else the default height, else automatic.
double appearanceBaseHeight(const rt::Ref<ui::View>& view, const rt::Ref<ns::Number>& fallback) {
    if (view) return view->frame().height();
    if (fallback) return fallback->floatValue();
    return ui::TableViewAutomaticDimension;
}

double appearanceTextHeight(const rt::Ref<ns::String>& text, const rt::Ref<ui::Font>& font, double width,
                            double height) {
    return ui::sizeOfString(text, font, {width, height}, ui::LineBreakMode::WordWrapping).height;
}

bool appearanceGrouped(const rt::Ref<ui::TableView>& table) {
    return table && table->style() == ui::TableViewStyle::Grouped;
}

// The label of a drawn header or footer: clear, any number of lines, a shadow one point down.
rt::Ref<ui::Label> appearanceSectionLabel(const cg::Rect& frame, const rt::Ref<ns::String>& text,
                                          const rt::Ref<ui::Font>& font, const rt::Ref<ui::Color>& color,
                                          const rt::Ref<ui::Color>& shadow) {
    auto label = rt::make<ui::Label>(frame);
    label->setText(text);
    label->setBackgroundColor(ui::Color::clearColor());
    label->setFont(font);
    label->setNumberOfLines(0);
    label->setShadowColor(shadow);
    label->setShadowOffset({0, 1});
    label->setTextColor(color);
    return label;
}

rt::Ref<ui::View> appearanceContainer(double width, double height) {
    auto container = rt::make<ui::View>(cg::Rect::make(0, 0, width, height));
    container->setBackgroundColor(ui::Color::clearColor());
    return container;
}

} // namespace

Appearance::~Appearance() = default;

rt::Id Appearance::copy() const {
    auto copy = rt::cast<Appearance>(getClass().reportedClass().alloc());
    copy->labelColorDisabled_ = labelColorDisabled_;
    copy->labelColorEnabled_ = labelColorEnabled_;
    copy->actionColorDisabled_ = actionColorDisabled_;
    copy->actionColorEnabled_ = actionColorEnabled_;
    copy->labelFont_ = labelFont_;
    copy->labelAlignment_ = labelAlignment_;
    copy->backgroundColorDisabled_ = backgroundColorDisabled_;
    copy->backgroundColorEnabled_ = backgroundColorEnabled_;
    copy->tableSeparatorColor_ = tableSeparatorColor_;
    copy->entryTextColorDisabled_ = entryTextColorDisabled_;
    copy->entryTextColorEnabled_ = entryTextColorEnabled_;
    copy->entryAlignment_ = entryAlignment_;
    copy->entryFont_ = entryFont_;
    copy->buttonAlignment_ = buttonAlignment_;
    copy->valueColorEnabled_ = valueColorEnabled_;
    copy->valueColorDisabled_ = valueColorDisabled_;
    copy->valueFont_ = valueFont_;
    copy->valueAlignment_ = valueAlignment_;
    copy->tableBackgroundColor_ = tableBackgroundColor_;
    copy->tableGroupedBackgroundColor_ = tableGroupedBackgroundColor_;
    copy->sectionTitleColor_ = sectionTitleColor_;
    copy->sectionTitleShadowColor_ = sectionTitleShadowColor_;
    copy->sectionTitleFont_ = sectionTitleFont_;
    copy->sectionFooterColor_ = sectionFooterColor_;
    copy->sectionFooterFont_ = sectionFooterFont_;
    return copy;
}

rt::Ref<ui::View> Appearance::buildHeaderForSection(const rt::Ref<Section>&, const rt::Ref<ui::TableView>&,
                                                    long) {
    return nullptr;
}

rt::Ref<ui::View> Appearance::buildFooterForSection(const rt::Ref<Section>&, const rt::Ref<ui::TableView>&,
                                                    long) {
    return nullptr;
}

double Appearance::heightForHeaderInSection(const rt::Ref<Section>& section, const rt::Ref<ui::TableView>&,
                                            long) {
    return appearanceBaseHeight(section ? section->headerView() : nullptr, defaultHeightForHeader_);
}

double Appearance::heightForFooterInSection(const rt::Ref<Section>& section, const rt::Ref<ui::TableView>&,
                                            long) {
    return appearanceBaseHeight(section ? section->footerView() : nullptr, defaultHeightForFooter_);
}

void Appearance::cellWillAppearForElement(const rt::Ref<ui::TableViewCell>&, const rt::Ref<Element>&,
                                          const rt::Ref<ns::IndexPath>&) {}

void ClassicAppearance::setDefaults() {
    Appearance::setDefaults();
    auto lightGray = ui::Color::lightGrayColor();
    auto valueBlue = ui::Color::colorWithRed(0.1653, 0.2532, 0.4543, 1);
    auto sectionGray = ui::Color::colorWithRed(0.298039, 0.337255, 0.423529, 1);
    setLabelColorDisabled(lightGray);
    setLabelColorEnabled(ui::Color::blackColor());
    setLabelFont(ui::Font::boldSystemFontOfSize(15));
    setBackgroundColorEnabled(ui::Color::whiteColor());
    setBackgroundColorDisabled(ui::Color::colorWithWhite(0.9605, 1));
    setLabelAlignment(long(ui::TextAlignment::Left));
    setEntryFont(ui::Font::systemFontOfSize(15));
    setEntryTextColorEnabled(ui::Color::blackColor());
    setEntryTextColorDisabled(lightGray);
    setValueColorEnabled(valueBlue);
    setValueColorDisabled(lightGray);
    setValueFont(ui::Font::systemFontOfSize(15));
    setValueAlignment(long(ui::TextAlignment::Right));
    setActionColorEnabled(ui::Color::blackColor());
    setActionColorDisabled(lightGray);
    setSectionTitleFont(ui::Font::boldSystemFontOfSize(16));
    setSectionTitleColor(sectionGray);
    setSectionFooterFont(ui::Font::systemFontOfSize(14));
    setSectionFooterColor(sectionGray);
    setEntryAlignment(long(ui::TextAlignment::Left));
    setButtonAlignment(long(ui::TextAlignment::Center));
    setSectionTitleShadowColor(ui::Color::colorWithWhite(1, 1));
    setToolbarTranslucent(true);
    setCellBorderWidth(20);
    setToolbarStyle(1);
}

float ClassicAppearance::currentGroupedTableViewMarginForWidth(double width) noexcept {
    const float w = float(width);
    if (w <= 20) return w - 10;
    if (w < 400) return 10;
    return std::max(std::min(w * 0.06f, 45.0f), 31.0f);
}

float ClassicAppearance::currentGroupedTableViewMarginForTableView(
    const rt::Ref<ui::TableView>& table) const {
    return currentGroupedTableViewMarginForWidth(table ? table->frame().width() : 0);
}

rt::Ref<ui::View> ClassicAppearance::buildHeaderForSection(const rt::Ref<Section>& section,
                                                           const rt::Ref<ui::TableView>& table, long index) {
    if (!sectionTitleFont() || !appearanceGrouped(table) || !section) return nullptr;
    // The height the table's delegate gives, which asks the root's appearance in turn.
    const rt::Id delegate = table->delegate();
    const rt::Sel heightSelector("tableView:heightForHeaderInSection:");
    const double h = delegate && delegate->respondsToSelector(heightSelector)
                         ? rt::send<double>(delegate, heightSelector, table, index)
                         : heightForHeaderInSection(section, table, index);
    const double width = table->frame().width();
    const float inset = currentGroupedTableViewMarginForTableView(table) + 8;
    auto container = appearanceContainer(width, h);
    container->addSubview(appearanceSectionLabel(cg::Rect::make(inset, 8, width - 2 * inset, h - 4),
                                                 section->title(), sectionTitleFont(), sectionTitleColor(),
                                                 sectionTitleShadowColor()));
    return container;
}

rt::Ref<ui::View> ClassicAppearance::buildFooterForSection(const rt::Ref<Section>& section,
                                                           const rt::Ref<ui::TableView>& table, long) {
    if (!sectionFooterFont() || !appearanceGrouped(table) || !section) return nullptr;
    const double width = table->frame().width();
    const float inset = currentGroupedTableViewMarginForTableView(table) + 8;
    const double h = appearanceTextHeight(section->footer(), sectionFooterFont(), width - 2 * inset, 1000000);
    auto container = appearanceContainer(width, h);
    auto label =
        appearanceSectionLabel(cg::Rect::make(inset, 5, width - 2 * inset, h), section->footer(),
                               sectionFooterFont(), sectionFooterColor(), ui::Color::colorWithWhite(1, 1));
    label->setTextAlignment(ui::TextAlignment::Center);
    container->addSubview(label);
    section->setFooterView(container);
    return nullptr;
}

double ClassicAppearance::heightForHeaderInSection(const rt::Ref<Section>& section,
                                                   const rt::Ref<ui::TableView>& table, long) {
    if (!section) return 0;
    if (section->headerView()) return section->headerView()->frame().height();
    if (!section->title()) return 0;
    const double width = table ? table->frame().width() : 0;
    auto root = section->rootElement();
    if (root && root->grouped()) {
        auto rootAppearance = root->appearance();
        auto font = rootAppearance ? rootAppearance->sectionTitleFont()
                                   : ui::Font::systemFontOfSize(ui::Font::labelFontSize());
        return appearanceTextHeight(section->title(), font, width - 40, 9999) + 24;
    }
    const float inset = currentGroupedTableViewMarginForTableView(table) + 8;
    return appearanceTextHeight(section->title(), sectionTitleFont(), width - 2 * inset, 1000000) + 22;
}

double ClassicAppearance::heightForFooterInSection(const rt::Ref<Section>& section,
                                                   const rt::Ref<ui::TableView>& table, long) {
    if (!section) return -1;
    if (section->footerView()) return section->footerView()->frame().height();
    if (!section->footer()) return -1;
    auto root = section->rootElement();
    auto rootAppearance = root ? root->appearance() : nullptr;
    const float inset = currentGroupedTableViewMarginForTableView(table) + 8;
    const double width = table ? table->frame().width() : 0;
    return appearanceTextHeight(section->footer(),
                                rootAppearance ? rootAppearance->sectionFooterFont() : nullptr,
                                width - 2 * inset, 1000000) +
           22;
}

void FlatAppearance::setDefaults() {
    Appearance::setDefaults();
    auto lightGray = ui::Color::lightGrayColor();
    setLabelColorDisabled(lightGray);
    setLabelColorEnabled(ui::Color::blackColor());
    if (ui::Font::offersTextStyles()) {
        setValueFont(ui::Font::preferredFontForTextStyle(ui::Font::TextStyleBody));
        setLabelFont(ui::Font::preferredFontForTextStyle(ui::Font::TextStyleHeadline));
        setEntryFont(ui::Font::preferredFontForTextStyle(ui::Font::TextStyleBody));
    }
    setBackgroundColorEnabled(ui::Color::whiteColor());
    setBackgroundColorDisabled(ui::Color::whiteColor());
    setLabelAlignment(long(ui::TextAlignment::Left));
    setEntryTextColorEnabled(ui::Color::colorWithRed(0.243, 0.306, 0.435, 1));
    setEntryTextColorDisabled(lightGray);
    setValueColorEnabled(ui::Color::colorWithRed(0.1653, 0.2532, 0.4543, 1));
    setValueColorDisabled(lightGray);
    setValueAlignment(long(ui::TextAlignment::Right));
    setActionColorEnabled(ui::Color::blackColor());
    setActionColorDisabled(lightGray);
    setSectionFooterColor(ui::Color::colorWithRed(0.2417, 0.5295, 0.9396, 1));
    setEntryAlignment(long(ui::TextAlignment::Left));
    setButtonAlignment(long(ui::TextAlignment::Left));
    setSectionTitleShadowColor(ui::Color::clearColor());
    setToolbarTranslucent(true);
    setCellBorderWidth(14);
    setToolbarStyle(0);
}

double FlatAppearance::heightForHeaderInSection(const rt::Ref<Section>& section,
                                                const rt::Ref<ui::TableView>& table, long index) {
    if (section && section->headerView()) return section->headerView()->frame().height();
    return Appearance::heightForHeaderInSection(section, table, index);
}

RT_DEFINE_CLASS(
    Appearance, "FMAppearance", rt::Object,
    rt::prop("labelColorDisabled", &Appearance::labelColorDisabled, &Appearance::setLabelColorDisabled),
    rt::prop("labelColorEnabled", &Appearance::labelColorEnabled, &Appearance::setLabelColorEnabled),
    rt::prop("labelFont", &Appearance::labelFont, &Appearance::setLabelFont),
    rt::prop("backgroundColorEnabled", &Appearance::backgroundColorEnabled,
             &Appearance::setBackgroundColorEnabled),
    rt::prop("backgroundColorDisabled", &Appearance::backgroundColorDisabled,
             &Appearance::setBackgroundColorDisabled),
    rt::prop("labelAlignment", &Appearance::labelAlignment, &Appearance::setLabelAlignment),
    rt::prop("tableGroupedBackgroundColor", &Appearance::tableGroupedBackgroundColor,
             &Appearance::setTableGroupedBackgroundColor),
    rt::prop("tableBackgroundColor", &Appearance::tableBackgroundColor, &Appearance::setTableBackgroundColor),
    rt::prop("tableBackgroundView", &Appearance::tableBackgroundView, &Appearance::setTableBackgroundView),
    rt::prop("tableSeparatorColor", &Appearance::tableSeparatorColor, &Appearance::setTableSeparatorColor),
    rt::prop("entryFont", &Appearance::entryFont, &Appearance::setEntryFont),
    rt::prop("entryTextColorEnabled", &Appearance::entryTextColorEnabled,
             &Appearance::setEntryTextColorEnabled),
    rt::prop("entryTextColorDisabled", &Appearance::entryTextColorDisabled,
             &Appearance::setEntryTextColorDisabled),
    rt::prop("valueColorEnabled", &Appearance::valueColorEnabled, &Appearance::setValueColorEnabled),
    rt::prop("valueColorDisabled", &Appearance::valueColorDisabled, &Appearance::setValueColorDisabled),
    rt::prop("valueFont", &Appearance::valueFont, &Appearance::setValueFont),
    rt::prop("valueAlignment", &Appearance::valueAlignment, &Appearance::setValueAlignment),
    rt::prop("actionColorEnabled", &Appearance::actionColorEnabled, &Appearance::setActionColorEnabled),
    rt::prop("actionColorDisabled", &Appearance::actionColorDisabled, &Appearance::setActionColorDisabled),
    rt::prop("sectionTitleFont", &Appearance::sectionTitleFont, &Appearance::setSectionTitleFont),
    rt::prop("sectionTitleColor", &Appearance::sectionTitleColor, &Appearance::setSectionTitleColor),
    rt::prop("sectionFooterFont", &Appearance::sectionFooterFont, &Appearance::setSectionFooterFont),
    rt::prop("sectionFooterColor", &Appearance::sectionFooterColor, &Appearance::setSectionFooterColor),
    rt::prop("entryAlignment", &Appearance::entryAlignment, &Appearance::setEntryAlignment),
    rt::prop("buttonAlignment", &Appearance::buttonAlignment, &Appearance::setButtonAlignment),
    rt::prop("selectedBackgroundView", &Appearance::selectedBackgroundView,
             &Appearance::setSelectedBackgroundView),
    rt::prop("sectionTitleShadowColor", &Appearance::sectionTitleShadowColor,
             &Appearance::setSectionTitleShadowColor),
    rt::prop("toolbarTranslucent", &Appearance::toolbarTranslucent, &Appearance::setToolbarTranslucent),
    rt::prop("cellBorderWidth", &Appearance::cellBorderWidth, &Appearance::setCellBorderWidth),
    rt::prop("defaultHeightForHeader", &Appearance::defaultHeightForHeader,
             &Appearance::setDefaultHeightForHeader),
    rt::prop("defaultHeightForFooter", &Appearance::defaultHeightForFooter,
             &Appearance::setDefaultHeightForFooter),
    rt::prop("toolbarStyle", &Appearance::toolbarStyle, &Appearance::setToolbarStyle),
    rt::prop("tableGroupedBackgroundView", &Appearance::tableGroupedBackgroundView,
             &Appearance::setTableGroupedBackgroundView),
    rt::method("setDefaults", &Appearance::setDefaults))
RT_DEFINE_CLASS(ClassicAppearance, "FMClassicAppearance", Appearance)
RT_DEFINE_CLASS(FlatAppearance, "FMFlatAppearance", Appearance)

} // namespace fm
