// Build jobs where no thread can be started for them.
#include "zarn_build_jobs.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <system_error>
#include <thread>

#include "build_test_support.h"

using namespace BuildTestSupport;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;  // their run-times need address space of their own
#else
constexpr bool sanitized = false;
#endif

// The address space the process takes now, in bytes.
rlim_t addressSpaceInUse()
{
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0;
    statm >> pages;
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
}

// With too little address space left for a thread's stack (as with a limit
// on processes, where threads count too), the jobs run one after the other
// on the calling thread instead of failing the build.
TEST(RunBuildJobsWithoutThreads, JobsRunOnTheCallingThread)
{
    if (sanitized)
        GTEST_SKIP() << "the sanitizers' run-times do not work under an address-space limit";
    TempDir dir;
    const std::string d = dir.path().string();
    const pid_t child = ::fork();
    if (child == 0) {
        ScriptedBuilder builder;
        Zarn::Context outputs;
        const auto jobs = std::vector<std::shared_ptr<Zarn::Context>>{jobContext("one", {"echo 1 > '" + d + "/one'"}),
                                                                      jobContext("two", {"echo 2 > '" + d + "/two'"})};
        // Parked threads take the stacks the library keeps for reuse, so a
        // new thread needs new memory.
        for (int i = 0; i < 16; ++i)
            std::thread([] { ::pause(); }).detach();
        const rlim_t limit = addressSpaceInUse() + (4u << 20);  // less than a thread's stack
        const struct rlimit limits {limit, limit};
        try {
            if (::setrlimit(RLIMIT_AS, &limits) == 0)
                std::thread([] {}).join();
            ::_exit(10);  // the limit did not keep a thread from starting
        } catch (const std::system_error&) {
        }
        try {
            captureLog(LogLevel::Error, [&] { Zarn::runBuildJobs(builder, jobs, "u::t", outputs); });
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(textOf(outputs, "result") == "0 0" ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 10)
        GTEST_SKIP() << "an address-space limit does not keep threads from starting here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(dir / "one"), "1\n");
    EXPECT_EQ(readFile(dir / "two"), "2\n");
}

}  // namespace
