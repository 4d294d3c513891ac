#pragma once
// Sections whose rows come from data or can be rearranged.
//
// fm::DynamicDataSection ("FMDynamicDataSection"): rows built from a bound collection. It starts
// with one spinner row; binding replaces that with the built rows, or, when the collection named
// by its own "iterate" pair is empty, one fm::EmptyListElement with emptyMessage, or, with no
// collection yet and showLoading set (by key only, as from a form file), the spinner again.
//
// fm::SortingSection ("FMSortingSection"): rows the user reorders (and, with canDeleteRows,
// deletes) in the table's editing mode, which it asks for while sortingEnabled. Read back, it
// stores its elements' keys in their current order under its own key (keyless elements left out).

#include "ui/forms/section.h"

namespace fm {

class DynamicDataSection : public Section {
    RT_CLASS(DynamicDataSection)
public:
    const rt::Ref<ns::String>& emptyMessage() const noexcept { return emptyMessage_; }
    void setEmptyMessage(rt::Ref<ns::String> message) { emptyMessage_ = std::move(message); }

    void bindToObjectWithString(const rt::Id& data, const rt::Ref<ns::String>& binding) override;

protected:
    DynamicDataSection();
    // The plain section's title initialiser: no spinner row, no empty message.
    explicit DynamicDataSection(rt::Ref<ns::String> title);
    ~DynamicDataSection() override;

private:
    // Key-value coding only ("showLoading").
    bool showLoading() const noexcept { return showLoading_; }
    void setShowLoading(bool show) noexcept { showLoading_ = show; }

    rt::Ref<ns::String> emptyMessage_;
    bool showLoading_ = false;
};

class SortingSection : public Section {
    RT_CLASS(SortingSection)
public:
    bool sortingEnabled() const noexcept { return sortingEnabled_; }
    void setSortingEnabled(bool enabled) noexcept { sortingEnabled_ = enabled; }

    bool needsEditing() const override { return sortingEnabled_; }
    bool acceptsRowMoves() const override { return true; }
    bool canRemoveElementForRow(std::size_t index) const override;
    void fetchValueIntoObject(const rt::Id& object) const override;

protected:
    SortingSection() = default;
    ~SortingSection() override;

private:
    bool sortingEnabled_ = true;
};

} // namespace fm
