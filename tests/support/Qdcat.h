#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace qd::test {

struct QdcatResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the built qdcat with the arguments and waits for it.
inline QdcatResult runQdcat(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                            const QString& workingFolder = {})
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workingFolder.isEmpty())
        p.setWorkingDirectory(workingFolder);
    p.start(QStringLiteral(QDCAT_PATH), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

} // namespace qd::test
