#pragma once

// Work split into a fixed number of parts that run at the same time, each on a thread of its
// own where one can be had. Used only where every part writes its own memory, so the result is
// the same however the parts are scheduled, and all of them have ended before anyone reads it.

constexpr int kMaxParts = 8;

// How many parts to split work into: the processors online, 1 to kMaxParts.
int partCount();

// Runs work(context, part) for part = 0 .. parts-1 and returns when all have finished. Part 0
// runs on the calling thread; a part whose thread cannot be started runs there too, after it.
void runInParts(int parts, void (*work)(void* context, int part), void* context);
