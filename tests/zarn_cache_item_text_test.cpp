#include "zarn_cache_item_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>

#include "loader/assignment_text.h"
#include "short_path_literals.h"
#include "test_support.h"
#include "types/zarn_value_types.h"
#include "zarn_build_cache_file.h"
#include "zarn_cache_values.h"

using namespace TestSupport;

namespace {

// Everything of a value that a reader of the cache could tell apart.
std::string describe(const Zarn::ZarnValuePtr& value)
{
    if (!value)
        return "null";
    std::string text = typeid(*value).name();
    if (const auto* list = dynamic_cast<const Zarn::ZarnList*>(value.get())) {
        text += "[";
        for (const auto& member : list->getMembers())
            text += describe(member) + ";";
        return text + "]";
    }
    if (const auto* path = dynamic_cast<const Zarn::ZarnPathString*>(value.get()))
        text += " base=" + path->getBaseDirectory().string();
    if (const auto* string = dynamic_cast<const Zarn::ZarnBaseString*>(value.get()))
        text += string->isFinal() ? " final" : " open";
    return text + " <" + value->toString() + ">";
}

// The general path as the cache reader takes it: the short path rewrite,
// the parser, and every string read back marked final. Empty when it fails.
std::string general(const std::string& text)
{
    try {
        Zarn::Assignment parsed = parseAssignmentText(Zarn::rewriteShortPathLiterals(text), {});
        Zarn::markFinal(parsed.value);
        return parsed.name + " := " + describe(parsed.value);
    } catch (...) {
        return "";
    }
}

// The fast path; empty when it refuses the text.
std::string fast(const std::string& text)
{
    Zarn::Assignment read;
    if (!Zarn::readWrittenAssignmentText(text, read))
        return "";
    return read.name + " := " + describe(read.value);
}

// The lexer reports stray characters of mutated texts on standard error.
class SilentErrors {
public:
    SilentErrors() : saved(std::cerr.rdbuf(sink.rdbuf())) {}
    ~SilentErrors() { std::cerr.rdbuf(saved); }

private:
    std::ostringstream sink;
    std::streambuf* saved;
};

TEST(CacheItemText, ReadsTheWritersShapesAsTheParserDoes)
{
    const char* const texts[] = {
        "a = \"x\"",
        "a = \"\"",
        "day += \"6\"",
        "opt ?= \"with ${ref} and #{x} and * ?\"",
        "multi = \"line one\nline two\r\n\"",
        "c = \"// not a comment /* nor this\"",
        "u = \"caf\xc3\xa9 \xf0\x9f\x98\x80\"",
        "r = R\"(say \"hi\")\"",
        "r = R\"()\"",
        "r = R\"(x)y)\"",
        "r = R\"(a))\"",
        "r = R\"(())\"",
        "p = P\"/t/p/out.txt\"",
        "p = P\"out.txt\"",
        "p = P\"\"",
        "p = P\"a b)) c\"",
        "p = P\"odd)\"",
        "p = P\"(a))\"",
        "p = P\"(/t/(p)/out.txt)\"",
        "p = P\"(with \"quote\")\"",
        "p = P\"(two\nlines)\"",
        "n = 0",
        "n = -17",
        "n = 007",
        "n = 2147483647",
        "n = -2147483648",
        "l = []",
        "l = [ \"a\" ]",
        "l = [ \"a\", R\"(b\"c)\", P\"/x\", P\"(y)\", 3, -4 ]",
        "l = [ P\"src/a.txt\", P\"src/b.txt\" ]",
        "name-with-dash_2 = \"v\"",
        "Name = \"keywords fold? no: only lower case is reserved\"",
        "bare",
        "x-",
    };
    for (const char* text : texts) {
        const std::string expected = general(text);
        ASSERT_FALSE(expected.empty()) << text;
        EXPECT_EQ(fast(text), expected) << text;
    }
}

TEST(CacheItemText, LeavesEveryOtherShapeToTheParser)
{
    const char* const texts[] = {
        "",
        " a = 1",
        "a = 1 ",
        "a=1",
        "a  = 1",
        "a : 1",
        "a = 1 b",
        "a = 1abc",
        "a = 1 // note",
        "^a = 1",
        "!a = 1",
        "name = 1",
        "units = 1",
        "1a = 1",
        "a = ",
        "a =",
        "a = -",
        "a = 2147483648",
        "a = -2147483649",
        "a = 99999999999999999999999",
        "a = x",
        "a = x.y",
        "a = { b = 1 }",
        "a = [ [ \"x\" ] ]",
        "a = [\"x\"]",
        "a = [ \"x\" , \"y\" ]",
        "a = [ \"x\", ]",
        "a = [ \"x\"",
        "a = \"open",
        "a = \"x\"\"y\"",
        "a = R\"(open",
        "a = R\"(a)\"b",
        "a = R\"(a)",
        "a = R\"x\"",
        "a = P\"(abc\"",
        "a = P\"(abc\" x",
        "a = R\"(a))\")\"",
        "a = P\"two\nlines\"",
        "a = P\"x",
        "a = p\"x\"",
        "a = \"nul\0byte\"",
        "a = \"bad \xff utf-8\"",
        "\xef\xbb\xbf" "a = 1",
    };
    SilentErrors silent;
    for (const char* text : texts)
        EXPECT_EQ(fast(text), "") << text;
    // A NUL inside a literal.
    EXPECT_EQ(fast(std::string("a = \"x\0y\"", 9)), "");
}

// Random texts of every character class that matters to the lexer.
class TextMaker {
public:
    explicit TextMaker(unsigned seed) : random(seed) {}

    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); }

    std::string text(std::size_t maxLength)
    {
        static const std::string pieces[] = {"a",  "Z", "0",  " ",  "\n", "\r", "\t", "\"", "(",  ")",  ")\"",
                                             "R\"(", "P\"", "${", "#{", "}",  "*",  "/",  "//", "/*", "[",  "]",
                                             ",",  "=",  "\xc3\xa9", "\\", "-",  "%",  "\xff"};
        std::string out;
        const std::size_t length = below(maxLength + 1);
        for (std::size_t i = 0; i < length; ++i)
            out += pieces[below(std::size(pieces))];
        return out;
    }

    Zarn::ZarnValuePtr scalar()
    {
        switch (below(5)) {
        case 0:
            return str(text(12));
        case 1:
            return raw(text(12));
        case 2:
            return Zarn::makePathString(text(12), below(2) ? "" : "/base");
        case 3: {
            static const int32_t edges[] = {0, 1, -1, 2147483647, -2147483647 - 1};
            return integer(below(2) ? edges[below(5)] : static_cast<int32_t>(random()));
        }
        default:
            return Zarn::makePathString("/t/p/out" + std::to_string(below(100)) + ".txt", "");
        }
    }

    Zarn::ZarnValuePtr value()
    {
        if (below(4) != 0)
            return scalar();
        std::vector<Zarn::ZarnValuePtr> members;
        for (std::size_t i = below(4); i > 0; --i)
            members.push_back(scalar());
        return list(std::move(members));
    }

    Zarn::Assignment assignment()
    {
        static const char* const names[] = {"a", "src", "Cmd-line_2", "x-", "name", "_"};
        static const Zarn::Assignment::AssignType types[] = {Zarn::Assignment::Set, Zarn::Assignment::Append,
                                                              Zarn::Assignment::SetIfUnset,
                                                              Zarn::Assignment::Declare};
        Zarn::ZarnValuePtr v = below(8) == 0 ? nullptr : value();
        return Zarn::Assignment(names[below(std::size(names))], v, types[below(4)], 0);
    }

    std::string mutate(std::string text)
    {
        static const std::string bytes = " \n\"()[],=R P:{}-01a\\\0";
        for (std::size_t edits = 1 + below(3); edits > 0; --edits) {
            const std::size_t at = text.empty() ? 0 : below(text.size() + 1);
            switch (below(4)) {
            case 0:
                text.insert(at, 1, bytes[below(bytes.size())]);
                break;
            case 1:
                if (at < text.size())
                    text.erase(at, 1);
                break;
            case 2:
                if (at < text.size())
                    text[at] = bytes[below(bytes.size())];
                break;
            default:
                text.resize(at);
                break;
            }
        }
        return text;
    }

