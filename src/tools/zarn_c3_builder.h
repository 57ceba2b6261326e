// The C3 compiler's builder: one compiler call per target, making an
// executable, a static library, a DLL or a shared object, or running the
// target's tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/zarn_c_builder.h"

namespace Zarn {

// What a C3 target makes, decided by its selector variable.
enum C3OutputKind : int {
    C3Executable = 0,
    C3StaticLibrary = 1,
    C3Dll = 2,
    C3SharedObject = 3,
};

// Throws ZarnException when more than one of EXE, STATIC, DLL and SO is
// present, or C3_TEST_FILES comes with STATIC, DLL or SO.
void validateC3Selectors(const Context& target);

// Whether the target holds the variable as a match subject; an output
// variable is not one (and says so at level 4).
bool isC3MatchSubject(const Context& target, const std::string& name);

class C3Builder : public CBuilder {
public:
    C3Builder(KeySet subjects, VariableSchema schema, std::string version, std::filesystem::path compilerPath,
              std::filesystem::path binDir);

    std::string getName() const override { return "c3c"; }
    Context createOutputContext(const Context& job, int status) override;
    // Possible when the target has C3_FILES, C3C_FILES or C3_TEST_FILES.
    MatchResult matchSubjects(const Context& target) const override;
    // The base's recipes, with the compiler's directory first on PATH.
    std::vector<Recipe> createRecipes(const Context& job) override;

    // STATIC, else DLL, else SO, else an executable; only presence counts.
    C3OutputKind getOutputKind(const Context& target) const;
    // OUTPUT_NAME, or defaultName when it is missing or empty; without an
    // extension of its own it gets the kind's (".lib" and ".exe" for a
    // compiler named c3c.exe).
    std::string getOutputFileName(const Context& target, const std::string& defaultName,
                                  C3OutputKind kind) const;

    RecipeSet doCreateRecipes(const TargetContext& target) const override;
    void afterPrepare(const Context&) override {}
    std::vector<std::string> buildCommandLine(const std::string& targetName, const Context& job) const override;
    std::string getToolIdentity(const Context&) const override { return "c3c-" + version; }
    std::string getObjectExtension() const override { return ".o"; }

    std::string version;
    std::filesystem::path compilerPath;
    std::filesystem::path binDir;
};

}  // namespace Zarn
