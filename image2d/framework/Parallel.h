#pragma once

// The one place where the library's loops meet TBB: row loops, fixed chunks, two tasks
// at once, and per-thread scratch buffers that are reused between calls.

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>
#include <tbb/parallel_invoke.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace image2d {

/// Runs body(first, last) over [begin, end) on the TBB worker pool: a blocked range of
/// rows (or pixel indices), automatic partitioning, a task-group context of its own.
/// Each call of body gets a disjoint sub-range and must write only its own rows.
template <typename Index, typename Body>
void parallelFor(Index begin, Index end, Body&& body, Index grain = 1)
{
    if (begin >= end)
        return;
    tbb::task_group_context context;
    tbb::parallel_for(
        tbb::blocked_range<Index>(begin, end, grain),
        [&body](const tbb::blocked_range<Index>& range) { body(range.begin(), range.end()); },
        tbb::auto_partitioner(), context);
}

/// Number of threads the current arena may use (1 inside a one-thread arena).
inline int concurrency()
{
    return std::max(1, tbb::this_task_arena::max_concurrency());
}

/// Cuts [begin, end) into `chunks` contiguous pieces of nearly equal length and runs
/// body(chunk, first, last) for each in parallel. For work whose pieces carry state
/// from one row to the next (a band that keeps its own tile rows), so each piece must
/// start its own state; the split does not depend on timing.
template <typename Body>
void parallelChunks(int begin, int end, int chunks, Body&& body)
{
    const int length = end - begin;
    if (length <= 0)
        return;
    chunks = std::clamp(chunks, 1, length);
    tbb::task_group_context context;
    tbb::parallel_for(
        tbb::blocked_range<int>(0, chunks, 1),
        [&](const tbb::blocked_range<int>& range) {
            for (int c = range.begin(); c != range.end(); ++c)
            {
                const int first = begin + static_cast<int>(static_cast<long long>(length) * c / chunks);
                const int last = begin + static_cast<int>(static_cast<long long>(length) * (c + 1) / chunks);
                body(c, first, last);
            }
        },
        tbb::simple_partitioner(), context);
}

/// Runs two independent tasks at the same time and returns when both are done.
template <typename First, typename Second>
void parallelInvoke(First&& first, Second&& second)
{
    tbb::task_group_context context;
    tbb::parallel_invoke(std::forward<First>(first), std::forward<Second>(second), context);
}

/// A buffer of at least `size` elements owned by the calling thread, reused by later calls
/// on the same thread with the same Tag (the buffer only grows). Contents are left over from
/// the last use: the caller initialises what it reads.
template <typename T, typename Tag>
T* threadScratch(std::size_t size)
{
    thread_local std::vector<T> buffer;
    if (buffer.size() < size)
        buffer.resize(size);
    return buffer.data();
}

/// One value per worker thread for the duration of a parallel loop (a histogram, a pair of
/// line buffers), built on first use by each thread from `init`.
template <typename T>
using PerThread = tbb::enumerable_thread_specific<T>;

} // namespace image2d
