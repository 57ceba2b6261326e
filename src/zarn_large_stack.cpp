#include "zarn_large_stack.h"

#include <pthread.h>

#include <memory>
#include <utility>

namespace Zarn {

namespace {

void* runBody(void* body)
{
    const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
    (*owned)();
    return nullptr;
}

}  // namespace

bool startWithStack(std::size_t stackSize, std::function<void()> body)
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return false;
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    pthread_t thread;
    const bool started = pthread_attr_setstacksize(&attributes, stackSize) == 0 &&
                         pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                         pthread_create(&thread, &attributes, runBody, owned.get()) == 0;
    pthread_attr_destroy(&attributes);
    if (started)
        owned.release();  // the thread's now
    return started;
}

}  // namespace Zarn
