#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace fuzzing {

void quietProcess()
{
    static const bool done = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        if (!std::freopen("/dev/null", "w", stdout))
            std::perror("stdout");
        return true;
    }();
    (void)done;
}

// A forked worker that crashes never cleans up after itself, so each new process removes
// the folders of processes that no longer exist before making its own.
static void removeFoldersOfGoneProcesses(const QString& base)
{
    const QStringList names = QDir(base).entryList({QStringLiteral("image2d-fuzz-*")}, QDir::Dirs);
    for (const QString& name : names) {
        bool ok = false;
        const pid_t pid = pid_t(name.mid(name.lastIndexOf(QLatin1Char('-')) + 1).toInt(&ok));
        if (ok && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            QDir(base + QLatin1Char('/') + name).removeRecursively();
    }
}

QString scratchFolder()
{
    static const QString folder = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        removeFoldersOfGoneProcesses(base);
        const QString path = QStringLiteral("%1/image2d-fuzz-%2").arg(base).arg(getpid());
        QDir().mkpath(path);
        return path;
    }();
    // Registered once the folder's name is complete, so it runs before that name is destroyed.
    static const bool removedAtExit = std::atexit([] { QDir(folder).removeRecursively(); }) == 0;
    (void)removedAtExit;
    return folder;
}

QString scratchFile(const QString& name, const std::uint8_t* data, std::size_t size)
{
    const QString path = scratchFolder() + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    return path;
}

std::vector<QByteArray> splitInput(const std::uint8_t* data, std::size_t size, const QByteArray& separator)
{
    const QByteArray all(reinterpret_cast<const char*>(data), qsizetype(size));
    std::vector<QByteArray> parts;
    qsizetype from = 0;
    for (qsizetype at; (at = all.indexOf(separator, from)) >= 0; from = at + separator.size())
        parts.push_back(all.mid(from, at - from));
    parts.push_back(all.mid(from));
    return parts;
}

} // namespace fuzzing
