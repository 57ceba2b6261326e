#include "zarn_outputs_file.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <typeinfo>

#include "loader/assignment_text.h"
#include "short_path_literals.h"
#include "test_support.h"
#include "zarn_cache_values.h"

using namespace TestSupport;
using namespace Zarn;

namespace {

// Every text of up to three characters over an alphabet of the characters
// that literals and expansion treat specially.
std::vector<std::string> hostileTexts()
{
    std::vector<std::string> texts{""};
    for (std::size_t i = 0; texts[i].size() < 3; ++i)
        for (char c : std::string("1)(\"\n% \xff${#"))
            texts.push_back(texts[i] + c);
    return texts;
}

// The text with each byte 0xFF as the UTF-8 form of U+00FF, which readers take.
std::string asUtf8(std::string text)
{
    for (std::size_t at = text.find('\xff'); at != std::string::npos; at = text.find('\xff', at + 2))
        text.replace(at, 1, "\xc3\xbf");
    return text;
}

// The text a string read back from a line ends with once resolved.
std::string resolvedText(const ZarnValuePtr& read)
{
    auto* string = dynamic_cast<Resolvable*>(read.get());
    if (!string)
        return read->toString();
    std::string text;
    captureLog(LogLevel::Error, [&] {
        try {
            text = string->resolve()->toString();
        } catch (const ZarnException& error) {
            text = "<" + error.getMessage() + ">";
        }
    });
    return text;
}

// The file writeOutputs writes, and its warnings in `log`.
std::string writtenFile(const Context& outputs, std::string& log)
{
    std::ostringstream out;
    log = captureLog(LogLevel::Warning, [&] { writeOutputs(out, outputs, "o.txt"); });
    return out.str();
}

// A line of the file read back as the cache and registry readers read one.
Assignment readLine(const std::string& line)
{
    return parseAssignmentText(rewriteShortPathLiterals(line), {});
}

std::string textOf(const ZarnValuePtr& value)
{
    if (const auto* path = dynamic_cast<const ZarnPathString*>(value.get()))
        return path->getBaseDirectory().empty() ? path->toString() : path->fullPath().string();
    return value->toString();
}

// Each value, alone and as a list member, is either written so that it reads
// back as the same kind of value with the same text, or left out with the
// warning. Bytes that are not UTF-8 are written as they are.
TEST(OutputsFile, WhatIsWrittenReadsBackAndTheRestIsNamed)
{
    const std::vector<std::function<ZarnValuePtr(const std::string&)>> kinds = {
        [](const std::string& text) { return makeString(text); },
        [](const std::string& text) {
            ZarnValuePtr resolved = makeString(text);
            markFinal(resolved);
            return resolved;
        },
        [](const std::string& text) { return std::make_shared<ZarnRawString>(text); },
        [](const std::string& text) { return makePathString("/d/" + text, {}); },
        [](const std::string& text) { return makePathString(text + "/f", "/b"); },
    };
    std::size_t written = 0, leftOut = 0, notUtf8 = 0;
    for (const std::string& text : hostileTexts()) {
        for (const auto& kind : kinds) {
            const ZarnValuePtr value = kind(text);
            for (const ZarnValuePtr& shape : {value, ZarnValuePtr(std::make_shared<ZarnList>(
                                                         std::vector<ZarnValuePtr>{value, makeString("x")}))}) {
                Context outputs;
                outputs.addAssignment(Assignment("v", shape, Assignment::Set));
                std::string log;
                const std::string line = writtenFile(outputs, log);
                if (line.empty()) {
                    ++leftOut;
                    EXPECT_EQ(log, "Variable 'v' cannot be written in 'o.txt' so that it reads back; it is left out.\n");
                    continue;
                }
                ++written;
                notUtf8 += line.find('\xff') != std::string::npos;
                ASSERT_EQ(line.back(), '\n');
                Assignment back;
                ASSERT_NO_THROW(back = readLine(asUtf8(line.substr(0, line.size() - 1)))) << line;
                ASSERT_TRUE(back.value) << line;
                const ZarnValuePtr& read =
                    shape == value ? back.value : dynamic_cast<const ZarnList&>(*back.value).getMembers().at(0);
                // A string holding a quote is written raw, and so is a
                // resolved one that a plain string would expand.
                if (typeid(*value) == typeid(ZarnString) && typeid(*read) == typeid(ZarnRawString))
                    EXPECT_TRUE(text.find('"') != std::string::npos || isFinalText(*value)) << line;
                else
                    EXPECT_EQ(typeid(*read), typeid(*value)) << line;
                EXPECT_EQ(textOf(read), asUtf8(textOf(value))) << line;
                if (isFinalText(*value)) {
                    EXPECT_EQ(resolvedText(read), asUtf8(text)) << line;
                }
            }
        }
    }
    // Both outcomes occur, and bytes that are not UTF-8 keep their lines.
    EXPECT_GT(written, 0u);
    EXPECT_GT(leftOut, 0u);
    EXPECT_GT(notUtf8, 0u);
}

// A block value (a target's `^cfg = { ... }`) reads back as the same block;
// one that no literal can hold is named. A list member without value (a
// declared variable) stays the empty string.
TEST(OutputsFile, BlockValuesReadBack)
{
    Context outputs;
    outputs.addAssignment(set("cfg", block({set("a", integer(1)), set("b", str("x y")),
                                            Assignment("c", makePathString("/o/f", {}), Assignment::Set,
                                                       Assignment::OutputFlag)})));
    outputs.addAssignment(set("nested", list({str("s"), block({set("d", block({set("e", str("f"))}))})})));
    outputs.addAssignment(set("empty", block({})));
    outputs.addAssignment(set("bad", block({set("q", std::make_shared<ZarnRawString>("a)\"b"))})));
    outputs.addAssignment(set("x", list({str("a"), nullptr})));
    std::string log;
    const std::string file = writtenFile(outputs, log);
    EXPECT_EQ(log, "Variable 'bad' cannot be written in 'o.txt' so that it reads back; it is left out.\n");
    EXPECT_EQ(file, "cfg = { a = 1 b = \"x y\" ^c = P\"/o/f\" }\nempty = { }\n"
                    "nested = [ \"s\", { d = { e = \"f\" } } ]\nx = [ \"a\", \"\" ]\n");
    std::istringstream lines(file);
    for (std::string line; std::getline(lines, line);) {
        const Assignment back = readLine(line);
        ASSERT_TRUE(back.value) << line;
        if (back.name != "x") {
            const ZarnValuePtr& written = outputs.variables.at(back.name).value;
            EXPECT_EQ(cacheLiteral(*back.value), cacheLiteral(*written)) << line;
            EXPECT_EQ(typeid(*back.value), typeid(*written)) << line;
        }
    }
}

}  // namespace
