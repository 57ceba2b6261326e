#include "zarn_large_stack.h"

#include <utility>

namespace Zarn {

StackThread::StackThread(std::size_t stackSize, std::function<int()> body) : body(std::move(body))
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return;
    running = pthread_attr_setstacksize(&attributes, stackSize) == 0 &&
              pthread_create(&thread, &attributes, run, this) == 0;
    pthread_attr_destroy(&attributes);
}

StackThread::~StackThread()
{
    if (running)
        pthread_join(thread, nullptr);
}

int StackThread::join()
{
    pthread_join(thread, nullptr);
    running = false;
    if (error)
        std::rethrow_exception(error);
    return result;
}

void* StackThread::run(void* self)
{
    auto* job = static_cast<StackThread*>(self);
    try {
        job->result = job->body();
    } catch (...) {
        job->error = std::current_exception();
    }
    return nullptr;
}

}  // namespace Zarn
