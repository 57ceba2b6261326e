// The variable model: assignments, contexts of assignments with conditions,
// the templates they are made from, and the context of one target instance.
#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "types/ci_string.h"
#include "types/identifier_parser.h"
#include "types/qualified_target_name.h"
#include "types/zarn_dependency.h"
#include "types/zarn_value.h"

namespace Zarn {

class Context;
class ContextTemplate;
using ContextPtr = std::shared_ptr<Context>;

// Set while an assignment's value is being resolved, so that a reference back
// to it is reported as a cycle instead of recursing without end. A copy of an
// assignment is not being resolved, so the mark is never copied.
class ResolvingMark {
public:
    ResolvingMark() = default;
    ResolvingMark(const ResolvingMark&) noexcept {}
    ResolvingMark& operator=(const ResolvingMark&) noexcept { return *this; }

    bool isSet() const { return set; }

private:
    friend class ResolvingGuard;
    bool set = false;
};

// A named value with its operator.
struct Assignment {
    enum AssignType : uint32_t {
        Set = 1,         // " = "
        Append = 2,      // " += "
        SetIfUnset = 3,  // " ?= "
        Declare = 4,     // " : ", the name without (or with a cleared) value
    };

    // Values of the flags word.
    static constexpr uint32_t NoFlags = 0;
    static constexpr uint32_t OutputFlag = 1;  // written "^"
    static constexpr uint32_t ToolFlag = 2;    // written "!"

    bool resolved = false;  // value is the memoised result of resolveAssignment
    std::string name;       // as first written
    ZarnValuePtr value;     // may be null: declared without a value
    AssignType type = Set;
    uint32_t flags = NoFlags;
    ResolvingMark resolving;

    Assignment() = default;
    Assignment(std::string name, ZarnValuePtr value, AssignType type, uint32_t flags = NoFlags);

    // The assignment text: name, operator text, value literal.
    std::string toString() const;
    // " = ", " += ", " ?= " or " : "; "" for a type outside 1 to 4.
    static const char* operatorText(uint32_t type);

    // Stores a new value, clears the resolved mark, returns the old value.
    ZarnValuePtr setValue(ZarnValuePtr newValue);

    // Names equal ignoring case and values equal (same object, or equals()).
    // Values that cannot be compared (unlike kinds) make the assignments
    // unequal; this never throws.
    bool operator==(const Assignment& other) const;
    bool operator!=(const Assignment& other) const { return !(*this == other); }
};

// Record of the built-in variable tables.
struct AssignmentInit {
    std::string name;
    ZarnValuePtr value;
    Assignment::AssignType type = Assignment::Set;
    uint32_t flags = Assignment::NoFlags;
};

// The value is shared, not cloned.
Assignment makeAssignment(const AssignmentInit& init);

// A merge that cannot be made (an operator outside 1 to 4).
class AssignmentException : public std::exception {
public:
    AssignmentException(const Assignment& existing, const Assignment& incoming);
    const char* what() const noexcept override { return message.c_str(); }

    std::string message;
};

// One "if" block. Copies share the operands and the nested template.
struct Condition {
    enum OperatorType : uint32_t {
        Equal = 1,    // "="
        NotEqual = 2, // "!="
        Less = 3,     // "<"
        Greater = 4,  // ">"
        Test = 5,     // bare test of a name
    };

    ZarnValuePtr lhs;  // the identifier value after "if"
    ZarnValuePtr rhs;  // null for a bare test
    OperatorType op = Test;
    std::shared_ptr<ContextTemplate> context;  // applied when the condition holds
};

// The parsed, never evaluated form from which contexts are made.
class ContextTemplate {
public:
    ContextTemplate() = default;
    explicit ContextTemplate(std::vector<Assignment> assignments);
    ContextTemplate(std::vector<Assignment> assignments, std::vector<Condition> conditions);
    ContextTemplate(const ContextTemplate&) = default;
    ContextTemplate(ContextTemplate&&) = default;
    ContextTemplate& operator=(const ContextTemplate&) = default;
    ContextTemplate& operator=(ContextTemplate&&) = default;
    virtual ~ContextTemplate() = default;

    // A new context owning deep clones of this template's values.
    virtual ContextPtr createContext() const;

    std::vector<Condition> conditions;    // in source order
    std::vector<Assignment> assignments;  // in source order
};

// The definition of one target of a unit.
class Target : public ContextTemplate {
public:
    QualifiedTargetName name;
    std::vector<std::string> parameterNames;
    std::vector<Dependency> dependencies;  // in source order
};

using VariableMap = std::map<Util::CiString, Assignment>;

// A scope of assignments keyed by case-insensitive names, with conditions.
// It is the resolver of the values bound to it: those values hold a plain
// pointer to it, so a context must outlive the values bound to it.
class Context : public Resolver, public std::enable_shared_from_this<Context> {
public:
    Context() = default;
    // The template constructor: values are deep-cloned, then merged in order.
    Context(const std::vector<Assignment>& assignments, const std::vector<Condition>& conditions);
    // Shares the values and operands with the source and does not rebind
    // them: they still resolve through the source.
    Context(const Context& other);
    Context& operator=(const Context& other);
    // The source gives up its values, so they are rebound to this context.
    Context(Context&& other) noexcept;
    Context& operator=(Context&& other) noexcept;
    virtual ~Context() = default;

