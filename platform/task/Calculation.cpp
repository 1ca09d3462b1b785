#include "platform/task/Calculation.h"

#include "platform/task/ThreadProgress.h"

#include <algorithm>
#include <cmath>

Calculation::~Calculation() = default;

void Calculation::setProgress(ThreadProgress* progress)
{
    m_progress = progress;
}

void Calculation::reportProgress(float fraction) const
{
    if (m_progress)
        m_progress->setProgress(fraction);
}

void ThreadProgress::setProgress(float fraction)
{
    if (std::isnan(fraction))
        return;
    fraction = std::clamp(fraction, 0.0f, 1.0f);
    m_progress.store(fraction, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    if (m_callback)
        m_callback(fraction);
}
