#include "types/zarn_string.h"
#include "types/value_kind.h"

#include <cctype>

#include "types/ci_string.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_int.h"
#include "types/zarn_list.h"

namespace Zarn {

namespace {

bool isSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The text a string gains from another value, or BadConversion naming the
// other value first. Strings are separated by a blank only when appending.
std::string textToCombine(const ZarnBaseString& self, const ZarnValue& other, bool appending)
{
    if (const auto* string = valueAs<const ZarnBaseString>(&other))
        return appending ? " " + string->toString() : string->toString();
    if (const auto* number = valueAs<const ZarnInt>(&other))
        return number->toString();
    if (const auto* list = valueAs<const ZarnList>(&other))
        return " " + list->toString();
    throw BadConversion(other.typeName(), other.toLiteral(), self.typeName());
}

}  // namespace

bool hasRawLiteralForm(const std::string& text)
{
    return text.find(")\"") == std::string::npos;
}

ZarnValuePtr ZarnBaseString::clone() const
{
    return createFromString(text);
}

ZarnValuePtr ZarnBaseString::add(const ZarnValue& other) const
{
    auto result = createFromString(text + textToCombine(*this, other, false));
    static_cast<ZarnBaseString&>(*result).final = final && isFinalText(other);
    return result;
}

void ZarnBaseString::append(const ZarnValue& other)
{
    // The operand's text is taken before this one changes: it may be this.
    std::string tail = textToCombine(*this, other, true);
    final = final && isFinalText(other);
    text += tail;
}

ZarnValuePtr ZarnBaseString::get(const AccessKey& key) const
{
    if (const auto* index = std::get_if<int64_t>(&key)) {
        if (*index < 0 || static_cast<uint64_t>(*index) >= text.size())
            throw IndexException(toLiteral(), key);
        return createFromString(text.substr(static_cast<std::size_t>(*index), 1));
    }
    if (const auto* range = std::get_if<AccessRange>(&key)) {
        // The end is exclusive and the step unused; an end before the start
        // wraps the count and takes the rest of the text.
        auto start = static_cast<std::size_t>(range->start);
        auto count = static_cast<std::size_t>(range->end) - start;
        return createFromString(text.substr(start, count));
    }
    throw IndexException(toLiteral(), key);
}

std::string ZarnBaseString::toLiteral() const
{
    if (text.find('"') == std::string::npos)
        return "\"" + text + "\"";
    return rawLiteral();
}

bool ZarnBaseString::hasLiteralForm() const
{
    return text.find('"') == std::string::npos || hasRawLiteralForm(text);
}

std::string ZarnBaseString::rawLiteral() const
{
    if (hasRawLiteralForm(text))
        return "R\"(" + text + ")\"";
    return "\"" + text + "\"";
}

ZarnValueIteratorPtr ZarnBaseString::begin() const
{
    return std::make_unique<Iterator>(shared_from_this(), false);
}

ZarnValueIteratorPtr ZarnBaseString::end() const
{
    return std::make_unique<Iterator>(shared_from_this(), true);
}

bool ZarnBaseString::equals(const ZarnValue& other) const
{
    const auto* string = valueAs<const ZarnBaseString>(&other);
    return string && Util::ciEqual(getText(), string->getText());
}

bool ZarnBaseString::greaterThan(const ZarnValue& other) const
{
    const auto* string = valueAs<const ZarnBaseString>(&other);
    return string && text.size() > string->text.size();
}

bool ZarnBaseString::lessThan(const ZarnValue& other) const
{
    const auto* string = valueAs<const ZarnBaseString>(&other);
    return string && text.size() < string->text.size();
}

ZarnValuePtr ZarnBaseString::createFromString(std::string newText) const
{
    auto result = std::make_shared<ZarnBaseString>(std::move(newText));
    result->final = final;
    return result;
}

ZarnBaseString::Iterator::Iterator(std::shared_ptr<const ZarnBaseString> owner, bool atEnd)
    : owner(std::move(owner)), words(this->owner->getText())
{
    if (atEnd)
        wordStart = wordEnd = words.size();
    else
        next();
}

void ZarnBaseString::Iterator::next()
{
    wordStart = wordEnd;
    while (wordStart < words.size() && isSpace(words[wordStart]))
        ++wordStart;
    wordEnd = wordStart;
    while (wordEnd < words.size() && !isSpace(words[wordEnd]))
        ++wordEnd;
}

ZarnValuePtr ZarnBaseString::Iterator::current() const
{
    return owner->createFromString(words.substr(wordStart, wordEnd - wordStart));
}

bool ZarnBaseString::Iterator::equals(const IZarnValueIterator& other) const
{
    const auto* iterator = dynamic_cast<const Iterator*>(&other);
    if (!iterator)
        throw ZARN_INTERNAL_ERROR();
    if (owner != iterator->owner)
        return false;
    // Both at their end also when the owner's text changed between the two.
    bool atEnd = wordStart >= words.size();
    bool otherAtEnd = iterator->wordStart >= iterator->words.size();
    return (atEnd && otherAtEnd) || (!atEnd && !otherAtEnd && wordStart == iterator->wordStart);
}

std::string ZarnString::getText() const
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

ZarnValuePtr ZarnString::createFromString(std::string newText) const
{
    const bool samePrefix = verbatimPrefix > 0 && newText.compare(0, verbatimPrefix, text, 0, verbatimPrefix) == 0;
    auto result = std::make_shared<ZarnString>(std::move(newText));
    result->final = final;
    if (samePrefix)
        result->verbatimPrefix = verbatimPrefix;
    return result;
}

ZarnValuePtr ZarnRawString::createFromString(std::string newText) const
{
    auto result = std::make_shared<ZarnRawString>(std::move(newText));
    result->final = final;
    return result;
}

ZarnValuePtr makeString(std::string&& text)
{
    return std::make_shared<ZarnString>(std::move(text));
}

ZarnValuePtr makeString(const std::string& text)
{
    return std::make_shared<ZarnString>(text);
}

ZarnValuePtr makeString(const char* text)
{
    return std::make_shared<ZarnString>(text);
}

bool isFinalText(const ZarnValue& value)
{
    if (const auto* string = valueAs<const ZarnBaseString>(&value))
        return string->isFinal();
    if (valueAs<const ZarnInt>(&value))
        return true;
    if (const auto* list = valueAs<const ZarnList>(&value)) {
        for (const auto& member : list->getMembers())
            if (member && !isFinalText(*member))
                return false;
        return true;
    }
    return false;
}

ZarnValuePtr makeFileSystemText(const std::string& text)
{
    auto value = std::make_shared<ZarnString>(text);
    value->setFinal(true);
    value->setVerbatimPrefix(text.size());
    return value;
}

void markFinal(const ZarnValuePtr& value)
{
    if (auto* string = valueAs<ZarnBaseString>(value.get())) {
        string->setFinal(true);
    } else if (auto* list = valueAs<ZarnList>(value.get())) {
        for (const auto& member : list->getMembers())
            markFinal(member);
    }
}

}  // namespace Zarn
