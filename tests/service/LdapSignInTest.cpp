#include <gtest/gtest.h>

#include <map>

#include "LdapSignIn.h"

TEST(LdapSignIn, ANameTypedAtTheSignInCannotWidenTheSearch) {
    EXPECT_EQ(LdapFilterValue("*)(uid=*"), "\\2a\\29\\28uid=\\2a");
    EXPECT_EQ(LdapFilterValue(std::string("a\\b\0c", 5)), "a\\5cb\\00c");
    EXPECT_EQ(LdapFilterValue("Nina North"), "Nina North");
}

namespace {

// Groups and their members, answering the searches the walk makes; the
// Active Directory rule only where `ad` says so.
struct Groups : LdapLink {
    std::map<std::string, std::vector<std::string>> members;
    bool ad = false;
    int searches = 0;
    bool Search(const std::string&, bool baseOnly, const std::string& filter, const std::vector<std::string>&,
                std::size_t, std::vector<LdapFound>& found, std::string&) override {
        ++searches;
        if (baseOnly) {
            if (ad) found.push_back({"uid=x", {}});
            return true;
        }
        for (const auto& group : members)
            for (const std::string& member : group.second)
                if (filter.find("(member=" + LdapFilterValue(member) + ")") != std::string::npos) {
                    found.push_back({group.first, {}});
                    break;
                }
        return true;
    }
};

}  // namespace

TEST(LdapSignIn, NestedGroupsAreFollowedToTheirDepthAndNoFurther) {
    Groups g;
    g.members["cn=reception"] = {"cn=front desk"};
    g.members["cn=front desk"] = {"cn=mornings", "uid=other"};
    g.members["cn=mornings"] = {"uid=nina", "cn=reception"};  // a loop back up ends, not spins
    EXPECT_TRUE(InLdapGroup(g, "dc=x", "uid=nina", "CN=Reception"));
    EXPECT_FALSE(InLdapGroup(g, "dc=x", "uid=bert", "cn=reception"));
    Groups deep;
    std::string below = "uid=nina";
    for (int level = 0; level <= LdapGroupDepth; ++level) {
        const std::string group = "cn=g" + std::to_string(level);
        deep.members[group] = {below};
        below = group;
    }
    EXPECT_TRUE(InLdapGroup(deep, "dc=x", "uid=nina", "cn=g" + std::to_string(LdapGroupDepth - 1)));
    EXPECT_FALSE(InLdapGroup(deep, "dc=x", "uid=nina", "cn=g" + std::to_string(LdapGroupDepth)));
    Groups ad;
    ad.ad = true;
    EXPECT_TRUE(InLdapGroup(ad, "dc=x", "uid=nina", "cn=reception"));
    EXPECT_EQ(ad.searches, 1) << "Active Directory answers in one search";
}

TEST(LdapSignIn, AnEmptyPasswordIsRefusedBeforeAnyServerIsAsked) {
    LdapSettings settings;
    settings.urls = "ldaps://127.0.0.1:1";  // nobody there: any attempt would be Unreachable
    LdapPerson person;
    std::string error;
    EXPECT_EQ(CheckLdapPassword(settings, "Reception", "nina", "", person, error), LdapVerdict::Wrong);
    EXPECT_EQ(CheckLdapPassword(settings, "Reception", "nina", "x", person, error), LdapVerdict::Unreachable);
    EXPECT_EQ(error.find("\"x\""), std::string::npos);
}
