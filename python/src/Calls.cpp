#include "Calls.h"

#include <QtGlobal>

#include <cstdio>
#include <mutex>

namespace bindings {

namespace {

thread_local QStringList* t_capture = nullptr;
QtMessageHandler g_previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (t_capture && (type == QtWarningMsg || type == QtCriticalMsg))
    {
        t_capture->append(message);
        return;
    }
    if (g_previous)
        g_previous(type, context, message);
    else if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qUtf8Printable(message));
}

} // namespace

void installMessageHandler()
{
    static std::once_flag once;
    std::call_once(once, [] { g_previous = qInstallMessageHandler(handler); });
}

WarningScope::WarningScope() : m_outer(t_capture)
{
    t_capture = &m_messages;
}

WarningScope::~WarningScope()
{
    t_capture = m_outer;
    if (m_outer)
        m_outer->append(m_messages);
}

void raiseFailure(const char* function, const QStringList& messages)
{
    const QString text = messages.isEmpty() ? QStringLiteral("%1: failed").arg(QLatin1String(function))
                                            : messages.join(QLatin1Char('\n'));
    throw py::value_error(text.toStdString());
}

void passOnWarnings(const QStringList& messages)
{
    for (const QString& message : messages)
        if (PyErr_WarnEx(PyExc_UserWarning, message.toUtf8().constData(), 2) < 0)
            throw py::error_already_set();
}

} // namespace bindings
