#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <unistd.h>

namespace qd::test {

struct QdcatResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the built qdcat with the arguments and waits for it. childSetup, when
// given, runs in the child before qdcat starts (to drop privileges, say).
inline QdcatResult runQdcat(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                            const QString& workingFolder = {}, const std::function<void()>& childSetup = {})
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workingFolder.isEmpty())
        p.setWorkingDirectory(workingFolder);
    if (childSetup)
        p.setChildProcessModifier(childSetup);
    p.start(QStringLiteral(QDCAT_PATH), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

// A child setup for runQdcat that drops root to nobody, whom permissions
// refuse as they refuse an ordinary user; it leaves any other user as is.
inline void AsNobody()
{
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        ::_exit(77);
}

} // namespace qd::test
