// Rewriting the plain members of nested lists and blocks.

#include "test_support.h"
#include "types/value_kind.h"
#include "types/value_members.h"

using namespace TestSupport;
using namespace Zarn;

namespace {

// Each string upper-cased; other members as they are.
ZarnValuePtr shout(const ZarnValuePtr& value)
{
    return mapPlainMembers(value, [](const ZarnValuePtr& member) -> ZarnValuePtr {
        if (!valueAs<const ZarnString>(member.get()))
            return member;
        std::string text = member->toString();
        for (char& c : text)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return str(text);
    });
}

}  // namespace

TEST(MapPlainMembersTest, ReachesEveryMemberAndLeavesTheOriginalAlone)
{
    const ZarnValuePtr nested = list({str("a"), integer(1), block({set("x", list({str("b")})), set("n", integer(2))})});
    const std::string before = nested->toLiteral();
    const ZarnValuePtr mapped = shout(nested);
    EXPECT_EQ(nested->toLiteral(), before);
    const auto* members = valueAs<const ZarnList>(mapped.get());
    ASSERT_NE(members, nullptr);
    ASSERT_EQ(members->size(), 3u);
    EXPECT_EQ(members->getMembers()[0]->toString(), "A");
    EXPECT_EQ(members->getMembers()[1]->toString(), "1");
    const auto* inner = valueAs<const ZarnContext>(members->getMembers()[2].get());
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->getContext()->variables.at(Util::CiString("x")).value->toLiteral(), "[ \"B\" ]");
    EXPECT_EQ(inner->getContext()->variables.at(Util::CiString("n")).value->toString(), "2");
    // A plain value is a member of its own; null stays null.
    EXPECT_EQ(shout(str("c"))->toString(), "C");
    EXPECT_EQ(shout(nullptr), nullptr);
}
