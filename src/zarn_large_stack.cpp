#include "zarn_large_stack.h"

#include <pthread.h>

#include <exception>

namespace Zarn {

namespace {

struct StackJob {
    const std::function<int()>* body = nullptr;
    int result = 0;
    std::exception_ptr error;
};

void* runJob(void* argument)
{
    auto* job = static_cast<StackJob*>(argument);
    try {
        job->result = (*job->body)();
    } catch (...) {
        job->error = std::current_exception();
    }
    return nullptr;
}

}  // namespace

int runWithStack(std::size_t stackSize, const std::function<int()>& body)
{
    StackJob job;
    job.body = &body;
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return body();
    pthread_t thread;
    bool started = pthread_attr_setstacksize(&attributes, stackSize) == 0 &&
                   pthread_create(&thread, &attributes, runJob, &job) == 0;
    pthread_attr_destroy(&attributes);
    if (!started)
        return body();
    pthread_join(thread, nullptr);
    if (job.error)
        std::rethrow_exception(job.error);
    return job.result;
}

}  // namespace Zarn
