// The reply models stored in the user defaults: filled from replies, read back across a restart
// of the defaults, and read as missing whenever the stored value is not their own archive.

#include <gtest/gtest.h>

#include "platform/foundation/data.h"
#include "platform/foundation/json.h"
#include "platform/foundation/user_defaults.h"
#include "service/reply_models.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

using ReplyModels = testkit::AppTest;

rt::Id parseJSON(std::string_view json) {
    return ns::JSONSerialization::JSONObjectWithData(json);
}

TEST_F(ReplyModels, ArchivesSurviveARestartOfTheDefaults) {
    auto login = jm::Model::modelOfClass<ft::LoginModel>(
        parseJSON(R"({"status": 1, "loginid": 7, "company": 3, "site": 12})"));
    auto query = jm::Model::modelOfClass<ft::QuerySNModel>(
        parseJSON(R"({"status": 1, "features": ["WIFI"], "productid": "P1", "solutionid": "S1"})"));
    ASSERT_TRUE(login && query);
    ASSERT_TRUE(login->store());
    ASSERT_TRUE(query->store());
    ASSERT_TRUE(ns::UserDefaults::standardUserDefaults()->synchronize());
    ns::UserDefaults::resetStandardUserDefaults();

    auto storedLogin = ft::LoginModel::stored();
    ASSERT_TRUE(storedLogin);
    EXPECT_EQ(storedLogin->loginid(), 7);
    EXPECT_EQ(storedLogin->company(), 3);
    ASSERT_TRUE(storedLogin->site());
    EXPECT_EQ(storedLogin->site()->longValue(), 12);
    auto storedQuery = ft::QuerySNModel::stored();
    ASSERT_TRUE(storedQuery);
    EXPECT_EQ(storedQuery->productid()->utf8(), "P1");
    EXPECT_EQ(storedQuery->solutionid()->utf8(), "S1");
}

TEST_F(ReplyModels, AnythingButTheirOwnArchiveReadsAsMissing) {
    auto defaults = ns::UserDefaults::standardUserDefaults();
    EXPECT_FALSE(ft::LoginModel::stored());
    EXPECT_FALSE(ft::QuerySNModel::stored());

    // Random bytes, text, and an archive of the other model under each key.
    const unsigned char noise[] = {0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x00, 0xff, 0x13, 0x37};
    defaults->setObjectForKey(ns::Data::make(noise, sizeof noise), ft::LoginModel::kDefaultsKey);
    defaults->setString("P1", ft::QuerySNModel::kDefaultsKey);
    EXPECT_FALSE(ft::LoginModel::stored());
    EXPECT_FALSE(ft::QuerySNModel::stored());

    auto query = jm::Model::modelOfClass<ft::QuerySNModel>(parseJSON(R"({"productid": "P1"})"));
    auto login = jm::Model::modelOfClass<ft::LoginModel>(parseJSON(R"({"loginid": 1})"));
    ASSERT_TRUE(query && login);
    defaults->setArchivedObjectForKey(query, ft::LoginModel::kDefaultsKey);
    defaults->setArchivedObjectForKey(login, ft::QuerySNModel::kDefaultsKey);
    EXPECT_FALSE(ft::LoginModel::stored());
    EXPECT_FALSE(ft::QuerySNModel::stored());
}

TEST_F(ReplyModels, AReplyOfTheWrongShapeMakesNoModel) {
    EXPECT_FALSE(jm::Model::modelOfClass<ft::LoginModel>(parseJSON(R"({"loginid": "7", "company": 3})")));
    EXPECT_FALSE(jm::Model::modelOfClass<ft::LoginModel>(parseJSON(R"({"loginid": 7, "site": "12"})")));
    EXPECT_FALSE(jm::Model::modelOfClass<ft::QuerySNModel>(parseJSON(R"({"productid": 1})")));
    EXPECT_FALSE(jm::Model::modelOfClass<ft::QuerySNModel>(parseJSON(R"([{"productid": "P1"}])")));
}

} // namespace
