// A reference to a variable that is not looked up yet.
#pragma once

#include <string>

#include "types/identifier_parser.h"
#include "types/zarn_value.h"

namespace Zarn {

// The text form of an identifier: a.b[1][2..3][c.d].
std::string identifierText(const Identifier& identifier);
// The same as the build language writes it: a.b[1][2:3][c.d].
std::string identifierLiteral(const Identifier& identifier);

class ZarnIdentifier : public ZarnValue, public Resolvable {
public:
    explicit ZarnIdentifier(Identifier identifier) : identifier(std::move(identifier)) {}

    ZarnValuePtr clone() const override;
    // Both refuse with BadOperation: there is nothing to combine yet.
    ZarnValuePtr add(const ZarnValue& other) const override;
    void append(const ZarnValue& other) override;
    std::string toString() const override { return identifierText(identifier); }
    std::string toLiteral() const override { return identifierLiteral(identifier); }
    // An unresolved reference has no members.
    ZarnValueIteratorPtr begin() const override;
    ZarnValueIteratorPtr end() const override;
    // Equal to everything and ordered against nothing.
    bool equals(const ZarnValue&) const override { return true; }
    bool greaterThan(const ZarnValue&) const override { return false; }
    bool lessThan(const ZarnValue&) const override { return false; }
    std::string typeName() const override { return "ZarnIdentifier"; }

    // The value the resolver gives for the identifier; without a resolver
    // the lookup fails like one of a missing variable.
    ZarnValuePtr resolve() override;

private:
    Identifier identifier;
};

}  // namespace Zarn
