#pragma once
// ft::RootTableViewController ("RootTableViewController"): the root test list. It owns the
// catalogue: the tests this device can run, built once on the first read of `itemList` as the
// automatic group's header row, its items, the manual group's header row and its items. Rows the
// device cannot run are left out by capability checks made at that first build; the tests named
// in the profile file ("functiontest_config.txt" in Documents) start ticked. A header row is a
// mutable dictionary ("name", "list", "btntitle") shared by every item of its group as the item's
// `header`. Main thread only.

#include <string_view>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/uikit/view_controller.h"

namespace ft {

class RootTableViewController : public ui::ViewController {
    RT_CLASS(RootTableViewController)
public:
    // The profile file's name in Documents, and the user default saying whether it gave a key.
    static constexpr const char* kProfileFileName = "functiontest_config.txt";
    static constexpr const char* kHasProfileKey = "hasprofile";
    // The review account: logged in as it, the tests a reviewer cannot judge are left out.
    static constexpr const char* kReviewUserName = "qx_reviewapp";
    // The product name the phone rows' descriptions name.
    static constexpr const char* kProductName = "Quarnotix";

    static rt::Ref<RootTableViewController> make();

    // The catalogue, built on the first call; later calls return the same array.
    rt::Ref<ns::MutableArray> itemList() const;
    void setItemList(rt::Ref<ns::MutableArray> list);
    const rt::Ref<ns::MutableDictionary>& header1Model() const { return header1Model_; }
    void setHeader1Model(rt::Ref<ns::MutableDictionary> header);
    const rt::Ref<ns::MutableDictionary>& header2Model() const { return header2Model_; }
    void setHeader2Model(rt::Ref<ns::MutableDictionary> header);

    // YES when the user default "username" is the review account's name (exactly).
    bool isForAppStoreReview() const;
    // The result keys of the profile file at `path`, in file order: split at ",", each trimmed of
    // white space and line breaks, empty pieces dropped. Writes "hasprofile" (YES when a key was
    // kept) and synchronises the defaults. A missing or non-UTF-8 file gives no keys.
    rt::Ref<ns::Array> parseProfile(const rt::Ref<ns::String>& path);
    // "<Documents>/functiontest_config.txt".
    static std::string profilePath();

protected:
    RootTableViewController() = default;
    // Each header row lists its items and each item holds its header: the list breaks that cycle.
    ~RootTableViewController() override;

private:
    void buildCatalogue();

    rt::Ref<ns::MutableArray> itemList_;
    rt::Ref<ns::MutableDictionary> header1Model_, header2Model_;
};

} // namespace ft
