#pragma once

#include <atomic>
#include <functional>
#include <mutex>

/// Progress of a running calculation, observable from another thread.
/// The calculation reports a fraction in [0, 1]; observers poll it or register a callback.
class ThreadProgress
{
public:
    using Callback = std::function<void(float)>;

    ThreadProgress() = default;
    explicit ThreadProgress(Callback callback) : m_callback(std::move(callback)) {}

    /// Reports progress; values are clamped to [0, 1].
    void setProgress(float fraction);
    float getProgress() const { return m_progress.load(std::memory_order_relaxed); }

private:
    std::atomic<float> m_progress{0.0f};
    std::mutex m_callbackMutex;
    Callback m_callback;
};
