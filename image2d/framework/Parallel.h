#pragma once

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/parallel_invoke.h>
#include <tbb/partitioner.h>
#include <tbb/task_group.h>

#include <utility>

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

/// Runs two independent tasks at the same time and returns when both are done.
template <typename First, typename Second>
void parallelInvoke(First&& first, Second&& second)
{
    tbb::task_group_context context;
    tbb::parallel_invoke(std::forward<First>(first), std::forward<Second>(second), context);
}

} // namespace image2d
