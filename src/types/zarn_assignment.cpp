#include "types/zarn_context_types.h"

#include "types/zarn_exceptions.h"

namespace Zarn {

Assignment::Assignment(std::string name, ZarnValuePtr value, AssignType type, uint32_t flags)
    : name(std::move(name)), value(std::move(value)), type(type), flags(flags)
{
}

const char* Assignment::operatorText(uint32_t type)
{
    switch (type) {
    case Set:
        return " = ";
    case Append:
        return " += ";
    case SetIfUnset:
        return " ?= ";
    case Declare:
        return " : ";
    default:
        return "";
    }
}

std::string Assignment::toString() const
{
    // A declaration without a value is the bare name, which reads back as one.
    if (type == Declare && !value)
        return name;
    std::string text = name;
    text += operatorText(type);
    if (value)
        text += value->toLiteral();
    return text;
}

ZarnValuePtr Assignment::setValue(ZarnValuePtr newValue)
{
    ZarnValuePtr previous = std::move(value);
    value = std::move(newValue);
    resolved = false;
    return previous;
}

bool Assignment::operator==(const Assignment& other) const
{
    if (!Util::ciEqual(name, other.name))
        return false;
    if (value == other.value)
        return true;
    if (!value || !other.value)
        return false;
    // Values of unlike kinds refuse to compare; they simply differ.
    try {
        return value->equals(*other.value);
    } catch (const ZarnException&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

Assignment makeAssignment(const AssignmentInit& init)
{
    return Assignment(init.name, init.value, init.type, init.flags);
}

AssignmentException::AssignmentException(const Assignment& existing, const Assignment& incoming)
    : message("Attempted to modify assignment: " + existing.toString() + " with " + incoming.toString())
{
}

}  // namespace Zarn
