// The threads the library's parallel work runs on: how many processors the process may use, and
// helper threads beside the calling one.
#include <sched.h>
#include <unistd.h>

#include "zel_internal.h"

namespace zel {

uint32_t usableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<uint32_t>(CPU_COUNT(&set));
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<uint32_t>(online) : 1;
}

HelperThreads::HelperThreads(uint32_t count, std::function<void(uint32_t)> task)
    : task_(std::move(task)) {
    starts_.reserve(count > 1 ? count - 1 : 0);
    for (uint32_t index = 1; index < count; index++) {
        starts_.push_back({this, index});
        pthread_t thread;
        // A thread that cannot be made leaves its share to the others.
        if (pthread_create(
                &thread, nullptr,
                [](void* arg) -> void* {
                    Start* start = static_cast<Start*>(arg);
                    start->owner->task_(start->index);
                    return nullptr;
                },
                &starts_.back()) == 0)
            threads_.push_back(thread);
    }
}

void HelperThreads::join() {
    for (pthread_t thread : threads_) pthread_join(thread, nullptr);
    threads_.clear();
}

}  // namespace zel

uint32_t zelProcessorCount(void) {
    return zel::usableProcessors();
}
