// The demo data tells one story: what one list says of a thing another list says too (the
// same order number, friend, date and amount), what the service offers it also takes, and
// each list holds what its name says. Every row reads the demo user's data as the screens
// read it and checks one rule over it.
#include <functional>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class DemoStoryTest : public ServiceTest {
protected:
    void SetUp() override { cookie = login(kServiceTestUserName, kServiceTestUserPassword); }

    // Every row of an enciphered list of the demo user (`order`, `getUserDetailed`, `msg`),
    // page after page until the one marked last.
    json desList(const std::string& op, const json& fields) const {
        json rows = json::array();
        for (int number = 1; number <= 50; ++number) {
            json ask = fields;
            ask["id"] = kServiceTestUserId;
            ask["number"] = std::to_string(number);
            json reply = signedDes(op, ask, nullptr, cookie);
            if (!reply.contains("data") || !reply["data"].is_string()) break;
            json page = json::parse(decipher(reply["data"]), nullptr, false);
            if (!page.is_array()) break;
            for (auto& row : page) rows.push_back(row);
            if (reply.value("end", 0) == 1 || page.empty()) break;
        }
        return rows;
    }

    // Every row of a JSON list of the demo user (`invite_info`, `old_invite_info`).
    json jsonList(const std::string& op, int pageSize) const {
        json rows = json::array();
        for (int number = 1; number <= 50; ++number) {
            json reply = signedJson(op,
                                    {{"uid", kServiceTestUserId},
                                     {"number", std::to_string(number)},
                                     {"ps", std::to_string(pageSize)}},
                                    cookie);
            if (!reply.contains("data") || !reply["data"].is_array()) break;
            for (auto& row : reply["data"]) rows.push_back(row);
            if (reply.value("end", 0) == 1 || reply["data"].empty()) break;
        }
        return rows;
    }

    std::string cookie;
};

struct StoryRule {
    const char* rule;
    std::function<void()> check;
};

TEST_F(DemoStoryTest, TheDemoDataAgreesWithItselfAndWithWhatTheServiceTakes) {
    const std::vector<StoryRule> rules = {
        // The demo user's records: withdrawals, messages, coupons, invitations, income.

        // Goods, lists and pages.
    };
    for (const StoryRule& r : rules) {
        SCOPED_TRACE(r.rule);
        r.check();
    }
}

}  // namespace
}  // namespace zvt::test::svc
