// The program's entry: runs the application and turns its errors into the
// exit status.
#include <exception>

#include "tools/zarn_c3_toolchain.h"
#include "tools/zarn_default_toolchains.h"
#include "tools/zarn_gnu_matcher.h"
#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"
#include "zarn_app.h"
#include "zarn_interrupts.h"
#include "zarn_large_stack.h"
#include "zarn_standard_descriptors.h"
#include "zarn_tool_type_registry.h"

namespace {

int runApplication(int argc, char* argv[])
{
    try {
        ZarnApplication application;
        application.findDefaultToolchains = [] { return Zarn::createDefaultGnuTools(Zarn::defaultToolchainRoots()); };
        application.parseCommandLine(argc, argv);
        const int status = application.run();
        Zarn::awaitInterruptEnd();
        return status;
    } catch (const Zarn::ZarnException& error) {
        // What a stop cut short is no error of its own.
        Zarn::awaitInterruptEnd();
        logMessage(LogLevel::Error, "Error: {}\n", error.getMessage());
    } catch (const std::exception& error) {
        Zarn::awaitInterruptEnd();
        logMessage(LogLevel::Error, "{}\n", error.what());
    } catch (...) {
        // Neither ours nor a standard exception: report and abort.
        terminateHandler();
    }
    return 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    Zarn::openClosedStandardDescriptors();
    Zarn::initProgramStatics({Zarn::initC3ToolTables, Zarn::initGnuToolTables});
    std::set_terminate(terminateHandler);
    // Deep input recurses deeply; the application and all it holds live and
    // die on the large stack, while this thread acts on the stop signals.
    Zarn::runStoppable(Zarn::programStackSize, [&] { return runApplication(argc, argv); });
}
