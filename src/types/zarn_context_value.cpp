#include "types/zarn_context_value.h"

#include "types/zarn_exceptions.h"
#include "types/zarn_string.h"

namespace Zarn {

namespace {

const ZarnContext& otherContext(const ZarnValue& other)
{
    const auto* value = dynamic_cast<const ZarnContext*>(&other);
    if (!value)
        throw BadConversion(other.typeName(), other.toLiteral(), "ZarnContext");
    return *value;
}

Assignment declaration(const ZarnValue& name)
{
    return Assignment(name.toString(), nullptr, Assignment::Declare, Assignment::NoFlags);
}

}  // namespace

Context& ZarnContext::nested() const
{
    if (!context)
        throw ZARN_INTERNAL_ERROR();
    return *context;
}

ZarnValuePtr ZarnContext::clone() const
{
    return std::make_shared<ZarnContext>(context);
}

ZarnValuePtr ZarnContext::deepClone() const
{
    return std::make_shared<ZarnContext>(context ? context->deepCopy() : nullptr);
}

ZarnValuePtr ZarnContext::add(const ZarnValue& other) const
{
    if (const auto* value = dynamic_cast<const ZarnContext*>(&other)) {
        ContextPtr copy = nested().deepCopy();
        copy->addAssignments(value->nested());
        return std::make_shared<ZarnContext>(copy);
    }
    if (dynamic_cast<const ZarnString*>(&other)) {
        auto result = std::make_shared<ZarnContext>(context);
        result->resolver = resolver;
        nested().addAssignment(declaration(other), 0);
        return result;
    }
    throw BadConversion(other.typeName(), other.toLiteral(), typeName());
}

void ZarnContext::append(const ZarnValue& other)
{
    if (const auto* value = dynamic_cast<const ZarnContext*>(&other)) {
        nested().addAssignments(value->nested());
        return;
    }
    if (dynamic_cast<const ZarnString*>(&other)) {
        nested().addAssignment(declaration(other), 0);
        return;
    }
    throw BadConversion(other.typeName(), other.toLiteral(), typeName());
}

ZarnValuePtr ZarnContext::get(const AccessKey& key) const
{
    return getVariable(nested().variables, std::get<std::string>(key));
}

std::string ZarnContext::toString() const
{
    std::string text;
    if (!context)
        return text;
    for (const auto& [key, assignment] : context->variables) {
        if (!text.empty())
            text += ' ';
        text += assignment.name;
    }
    return text;
}

ZarnValueIteratorPtr ZarnContext::begin() const
{
    return std::make_unique<Iterator>(context, nested().variables.cbegin());
}

ZarnValueIteratorPtr ZarnContext::end() const
{
    return std::make_unique<Iterator>(context, nested().variables.cend());
}

bool ZarnContext::equals(const ZarnValue& other) const
{
    return context == otherContext(other).context;
}

bool ZarnContext::greaterThan(const ZarnValue& other) const
{
    return nested().variables.size() > otherContext(other).nested().variables.size();
}

bool ZarnContext::lessThan(const ZarnValue& other) const
{
    return nested().variables.size() < otherContext(other).nested().variables.size();
}

void ZarnContext::setResolver(Resolver* newResolver)
{
    resolver = newResolver;
    if (!context)
        return;
    for (auto& [key, assignment] : context->variables)
        if (auto* resolvable = dynamic_cast<Resolvable*>(assignment.value.get()))
            resolvable->setResolver(newResolver);
}

ZarnValuePtr ZarnContext::resolve()
{
    nested().resolveVariables();
    return shared_from_this();
}

ZarnValuePtr ZarnContext::Iterator::current() const
{
    return makeString(position->second.name);
}

bool ZarnContext::Iterator::equals(const IZarnValueIterator& other) const
{
    const auto* iterator = dynamic_cast<const Iterator*>(&other);
    if (!iterator)
        throw ZARN_INTERNAL_ERROR();
    return context == iterator->context && position == iterator->position;
}

}  // namespace Zarn
