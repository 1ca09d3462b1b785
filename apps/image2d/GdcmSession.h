#pragma once

#include <gdcmTrace.h>

#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

namespace tool {

/// GDCM reports through global streams, so DICOM files are read and written one at a
/// time. Its messages are caught instead of printed: one clear error line is what the user
/// gets, and a warning about incomplete pixel data is how a truncated file shows (the
/// reader pads the missing bytes with zeros).
class GdcmSession
{
public:
    GdcmSession() : m_lock(mutex())
    {
        sink().str({});
        gdcm::Trace::SetDebug(false);
        gdcm::Trace::SetWarningStream(sink());
        gdcm::Trace::SetErrorStream(sink());
        gdcm::Trace::SetWarning(true);
        gdcm::Trace::SetError(true);
        // Some codecs print straight to std::cerr.
        m_oldCerr = std::cerr.rdbuf(sink().rdbuf());
    }
    ~GdcmSession()
    {
        std::cerr.rdbuf(m_oldCerr);
        gdcm::Trace::SetWarning(false);
        gdcm::Trace::SetError(false);
    }
    GdcmSession(const GdcmSession&) = delete;
    GdcmSession& operator=(const GdcmSession&) = delete;

    bool reported(const char* text) const { return sink().str().find(text) != std::string::npos; }

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::ostringstream& sink()
    {
        static std::ostringstream s;
        return s;
    }
    std::lock_guard<std::mutex> m_lock;
    std::streambuf* m_oldCerr = nullptr;
};

} // namespace tool
