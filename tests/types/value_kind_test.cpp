#include "types/value_kind.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "types/zarn_context_types.h"

using namespace Zarn;

namespace {

// A value class the fast check does not know: it must fall back on the cast.
class TaggedString : public ZarnString {
public:
    using ZarnString::ZarnString;
};

std::vector<ZarnValuePtr> everyKind()
{
    return {
        std::make_shared<ZarnBaseString>("b"),
        makeString("s"),
        std::make_shared<ZarnRawString>("r"),
        makePathString("p", "."),
        std::make_shared<ZarnInt>(1),
        std::make_shared<ZarnList>(),
        std::make_shared<ZarnIdentifier>(Identifier{{Identifier::Segment{"x", {}}}}),
        std::make_shared<ZarnContext>(std::make_shared<Context>()),
        std::make_shared<TaggedString>("t"),
        nullptr,
    };
}

template <class T>
void expectSameAsCast(const ZarnValuePtr& value)
{
    ZarnValue* mutableValue = value.get();
    const ZarnValue* constValue = value.get();
    EXPECT_EQ(valueAs<T>(mutableValue), dynamic_cast<T*>(mutableValue))
        << (value ? value->typeName() : "null") << " as " << typeid(T).name();
    EXPECT_EQ(valueAs<const T>(constValue), dynamic_cast<const T*>(constValue))
        << (value ? value->typeName() : "null") << " as const " << typeid(T).name();
}

}  // namespace

// Same pointer as dynamic_cast for every pair of value class and target
// class, the cross cast to Resolvable and an unknown subclass included.
TEST(ValueKind, AnswersAsDynamicCastForEveryClassPair)
{
    for (const ZarnValuePtr& value : everyKind()) {
        expectSameAsCast<ZarnBaseString>(value);
        expectSameAsCast<ZarnString>(value);
        expectSameAsCast<ZarnRawString>(value);
        expectSameAsCast<ZarnPathString>(value);
        expectSameAsCast<ZarnInt>(value);
        expectSameAsCast<ZarnList>(value);
        expectSameAsCast<ZarnIdentifier>(value);
        expectSameAsCast<ZarnContext>(value);
        expectSameAsCast<Resolvable>(value);
        expectSameAsCast<TaggedString>(value);
    }
}
