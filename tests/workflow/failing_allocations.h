// A switch in this test program's operator new that makes chosen allocations throw
// std::bad_alloc, to check that running out of memory never escapes an entry point.
#pragma once

namespace failing_allocations {

// From now on allocation number n (counting from 0) throws; with andLater, so does every
// one after it.
void arm(long n, bool andLater = false);
// Allocations succeed again. Returns how many were made to fail.
long disarm();

// For n = 0, 1, 2, ...: setup() with allocations working, then work(what setup returned)
// with allocation n failing (and, with andLater, every later one), until a run goes through
// without a failure or limit runs were made. work() may disarm early to check its results.
// Returns the number of runs that had a failure.
template <class Setup, class Work>
long sweep(Setup&& setup, Work&& work, bool andLater = false, long limit = 20000) {
    long failedRuns = 0;
    for (long n = 0; n < limit; ++n) {
        auto state = setup();
        arm(n, andLater);
        work(state);
        if (disarm() == 0) break;
        ++failedRuns;
    }
    return failedRuns;
}

}  // namespace failing_allocations
