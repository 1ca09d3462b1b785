#pragma once

// Running library calls from Python: without the GIL, with the library's warnings of the
// calling thread captured, a failed call raised as ValueError with those warnings, and the
// warnings of a call that succeeded passed on as Python warnings.

#include "Arrays.h"

#include "platform/utility/Optional.h"

#include <QStringList>

#include <optional>
#include <type_traits>
#include <utility>

namespace bindings {

/// Installs the module's Qt message handler (once, at import): warnings logged on a thread
/// inside a WarningScope are kept for it; all others go to the handler that was there.
void installMessageHandler();

/// Collects the library's warnings logged on this thread while it lives.
class WarningScope
{
public:
    WarningScope();
    ~WarningScope();
    WarningScope(const WarningScope&) = delete;
    WarningScope& operator=(const WarningScope&) = delete;
    const QStringList& messages() const { return m_messages; }

private:
    QStringList m_messages;
    QStringList* m_outer;
};

/// ValueError with the warnings, or "<function>: failed" when there were none.
[[noreturn]] void raiseFailure(const char* function, const QStringList& messages);
/// Each warning as a Python UserWarning (which the caller may turn into an error).
void passOnWarnings(const QStringList& messages);

namespace detail {
struct Fallback
{
};
struct Preferred : Fallback
{
};
template <typename T>
bool failedImpl(const T&, Fallback)
{
    return false; // numbers, pairs, level/window: every value is a result
}
template <typename T>
auto failedImpl(const T& result, Preferred) -> decltype(!static_cast<bool>(result))
{
    return !static_cast<bool>(result); // optionals, result structs and flags
}
} // namespace detail

/// Whether a core function's result means failure: an empty or unfilled image, no value,
/// an empty result struct, false.
inline bool failed(const std::shared_ptr<Image2D>& image)
{
    return !image || !image->isValid();
}
template <typename T>
bool failed(const T& result)
{
    if constexpr (std::is_arithmetic_v<T> && !std::is_same_v<T, bool>)
        return false;
    else
        return detail::failedImpl(result, detail::Preferred{});
}

/// Runs `work` (which must not touch Python objects) without the GIL, capturing warnings;
/// raises on failure.
template <typename Work>
auto callLibrary(const char* function, Work&& work)
{
    using Result = decltype(work());
    WarningScope scope;
    std::optional<Result> result;
    {
        py::gil_scoped_release release;
        result.emplace(work());
    }
    if (failed(*result))
        raiseFailure(function, scope.messages());
    passOnWarnings(scope.messages());
    return std::move(*result);
}

} // namespace bindings
