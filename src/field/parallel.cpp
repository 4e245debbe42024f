#include "field/parallel.h"

#include <pthread.h>
#include <unistd.h>

namespace {

struct PartCall {
    void (*work)(void*, int);
    void* context;
    int part;
};

void* runPart(void* argument) {
    const PartCall& call = *static_cast<const PartCall*>(argument);
    call.work(call.context, call.part);
    return nullptr;
}

}  // namespace

int partCount() {
    static const int count = [] {
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        if (online < 1) return 1;
        return online > kMaxParts ? kMaxParts : static_cast<int>(online);
    }();
    return count;
}

void runInParts(int parts, void (*work)(void* context, int part), void* context) {
    if (parts > kMaxParts) parts = kMaxParts;
    PartCall calls[kMaxParts];
    pthread_t threads[kMaxParts];
    bool started[kMaxParts] = {};
    // pthread_create reports failure (no memory for a stack, a thread limit) instead of throwing
    // as std::thread does, so a part without a thread simply runs on this one.
    for (int part = 1; part < parts; ++part) {
        calls[part] = {work, context, part};
        started[part] = pthread_create(&threads[part], nullptr, runPart, &calls[part]) == 0;
    }
    work(context, 0);
    for (int part = 1; part < parts; ++part) {
        if (started[part]) {
            pthread_join(threads[part], nullptr);
        } else {
            work(context, part);
        }
    }
}
