// The 32-bit signed integer value.
#pragma once

#include <cstdint>

#include "types/zarn_value.h"

namespace Zarn {

class ZarnInt : public ZarnValue {
public:
    explicit ZarnInt(int32_t value) : value(value) {}

    ZarnValuePtr clone() const override;
    // Sums wrap as 32-bit two's complement.
    ZarnValuePtr add(const ZarnValue& other) const override;
    void append(const ZarnValue& other) override;
    std::string toString() const override;
    std::string toLiteral() const override { return toString(); }
    // An integer has no members: begin equals end.
    ZarnValueIteratorPtr begin() const override;
    ZarnValueIteratorPtr end() const override;
    // Unlike strings, an integer refuses to compare with another kind.
    bool equals(const ZarnValue& other) const override;
    bool greaterThan(const ZarnValue& other) const override;
    bool lessThan(const ZarnValue& other) const override;
    std::string typeName() const override { return "ZarnInt"; }

    int32_t getValue() const { return value; }

    class Iterator : public IZarnValueIterator {
    public:
        explicit Iterator(int32_t value) : value(value) {}
        void next() override {}
        ZarnValuePtr current() const override;
        bool equals(const IZarnValueIterator& other) const override;

    private:
        int32_t value;
    };

private:
    // The other integer, or BadConversion naming this value first.
    int32_t otherValue(const ZarnValue& other) const;

    int32_t value;
};

}  // namespace Zarn
