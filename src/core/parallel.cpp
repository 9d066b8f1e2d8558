// A small pool of worker threads shared by every parallel call.
//
// A call publishes a job (a count of chunks and the function) in the pool's queue, then
// claims chunks itself by an atomic counter; idle workers join the job and claim chunks the
// same way. A claimed chunk always runs on a thread that is running it, so a caller that
// waits only waits for chunks in progress: nested calls cannot deadlock, they just find
// fewer helpers. The caller's wait also covers the helpers' last touch of the job (they
// leave under the pool's lock), so the job can live on the caller's stack.
#include "core/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "core/fatal.hpp"

namespace zeprix::core {

namespace {

constexpr int kMaxThreads = 256;
constexpr int kMaxCarriers = 4;

ContextCarrier gCarriers[kMaxCarriers];
int gCarrierCount = 0;

int ReadThreadCount() {
    if (const char* env = std::getenv("ZEPRIX_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && n >= 1)
            return static_cast<int>(std::min<long>(n, kMaxThreads));
    }
    const unsigned hw = std::thread::hardware_concurrency();
    return hw == 0 ? 1 : static_cast<int>(std::min<unsigned>(hw, kMaxThreads));
}

std::atomic<int> gThreads{0};  // 0: not read yet

struct Job {
    const std::function<void(long, int)>* fn = nullptr;
    long count = 0;
    std::atomic<long> next{0};
    std::atomic<int> slots{1};  // the caller is slot 0
    std::atomic<bool> failed{false};
    long done = 0;    // chunks finished or skipped (under the pool's lock)
    int helpers = 0;  // workers inside the job (under the pool's lock)
    std::exception_ptr error;
    void* context[kMaxCarriers] = {};
};

class Pool {
public:
    ~Pool() { Resize(0); }

    // Starts or stops workers so that n run (called with no job in flight).
    void Resize(int n) {
        {
            std::lock_guard<std::mutex> lock(m_);
            if (static_cast<int>(workers_.size()) == n) return;
            stop_ = true;
        }
        work_.notify_all();
        for (std::thread& t : workers_) t.join();
        workers_.clear();
        stop_ = false;
        for (int i = 0; i < n; ++i) workers_.emplace_back([this] { WorkerLoop(); });
    }

    void Run(Job& job) {
        {
            std::lock_guard<std::mutex> lock(m_);
            queue_.push_back(&job);
            queued_.store(static_cast<int>(queue_.size()), std::memory_order_relaxed);
        }
        work_.notify_all();
        finished_.notify_all();  // callers that wait may help
        const long own = Claim(job, 0);
        std::unique_lock<std::mutex> lock(m_);
        Unqueue(job);
        job.done += own;
        // While helpers finish their chunks, help with the other jobs in the queue (the
        // transforms of the half that another thread still computes) instead of idling.
        while (job.done != job.count || job.helpers != 0) {
            if (queue_.empty()) {
                finished_.wait(lock);
                continue;
            }
            Help(*queue_.back(), lock);
        }
    }

private:
    // Runs chunks of job until none is left; returns how many it ran or skipped.
    static long Claim(Job& job, int slot) {
        long n = 0;
        for (long i; (i = job.next.fetch_add(1)) < job.count; ++n) {
            if (job.failed.load(std::memory_order_relaxed)) continue;
            try {
                (*job.fn)(i, slot);
            } catch (...) {
                if (!job.failed.exchange(true)) job.error = std::current_exception();
            }
        }
        return n;
    }

    void Unqueue(Job& job) {
        auto it = std::find(queue_.begin(), queue_.end(), &job);
        if (it != queue_.end()) queue_.erase(it);
        queued_.store(static_cast<int>(queue_.size()), std::memory_order_relaxed);
    }

    static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    // Joins a queued job (lock held on entry and on return) and claims its chunks.
    void Help(Job& job, std::unique_lock<std::mutex>& lock) {
        ++job.helpers;
        lock.unlock();
        const int slot = job.slots.fetch_add(1);
        void* saved[kMaxCarriers];
        for (int c = 0; c < gCarrierCount; ++c) saved[c] = gCarriers[c].install(job.context[c]);
        const long ran = Claim(job, slot);
        for (int c = 0; c < gCarrierCount; ++c) gCarriers[c].install(saved[c]);
        lock.lock();
        Unqueue(job);  // every chunk is claimed: no one else joins
        job.done += ran;
        --job.helpers;
        finished_.notify_all();
    }

    void WorkerLoop() {
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            if (queue_.empty() && !stop_) {
                // The passes of a transform come one after the other a few tens of
                // microseconds apart: look for the next one a little while before sleeping,
                // which would cost a wake-up of about that much.
                lock.unlock();
                for (int i = 0; i < kSpins && queued_.load(std::memory_order_relaxed) == 0; ++i)
                    Pause();
                lock.lock();
            }
            work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            Help(*queue_.back(), lock);  // the newest job: the innermost nested call
        }
    }

    std::mutex m_;
    std::condition_variable work_;
    std::condition_variable finished_;
    std::deque<Job*> queue_;
    std::atomic<int> queued_{0};          // queue_.size(), for the spinning workers
    static constexpr int kSpins = 20000;  // about 50 to 100 microseconds of pause
    std::vector<std::thread> workers_;
    bool stop_ = false;
};

Pool& ThePool() {
    static Pool pool;
    return pool;
}

int gPoolSize = -1;  // workers started for the current count
std::atomic<int> gActiveCalls{0};
std::atomic<bool> gStop{false};

}  // namespace

int ThreadCount() {
    int n = gThreads.load(std::memory_order_relaxed);
    if (n == 0) {
        n = ReadThreadCount();
        int expected = 0;
        if (!gThreads.compare_exchange_strong(expected, n)) n = expected;
    }
    return n;
}

void SetThreadCount(int n) { gThreads.store(std::clamp(n, 1, kMaxThreads)); }

bool StopRequested() { return gStop.load(std::memory_order_relaxed); }

bool RequestStop() { return gActiveCalls.load() > 0 && gStop.exchange(true); }

void StopIfRequested() {
    if (StopRequested())
        throw ProgramExit(kFatalExitCode, "stopped after an error on another thread");
}

void RegisterContextCarrier(ContextCarrier carrier) {
    if (gCarrierCount < kMaxCarriers) gCarriers[gCarrierCount++] = carrier;
}

void ParallelFor(long count, const std::function<void(long i, int slot)>& fn) {
    const int threads = ThreadCount();
    if (threads == 1 || count <= 1) {
        for (long i = 0; i < count; ++i) fn(i, 0);
        return;
    }
    // The pool is sized on the first call and after a change of the count; both happen on
    // the thread that drives the run, with no job in flight.
    static std::mutex sizing;
    {
        std::lock_guard<std::mutex> lock(sizing);
        if (gPoolSize != threads - 1) {
            ThePool().Resize(threads - 1);
            gPoolSize = threads - 1;
        }
    }
    Job job;
    job.fn = &fn;
    job.count = count;
    for (int c = 0; c < gCarrierCount; ++c) job.context[c] = gCarriers[c].capture();
    gActiveCalls.fetch_add(1);
    ThePool().Run(job);
    if (gActiveCalls.fetch_sub(1) == 1) gStop.store(false);
    if (job.error) std::rethrow_exception(job.error);
}

void RunBoth(const std::function<void()>& first, const std::function<void()>& second) {
    ParallelFor(2, [&](long i, int) { i == 0 ? first() : second(); });
}

}  // namespace zeprix::core
