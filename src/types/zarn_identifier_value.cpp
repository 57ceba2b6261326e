#include "types/zarn_identifier_value.h"

#include <type_traits>
#include <variant>

#include "types/zarn_exceptions.h"

namespace Zarn {

namespace {

// rangeSeparator: ".." in the text of ${} references, ":" in the language.
std::string identifierForm(const Identifier& identifier, const char* rangeSeparator)
{
    std::string text;
    for (std::size_t i = 0; i < identifier.segments.size(); ++i) {
        const auto& segment = identifier.segments[i];
        if (i > 0)
            text += '.';
        text += segment.name;
        for (const auto& index : segment.indexes) {
            text += '[';
            std::visit(
                [&text, rangeSeparator](const auto& part) {
                    using Part = std::decay_t<decltype(part)>;
                    if constexpr (std::is_same_v<Part, uint64_t>)
                        text += std::to_string(part);
                    else if constexpr (std::is_same_v<Part, std::pair<uint64_t, uint64_t>>)
                        text += std::to_string(part.first) + rangeSeparator + std::to_string(part.second);
                    else
                        text += part ? identifierForm(*part, rangeSeparator) : std::string();
                },
                index);
            text += ']';
        }
    }
    return text;
}

}  // namespace

std::string identifierText(const Identifier& identifier)
{
    return identifierForm(identifier, "..");
}

std::string identifierLiteral(const Identifier& identifier)
{
    return identifierForm(identifier, ":");
}

ZarnValuePtr ZarnIdentifier::clone() const
{
    return std::make_shared<ZarnIdentifier>(identifier);
}

ZarnValuePtr ZarnIdentifier::add(const ZarnValue& other) const
{
    throw BadOperation(toLiteral() + " is not resolved yet and '" + other.toLiteral() + "' cannot be added.");
}

void ZarnIdentifier::append(const ZarnValue& other)
{
    throw BadOperation(toLiteral() + " is not resolved yet and '" + other.toLiteral() +
                       "' cannot be appended to it.");
}

ZarnValueIteratorPtr ZarnIdentifier::begin() const
{
    return std::make_unique<EmptyValueIterator>();
}

ZarnValueIteratorPtr ZarnIdentifier::end() const
{
    return std::make_unique<EmptyValueIterator>();
}

ZarnValuePtr ZarnIdentifier::resolve()
{
    if (!resolver)
        throw NotFoundException("Assignment", toString());
    return resolver->lookup(identifier);
}

}  // namespace Zarn
