#include "support/WarningCapture.h"

#include <QtGlobal>

#include <mutex>

namespace testing_support {
namespace {

std::mutex g_mutex;
QStringList g_messages;
QtMessageHandler g_previous = nullptr;

void captureHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtWarningMsg && type != QtCriticalMsg)
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_messages.append(message);
}

} // namespace

WarningCapture::WarningCapture()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_messages.clear();
    g_previous = qInstallMessageHandler(captureHandler);
}

WarningCapture::~WarningCapture()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    qInstallMessageHandler(g_previous);
    g_messages.clear();
}

QStringList WarningCapture::messages() const
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_messages;
}

void WarningCapture::clear()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_messages.clear();
}

} // namespace testing_support
