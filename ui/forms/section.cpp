#include "ui/forms/section.h"

#include "platform/runtime/class.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "ui/forms/root_element.h"
#include "ui/forms/visible_members.h"

namespace fm {

namespace {

// A centred image view of the application's image of that name (empty when there is none).
rt::Ref<ui::View> sectionImageView(const rt::Ref<ns::String>& name) {
    auto view = rt::make<ui::ImageView>();
    if (name) view->setImage(ui::Image::imageNamed(name->utf8()));
    if (auto image = view->image())
        view->setFrame(cg::Rect::make(0, 0, image->size().width, image->size().height));
    view->setContentMode(ui::ViewContentMode::Center);
    return view;
}

} // namespace

Section::Section() = default;
Section::Section(rt::Ref<ns::String> title) : title_(std::move(title)) {}

// The elements' links to the section are weak: they read nil from here on.
Section::~Section() = default;

rt::Ref<RootElement> Section::rootElement() const {
    return rootElement_.lock();
}

void Section::setRootElement(const rt::Ref<RootElement>& root) {
    rootElement_ = root;
}

void Section::setHeaderView(rt::Ref<ui::View> view) {
    headerView_ = std::move(view);
}

void Section::setFooterView(rt::Ref<ui::View> view) {
    footerView_ = std::move(view);
}

void Section::setHeaderImage(rt::Ref<ns::String> name) {
    headerImage_ = std::move(name);
    setHeaderView(sectionImageView(headerImage_));
}

void Section::setFooterImage(rt::Ref<ns::String> name) {
    footerImage_ = std::move(name);
    setFooterView(sectionImageView(footerImage_));
}

std::size_t Section::visibleIndex() const {
    auto root = rootElement();
    return root ? root->getVisibleIndexForSection(this) : 0;
}

void Section::adopt(const rt::Ref<Element>& element) {
    hasElements_ = true;
    element->setParentSection(rt::retained(this));
}

void Section::addElement(const rt::Ref<Element>& element) {
    if (!element) return;
    adopt(element);
    elements_.push_back(element);
}

void Section::insertElementAtIndex(const rt::Ref<Element>& element, std::size_t index) {
    if (!element) return;
    adopt(element);
    elements_.insert(elements_.begin() + std::ptrdiff_t(std::min(index, elements_.size())), element);
}

void Section::removeAllElements() {
    for (const auto& element : elements_)
        if (element->parentSection().get() == this) element->setParentSection(nullptr);
    elements_.clear();
}

std::size_t Section::indexOfElement(const Element* element) const noexcept {
    for (std::size_t i = 0; i < elements_.size(); ++i)
        if (elements_[i].get() == element) return i;
    return NotFound;
}

rt::Ref<Element> Section::getVisibleElementForIndex(long n) const {
    return visible::at(elements_, n);
}

long Section::visibleNumberOfElements() const noexcept {
    return visible::count(elements_);
}

std::size_t Section::getVisibleIndexForElement(const Element* element) const noexcept {
    return visible::indexOf(elements_, element);
}

void Section::fetchValueIntoObject(const rt::Id& object) const {
    for (const auto& element : elements_)
        element->fetchValueIntoObject(object);
}

RT_DEFINE_CLASS(Section, "FMSection", rt::Object, rt::prop("key", &Section::key, &Section::setKey),
                rt::prop("bind", &Section::bind, &Section::setBind),
                rt::prop("title", &Section::title, &Section::setTitle),
                rt::prop("footer", &Section::footer, &Section::setFooter),
                rt::prop("rootElement", &Section::rootElement, &Section::setRootElement,
                         {.memory = rt::Memory::Weak}),
                rt::prop("needsEditing", &Section::needsEditing),
                rt::prop("headerView", &Section::headerView, &Section::setHeaderView),
                rt::prop("headerImage", &Section::headerImage, &Section::setHeaderImage),
                rt::prop("footerView", &Section::footerView, &Section::setFooterView),
                rt::prop("footerImage", &Section::footerImage, &Section::setFooterImage),
                rt::prop("entryPosition", &Section::entryPosition, &Section::setEntryPosition),
                rt::prop("hidden", &Section::hidden, &Section::setHidden),
                rt::prop("visibleIndex", &Section::visibleIndex),
                rt::prop("canDeleteRows", &Section::canDeleteRows, &Section::setCanDeleteRows),
                rt::prop("object", &Section::object, &Section::setObject),
                rt::method("addElement:", &Section::addElement),
                rt::method("fetchValueIntoObject:", &Section::fetchValueIntoObject))

} // namespace fm
