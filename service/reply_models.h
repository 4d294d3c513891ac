#pragma once
// The service's reply models, filled from the replies by jm::Model (JSON keys = property names)
// and stored in the user defaults as keyed archives:
//   ft::LoginModel   ("FTLoginModel")   the auth reply     {"loginid": 7, "company": 3, "site": 12}
//                                       under "logininfo"
//   ft::QuerySNModel ("FTQuerySNModel") the feature reply  {"productid": "P1", "solutionid": "S1"}
//                                       under "querysn"
// `stored()` reads the archive back, checking its class: an absent value, bytes that are no
// archive, or an archive of anything else reads as nil. `store()` writes it (false when it cannot).

#include <cstdint>

#include "model/json/model.h"
#include "platform/foundation/string.h"
#include "platform/runtime/number.h"

namespace ft {

class LoginModel : public jm::Model {
    RT_CLASS(LoginModel)
public:
    static constexpr const char* kDefaultsKey = "logininfo";

    std::int64_t loginid() const { return loginid_; }
    void setLoginid(std::int64_t v);
    std::int64_t company() const { return company_; }
    void setCompany(std::int64_t v);
    const rt::Ref<ns::Number>& site() const { return site_; }
    void setSite(rt::Ref<ns::Number> v);

    static rt::Ref<LoginModel> stored();
    bool store() const;

protected:
    LoginModel() = default;

private:
    std::int64_t loginid_ = 0, company_ = 0;
    rt::Ref<ns::Number> site_;
};

class QuerySNModel : public jm::Model {
    RT_CLASS(QuerySNModel)
public:
    static constexpr const char* kDefaultsKey = "querysn";

    const rt::Ref<ns::String>& productid() const { return productid_; }
    void setProductid(rt::Ref<ns::String> v);
    const rt::Ref<ns::String>& solutionid() const { return solutionid_; }
    void setSolutionid(rt::Ref<ns::String> v);

    static rt::Ref<QuerySNModel> stored();
    bool store() const;

protected:
    QuerySNModel() = default;

private:
    rt::Ref<ns::String> productid_, solutionid_;
};

} // namespace ft
