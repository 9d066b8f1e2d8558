// How much a second processor adds to streaming through memory on this machine, as a yard
// stick for the speed-up of the large transforms (which stream arrays of the same sizes).
//
// usage: memory_probe [MB ...]   (default: 16 128; MB per array)
//
// Each thread owns two arrays x and y of MB megabytes (2 MB-aligned, asking for huge pages
// as the transform arrays do), touches them once, then repeats y = y / 2 + x over them
// (three streams: x read, y read, y written). The threads start together at a barrier; the
// time of a run is that of the slowest thread. For every size the runs on 1 and on T
// threads (T = the processors, at least 2) alternate three times; printed: the best
// bandwidth of each and their ratio (T threads in all over one thread).
#include <sys/mman.h>

#include <algorithm>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Arrays {
    double* x = nullptr;
    double* y = nullptr;
};

double* HugeAlloc(std::size_t bytes) {
    constexpr std::size_t kHuge = 2u << 20;
    bytes = (bytes + kHuge - 1) / kHuge * kHuge;
    void* p = std::aligned_alloc(kHuge, bytes);
    if (!p) {
        std::fprintf(stderr, "memory_probe: out of memory\n");
        std::exit(1);
    }
    madvise(p, bytes, MADV_HUGEPAGE);
    return static_cast<double*>(p);
}

// Seconds for `reps` passes of y = y/2 + x on `threads` threads (each on its own arrays).
double Run(std::vector<Arrays>& arrays, int threads, long n, long reps) {
    std::barrier start(threads);
    std::vector<double> seconds(static_cast<std::size_t>(threads));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            double* x = arrays[static_cast<std::size_t>(t)].x;
            double* y = arrays[static_cast<std::size_t>(t)].y;
            start.arrive_and_wait();
            const auto t0 = Clock::now();
            for (long r = 0; r < reps; ++r)
                for (long i = 0; i < n; ++i) y[i] = 0.5 * y[i] + x[i];
            seconds[static_cast<std::size_t>(t)] =
                std::chrono::duration<double>(Clock::now() - t0).count();
        });
    }
    for (auto& th : pool) th.join();
    return *std::max_element(seconds.begin(), seconds.end());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes = {16, 128};
    const int T = std::max(2, static_cast<int>(std::thread::hardware_concurrency()));

    std::printf("memory probe: y = y/2 + x over two arrays per thread, best of 3 (GB/s moved)\n");
    for (long mb : sizes) {
        if (mb <= 0) continue;
        const long n = mb * (1L << 20) / 8;
        const long reps = std::max(2L, (4L << 30) / (3 * mb * (1L << 20)));
        std::vector<Arrays> arrays(static_cast<std::size_t>(T));
        for (auto& a : arrays) {
            a.x = HugeAlloc(static_cast<std::size_t>(n) * 8);
            a.y = HugeAlloc(static_cast<std::size_t>(n) * 8);
            for (long i = 0; i < n; ++i) {  // first touch outside the timed runs
                a.x[i] = static_cast<double>(i & 1023);
                a.y[i] = 1.0;
            }
        }
        const double bytes = 3.0 * static_cast<double>(n) * 8 * static_cast<double>(reps);
        double best1 = 0, bestT = 0;
        for (int turn = 0; turn < 3; ++turn) {
            best1 = std::max(best1, bytes / Run(arrays, 1, n, reps) / 1e9);
            bestT = std::max(bestT, T * bytes / Run(arrays, T, n, reps) / 1e9);
        }
        // Read a result back before the arrays go, so that the passes cannot be dropped.
        volatile double sink = 0;
        for (auto& a : arrays) {
            sink = sink + a.y[n / 3];
            std::free(a.x);
            std::free(a.y);
        }
        std::printf("  %4ld MB per array: 1 thread %5.1f, %d threads %5.1f in all: %.2f times\n",
                    mb, best1, T, bestT, bestT / best1);
    }
    return 0;
}
