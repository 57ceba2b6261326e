#include <gtest/gtest.h>

#include <variant>

#include "test_support.h"
#include "types/zarn_identifier_value.h"

using namespace TestSupport;

TEST(VisitorUnits, DependenciesOfEveryForm)
{
    auto unit = visitUnitText("t: core lib::core other/lib::core +core(a.b, c) => c x +> merged @deps(., x) @more {}");
    std::vector<std::string> found;  // "modifier aliasKind alias target(parameters)"
    for (const auto& d : unit->targets.at("t").dependencies) {
        std::string line = std::to_string(d.modifier) + " " + std::to_string(d.aliasKind) + " " + d.alias + " ";
        if (auto* macro = std::get_if<Zarn::DependencyMacro>(&d.target))
            line += "@" + Zarn::identifierText(macro->identifier) + (macro->hasSourceParameter ? "(.)" : "");
        else
            line += std::get<Zarn::QualifiedTargetName>(d.target).toString();
        for (const auto& parameter : d.parameters)
            line += "(" + Zarn::identifierText(parameter) + ")";
        found.push_back(line + (d.sourceValue ? " source" : ""));
    }
    EXPECT_EQ(found, (std::vector<std::string> {"0 0  /::core", "0 0  /lib::core", "0 0  other/lib::core",
                                                "1 1 c /::core(a.b)(c)", "0 2 merged /::x", "0 0  @deps(.)(x)",
                                                "0 0  @more"}));
}

// A failing visit frees whatever it built so far (the sanitizer build checks).
TEST(VisitorUnits, ErrorsAreReportedAndLeakNothing)
{
    EXPECT_EQ(messageOf<std::invalid_argument>([] { visitUnitText("build: {} Build: {}"); }),
              "Key already exists: build");
    EXPECT_EQ(messageOf<std::runtime_error>([] { visitUnitText("a: { x = [1] } t: { if y { !x = 1 } }"); }),
              "'!' assignment modifier is not allowed in this context.");
    auto message = [](const char* text) { return messageOf<Zarn::ZarnException>([&] { visitUnitText(text); }); };
    const std::string dynamicOnly = "The source parameter marker '.' can only be used with a dynamic dependency.";
    EXPECT_EQ(message("t: @deps(x, .) {}"), "The source parameter marker '.' must be the first dependency parameter.");
    EXPECT_EQ(message("t: core(.) {}"), dynamicOnly);
    EXPECT_EQ(message("t: core(x, .) {}"), dynamicOnly);  // the dynamic test comes first
}
