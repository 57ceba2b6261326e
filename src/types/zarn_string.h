// The string values: the base string, the expanding string and the raw string.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "types/zarn_value.h"

namespace Zarn {

// True when the text can be written as R"(text)" and read back unchanged:
// the raw form ends at the first )", so the text must not hold one.
bool hasRawLiteralForm(const std::string& text);

class ZarnBaseString : public ZarnValue, public std::enable_shared_from_this<ZarnBaseString> {
public:
    explicit ZarnBaseString(std::string text) : text(std::move(text)) {}

    ZarnValuePtr clone() const override;
    ZarnValuePtr add(const ZarnValue& other) const override;
    void append(const ZarnValue& other) override;
    ZarnValuePtr get(const AccessKey& key) const override;
    std::string toString() const override { return text; }
    // Quoted; a text holding a double quote takes the raw form, which is
    // never expanded when read back.
    std::string toLiteral() const override;
    ZarnValueIteratorPtr begin() const override;
    ZarnValueIteratorPtr end() const override;
    bool equals(const ZarnValue& other) const override;
    bool greaterThan(const ZarnValue& other) const override;
    bool lessThan(const ZarnValue& other) const override;
    std::string typeName() const override { return "ZarnBaseString"; }
    bool hasLiteralForm() const override;

    // The text that indexing, walking and comparing work on.
    virtual std::string getText() const { return text; }
    // A new value of this object's own class holding the text; it carries
    // this value's final mark.
    virtual ZarnValuePtr createFromString(std::string newText) const;

    // A final text came out of resolution (or names a real file): it is
    // never expanded again, so "#1", "${" or "*" inside it stay as they are.
    bool isFinal() const { return final; }
    void setFinal(bool isFinalText) { final = isFinalText; }

    // Walks the whitespace-separated words of the owner's getText.
    class Iterator : public IZarnValueIterator {
    public:
        Iterator(std::shared_ptr<const ZarnBaseString> owner, bool atEnd);
        void next() override;
        ZarnValuePtr current() const override;
        bool equals(const IZarnValueIterator& other) const override;

    private:
        std::shared_ptr<const ZarnBaseString> owner;
        std::string words;
        std::size_t wordStart = 0;
        std::size_t wordEnd = 0;
    };

protected:
    // The literal in the raw form R"(...)", or with plain quotes when the
    // text has no raw form (hasLiteralForm then reports it).
    std::string rawLiteral() const;

    std::string text;
    bool final = false;
};

// The string whose ${...} and #{...} references expand when it is resolved.
class ZarnString : public ZarnBaseString, public Resolvable {
public:
    explicit ZarnString(std::string text) : ZarnBaseString(std::move(text)) {}

    std::string typeName() const override { return "ZarnString"; }
    // Without one pair of enclosing double quotes.
    std::string getText() const override;
    ZarnValuePtr createFromString(std::string newText) const override;
    // Expands the references and writes the expansion back as this string's
    // own (final) text; returns a new string, or a list after a cross
    // expansion. A final string is returned as a copy, unexpanded.
    ZarnValuePtr resolve() override;

    // The first bytes of the text came from the file system (a project's
    // directory): they are never expanded, whatever they hold. A string made
    // from another text keeps the mark when that text starts the same way.
    void setVerbatimPrefix(std::size_t length) { verbatimPrefix = length; }
    std::size_t getVerbatimPrefix() const { return verbatimPrefix; }

protected:
    // The expansion behind resolve, for a string that is not final.
    ZarnValuePtr expand();

private:
    std::size_t verbatimPrefix = 0;
};

// A string that is never expanded.
class ZarnRawString : public ZarnBaseString {
public:
    explicit ZarnRawString(std::string text) : ZarnBaseString(std::move(text)) {}

    std::string toLiteral() const override { return rawLiteral(); }
    std::string typeName() const override { return "ZarnRawString"; }
    bool hasLiteralForm() const override { return hasRawLiteralForm(text); }
    ZarnValuePtr createFromString(std::string newText) const override;
};

// A new, unresolved ZarnString with the text and no resolver.
ZarnValuePtr makeString(std::string&& text);
ZarnValuePtr makeString(const std::string& text);
ZarnValuePtr makeString(const char* text);

// A final string whose whole text was taken from the file system (a
// directory's name): never expanded, and never a wildcard pattern.
ZarnValuePtr makeFileSystemText(const std::string& text);

// True when the value's text needs no further expansion: final strings,
// integers, and lists of such values.
bool isFinalText(const ZarnValue& value);

// Marks every string in the value (list members included) final.
void markFinal(const ZarnValuePtr& value);

}  // namespace Zarn
