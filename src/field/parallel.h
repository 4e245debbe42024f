#pragma once

#include <pthread.h>

#include <atomic>

// Work split into a fixed number of parts that run at the same time, each on a thread of its
// own where one can be had. Used only where every part writes its own memory, so the result is
// the same however the parts are scheduled, and all of them have ended before anyone reads it.

constexpr int kMaxParts = 8;

// How many parts to split work into: the processors online, 1 to kMaxParts.
int partCount();

// Runs work(context, part) for every part below `parts` and returns when all have finished. The
// first runs on the calling thread; one whose thread cannot be started runs there too, after it.
void runInParts(int parts, void (*work)(void* context, int part), void* context);

// Items of work that the calling thread and one helper thread share, each done once by whoever
// claims it first, where the caller can wait for a particular item: so that the caller can use
// the results in order as soon as each is ready while the helper goes on with later ones. What
// an item writes is visible to the caller once awaitItem for it has returned.
constexpr int kMaxSharedItems = 64;

struct SharedWork {
    void (*work)(void* context, int item);
    void* context;
    int count;
    std::atomic<int> next;       // the first item nobody has claimed
    bool done[kMaxSharedItems];  // guarded by `mutex`
    pthread_mutex_t mutex;
    pthread_cond_t itemDone;
    pthread_t helper;
    bool helped;       // the helper thread runs
    bool callerHelps;  // the caller claims items too while it waits
};

// Starts the helper on items 0 .. count-1 (count at most kMaxSharedItems) when `help`; without
// it, or when no thread can be had, the caller does them all as it awaits them. With a helper,
// the caller claims items too only when `callerHelps`: a caller with work of its own on each
// item (drawing it, say) does better to leave them all to the helper, which then stays ahead.
void startSharedWork(SharedWork& shared, int count, void (*work)(void* context, int item),
                     void* context, bool help, bool callerHelps);

// Returns once `item` is done, doing unclaimed items on the calling thread meanwhile if it may.
void awaitItem(SharedWork& shared, int item);

// Does what is left, and ends the helper.
void finishSharedWork(SharedWork& shared);
