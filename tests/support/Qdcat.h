#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <spawn.h>
#include <utility>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// The same with arguments given as bytes, for names that are not UTF-8,
// which QProcess cannot pass: they reach qdcat exactly as given.
inline QdcatResult runQdcatBytes(std::vector<QByteArray> args,
                                 const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    args.insert(args.begin(), QByteArrayLiteral(QDCAT_PATH));
    std::vector<QByteArray> variables;
    for (const QString& v : env.toStringList())
        variables.push_back(v.toLocal8Bit());
    const auto pointers = [](std::vector<QByteArray>& list) {
        std::vector<char*> p;
        for (QByteArray& b : list)
            p.push_back(b.data());
        p.push_back(nullptr);
        return p;
    };
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(out), 1);
    posix_spawn_file_actions_adddup2(&actions, fileno(err), 2);
    QdcatResult r;
    pid_t pid = -1;
    int status = 0;
    if (posix_spawn(&pid, args[0].constData(), &actions, nullptr, pointers(args).data(), pointers(variables).data()) == 0 &&
        ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.exitCode = WEXITSTATUS(status);
    posix_spawn_file_actions_destroy(&actions);
    for (auto [file, bytes] : {std::pair{out, &r.out}, std::pair{err, &r.err}}) {
        std::rewind(file);
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            bytes->append(buffer, qsizetype(n));
        std::fclose(file);
    }
    return r;
}

// A child setup for runQdcat that drops root to nobody, whom permissions
// refuse as they refuse an ordinary user; it leaves any other user as is.
inline void AsNobody()
{
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        ::_exit(77);
}

} // namespace qd::test
