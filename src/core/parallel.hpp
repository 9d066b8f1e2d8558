// The threads of a run: their count, and the two forms of parallel work the program uses
// (a loop of independent chunks, and two independent halves).
#pragma once

#include <functional>

namespace zeprix::core {

// Threads a computation uses: ZEPRIX_THREADS from the environment when it holds a whole
// number >= 1 (capped at 256), else every hardware thread of the machine. Read once, on
// the first call. With 1 the program runs on its calling thread alone: no worker thread is
// started and every parallel form below is a plain loop.
int ThreadCount();

// Changes the count for the rest of the process (tests, benchmarks): the pool of workers is
// resized on the next parallel call. Must not be called while parallel work runs.
void SetThreadCount(int n);

// Runs fn(i, slot) for every i in [0, count), the caller taking part, and returns when all
// are done. slot is the index of the participating thread within this call, in
// [0, ThreadCount()); two chunks that run at the same time have different slots, so a
// caller can give every slot its own scratch space. Chunks are claimed in increasing order
// of i, so no chunk waits for a thread that is blocked: a call made from inside another
// parallel call (a half that multiplies in parallel) just runs its chunks on the threads
// that are free, at worst all on its own.
// An exception thrown by a chunk (a fatal error on a worker) is caught there; the other
// chunks still claimed finish, no new one starts, and the first exception is rethrown in
// the caller.
void ParallelFor(long count, const std::function<void(long i, int slot)>& fn);

// Runs first() and second() at the same time when a worker is free, else one after the
// other on the caller; returns when both are done. Exceptions as for ParallelFor.
void RunBoth(const std::function<void()>& first, const std::function<void()>& second);

// True while a fatal error raised on one thread of a parallel call is being reported: the
// other threads stop quietly instead of reporting errors of their own (their files may
// already be gone). Cleared when the outermost parallel call has ended.
bool StopRequested();
// Sets the flag inside a parallel call; true when it was already set (another thread's
// error is the one being reported). Outside parallel calls it does nothing: false.
bool RequestStop();
// Throws a quiet ProgramExit when StopRequested(): long stretches of work inside a parallel
// call poll it, so that the whole program ends soon after one thread failed.
void StopIfRequested();

// Thread-local state that follows work onto the workers: a layer registers a capture made
// on the caller and a switch made on the worker around every chunk (the FFT layer passes
// on the transform state the chunk must use). At most four carriers.
struct ContextCarrier {
    void* (*capture)();       // on the caller: the value to pass on
    void* (*install)(void*);  // on the worker: installs a value, returns the previous one
};
void RegisterContextCarrier(ContextCarrier carrier);

}  // namespace zeprix::core
