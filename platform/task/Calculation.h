#pragma once

class ThreadProgress;

/// Base of every calculation of the task library: a success flag and an optional
/// progress sink that the caller owns.
class Calculation
{
public:
    Calculation() = default;
    Calculation(const Calculation&) = default;
    Calculation& operator=(const Calculation&) = default;
    virtual ~Calculation();

    /// Sets the progress sink (not owned; may be null).
    virtual void setProgress(ThreadProgress* progress);
    ThreadProgress* getProgress() const { return m_progress; }

    /// Outcome of the last run.
    bool wasSuccessful() const { return m_success; }

protected:
    void setSuccess(bool success) { m_success = success; }
    /// Forwards a fraction in [0, 1] to the progress sink, when there is one.
    void reportProgress(float fraction) const;

private:
    ThreadProgress* m_progress = nullptr;
    bool m_success = false;
};
