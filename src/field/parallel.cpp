#include "field/parallel.h"

#include <pthread.h>

#include <thread>

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
        // The processors online (0 when unknown), as the C++ library asks each system for them.
        const unsigned online = std::thread::hardware_concurrency();
        if (online < 1) return 1;
        return online > unsigned{kMaxParts} ? kMaxParts : static_cast<int>(online);
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

namespace {

void markDone(SharedWork& shared, int item) {
    pthread_mutex_lock(&shared.mutex);
    shared.done[item] = true;
    pthread_cond_broadcast(&shared.itemDone);
    pthread_mutex_unlock(&shared.mutex);
}

// Claims and does one item; false when none is left to claim.
bool doNextItem(SharedWork& shared) {
    const int item = shared.next.fetch_add(1);
    if (item >= shared.count) return false;
    shared.work(shared.context, item);
    markDone(shared, item);
    return true;
}

void* helpWithItems(void* argument) {
    SharedWork& shared = *static_cast<SharedWork*>(argument);
    while (doNextItem(shared)) {
    }
    return nullptr;
}

bool isDone(SharedWork& shared, int item) {
    pthread_mutex_lock(&shared.mutex);
    const bool done = shared.done[item];
    pthread_mutex_unlock(&shared.mutex);
    return done;
}

}  // namespace

void startSharedWork(SharedWork& shared, int count, void (*work)(void* context, int item),
                     void* context, bool help, bool callerHelps) {
    shared.work = work;
    shared.context = context;
    shared.count = count < kMaxSharedItems ? count : kMaxSharedItems;
    shared.next.store(0);
    for (bool& done : shared.done)
        done = false;
    pthread_mutex_init(&shared.mutex, nullptr);
    pthread_cond_init(&shared.itemDone, nullptr);
    shared.helped = help && pthread_create(&shared.helper, nullptr, helpWithItems, &shared) == 0;
    shared.callerHelps = callerHelps || !shared.helped;
}

void awaitItem(SharedWork& shared, int item) {
    while (!isDone(shared, item)) {
        if (shared.callerHelps && doNextItem(shared)) continue;
        // The helper has this one in hand, or will have.
        pthread_mutex_lock(&shared.mutex);
        while (!shared.done[item])
            pthread_cond_wait(&shared.itemDone, &shared.mutex);
        pthread_mutex_unlock(&shared.mutex);
    }
}

void finishSharedWork(SharedWork& shared) {
    while (doNextItem(shared)) {
    }
    if (shared.helped) pthread_join(shared.helper, nullptr);
    pthread_cond_destroy(&shared.itemDone);
    pthread_mutex_destroy(&shared.mutex);
}