private:
    std::mt19937 random;
};

// The assignment's text as the cache writer writes it, plain or escaped.
std::string writtenText(const Zarn::Assignment& assignment)
{
    std::ostringstream out;
    EXPECT_TRUE(Zarn::writeCacheItem(out, assignment));
    const std::string item = out.str();
    const std::size_t textStart = item.find('\n', item.find('\n') + 1) + 1;
    return item.substr(textStart, item.size() - textStart - 1);
}

std::size_t iterations()
{
    return TestSupport::fuzzIterations(2000);
}

// What the writer produces reads back the same through both paths, and so
// does every mutation of it that the fast path accepts.
TEST(CacheItemText, AgreesWithTheParserOnRandomWrittenAndMutatedTexts)
{
    SilentErrors silent;
    TextMaker maker(20240611);
    std::size_t written = 0, writtenFast = 0, mutatedFast = 0, escapedFast = 0;
    const std::size_t count = iterations();
    for (std::size_t i = 0; i < count; ++i) {
        const Zarn::Assignment assignment = maker.assignment();
        if (!Zarn::isCacheHoldable(assignment))
            continue;
        const std::string text = writtenText(assignment);
        ++written;
        const std::string expected = general(text);
        const std::string got = fast(text);
        if (!got.empty()) {
            ++writtenFast;
            escapedFast += Zarn::isCacheWritable(assignment) ? 0 : 1;
            ASSERT_EQ(got, expected) << "written text: " << text;
        }
        const std::string mutated = maker.mutate(text);
        const std::string mutatedGot = fast(mutated);
        if (!mutatedGot.empty()) {
            ++mutatedFast;
            ASSERT_EQ(mutatedGot, general(mutated)) << "mutated text: " << mutated;
        }
    }
    // The fast path must serve most of what the writer writes, or it is no
    // fast path; the mutations must reach it too, or they test nothing.
    EXPECT_GT(writtenFast * 2, written) << writtenFast << " of " << written;
    EXPECT_GT(mutatedFast, count / 20) << mutatedFast;
    // Escaped texts take the same paths.
    EXPECT_GT(escapedFast, count / 20) << escapedFast;
}

}  // namespace