    // The resolved value the identifier names here.
    ZarnValuePtr lookup(const Identifier& identifier) override;

    // Prints "{", one assignment text per variable, "}" and an empty line.
    virtual void print(int level) const;

    // Adds or merges one assignment by its operator; mode 1 also copies the
    // flags. The resulting value is bound to this context.
    void addAssignment(const Assignment& assignment, uint32_t mode = 0);
    // Every variable of the other context, deep-cloned, merged with mode 0.
    void addAssignments(const Context& other);
    // Appends the other context's conditions with deep-cloned operands.
    void addConditions(const Context& other);
    // Merges each assignment into a list variable; binds nothing.
    void appendToLists(const std::vector<Assignment>& assignments);
    // Resolves every variable in name order.
    void resolveVariables();

    // The assignment that a key chain ending in a name denotes.
    Assignment& getAssignment(const KeyChain& keys);
    // Applies the conditions that hold; call once per context.
    void evaluateConditions();
    // Merges every variable of the other context (deep-cloned); override 0
    // keeps each assignment's own operator. Returns the assignments that
    // failed with BadOperation.
    std::vector<Assignment> addImplicitContext(const Context& other, uint32_t typeOverride,
                                               bool withConditions, uint32_t mode);

    // A new context with deep clones of every value and condition operand,
    // bound to the new context. Nothing is shared with this one.
    ContextPtr deepCopy() const;

    std::vector<Condition> conditions;
    VariableMap variables;  // in case-insensitive name order

protected:
    // Points every resolvable value and operand at this context.
    void rebindAll();

private:
    Assignment& findAssignment(const KeyChain& keys, ContextPtr& keepAlive);
    ZarnValuePtr lookupIndexed(const KeyChain& keys);
};

// The context of one target instance being built.
class TargetContext : public Context {
public:
    TargetContext(const QualifiedTargetName& name, const std::vector<std::string>& parameterNames,
                  const std::vector<ZarnValuePtr>& parameterValues,
                  const std::vector<Assignment>& assignments, const std::vector<Condition>& conditions,
                  const std::vector<Dependency>& dependencies);
    // From a target's definition.
    TargetContext(const Target& target, const QualifiedTargetName& name,
                  const std::vector<ZarnValuePtr>& parameterValues);
    // No variables; the qualified name and parameter text of a build job.
    TargetContext(const QualifiedTargetName& name, std::string parameterText);
    // Copies the variables (shared, like a Context copy), the qualified name,
    // the parameter text and the inherited names; the dependency list stays
    // empty.
    TargetContext(const TargetContext& other);
    // Takes everything, dependencies included; the values are rebound to
    // this context, as a moved Context's are.
    TargetContext(TargetContext&& other) noexcept;
    TargetContext& operator=(const TargetContext&) = delete;

    void print(int level) const override;

    // FNV-1a 64 of the parameter text, 16 lower-case hex digits; "" without
    // parameters.
    std::string parameterHash() const;
    // [project "/"][unit "::"]target["@" parameterHash]: the cache key.
    std::string key() const;

    QualifiedTargetName name;
    std::vector<Dependency> dependencies;
    // The parameter values' texts joined by the byte 0x1F, so that different
    // splits of the same characters give different texts.
    std::string parameterText;
    // The names of the variables that the target took from what it starts
    // from (the project's or the profile's variables, the tool's defaults)
    // and does not assign itself; its parameters are its own. Empty when
    // nobody recorded them: then every variable counts as its own.
    std::set<Util::CiString> inheritedNames;
    // Of the variables that the target assigns a value itself, those that
    // what it starts from (a profile, the command line) declares bare: their
    // being bare is inherited, so none is a bare declaration of its own.
    std::set<Util::CiString> inheritedBareNames;
};

// Memoised resolution of one assignment; throws ZarnException on a
// reference cycle.
ZarnValuePtr resolveAssignment(Assignment& assignment);

// The resolved value through the resolver the value is bound to; a value
// that is not resolvable (or null) is returned as it is.
ZarnValuePtr resolveValue(const ZarnValuePtr& value);

// Free operations on a variable map.
bool hasVariable(const VariableMap& variables, const std::string& name);
// Throws NotFoundException("Variable", name) for a missing name.
ZarnValuePtr getVariable(const VariableMap& variables, const std::string& name);
// The value's text; the default when missing or without a value.
std::string getStringOr(const VariableMap& variables, const std::string& name,
                        const std::string& defaultText);
std::string getString(const VariableMap& variables, const std::string& name);

inline bool hasVariable(const Context& context, const std::string& name)
{
    return hasVariable(context.variables, name);
}
inline ZarnValuePtr getVariable(const Context& context, const std::string& name)
{
    return getVariable(context.variables, name);
}
inline std::string getStringOr(const Context& context, const std::string& name,
                               const std::string& defaultText)
{
    return getStringOr(context.variables, name, defaultText);
}
inline std::string getString(const Context& context, const std::string& name)
{
    return getString(context.variables, name);
}

}  // namespace Zarn
