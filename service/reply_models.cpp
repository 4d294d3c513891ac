#include "service/reply_models.h"

#include "platform/foundation/user_defaults.h"
#include "platform/runtime/observation.h"

RT_DEFINE_CLASS(ft::LoginModel, "FTLoginModel", jm::Model,
                rt::prop("loginid", &ft::LoginModel::loginid, &ft::LoginModel::setLoginid),
                rt::prop("company", &ft::LoginModel::company, &ft::LoginModel::setCompany),
                rt::prop("site", &ft::LoginModel::site, &ft::LoginModel::setSite))

RT_DEFINE_CLASS(ft::QuerySNModel, "FTQuerySNModel", jm::Model,
                rt::prop("productid", &ft::QuerySNModel::productid, &ft::QuerySNModel::setProductid,
                         {.memory = rt::Memory::Copy}),
                rt::prop("solutionid", &ft::QuerySNModel::solutionid, &ft::QuerySNModel::setSolutionid,
                         {.memory = rt::Memory::Copy}))

namespace ft {

namespace {

template <class T>
rt::Ref<T> storedModel() {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    return rt::cast<T>(defaults->unarchivedObjectForKey(T::kDefaultsKey, {&T::staticClass()}));
}

bool storeModel(const jm::Model& model, const char* key) {
    return ns::UserDefaults::standardUserDefaults()->setArchivedObjectForKey(rt::retained(&model), key);
}

} // namespace

void LoginModel::setLoginid(std::int64_t v) {
    rt::KeyChange change(this, "loginid");
    loginid_ = v;
}

void LoginModel::setCompany(std::int64_t v) {
    rt::KeyChange change(this, "company");
    company_ = v;
}

void LoginModel::setSite(rt::Ref<ns::Number> v) {
    rt::KeyChange change(this, "site");
    site_ = std::move(v);
}

rt::Ref<LoginModel> LoginModel::stored() {
    return storedModel<LoginModel>();
}

bool LoginModel::store() const {
    return storeModel(*this, kDefaultsKey);
}

void QuerySNModel::setProductid(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "productid");
    productid_ = std::move(v);
}

void QuerySNModel::setSolutionid(rt::Ref<ns::String> v) {
    rt::KeyChange change(this, "solutionid");
    solutionid_ = std::move(v);
}

rt::Ref<QuerySNModel> QuerySNModel::stored() {
    return storedModel<QuerySNModel>();
}

bool QuerySNModel::store() const {
    return storeModel(*this, kDefaultsKey);
}

} // namespace ft
