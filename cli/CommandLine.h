#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "Commands.h"

namespace qd::cli {

// The arguments of one command, read by Qt's parser: the command's options,
// -h/--help, and the positional arguments after the command's name. --help
// prints Qt's help, made from the command's texts and its options'.
class CommandLine {
public:
    explicit CommandLine(const Command& command);

    // An option without a value (a switch) or, with valueName, one that takes a value.
    void option(const QStringList& names, const QString& description, const QString& valueName = {});
    // A positional argument as --help names it; syntax as the usage line shows it ("[FOLDER]").
    void positional(const QString& name, const QString& description, const QString& syntax = {});

    // Reads args, the arguments after the command's name. nullopt to go on;
    // else the exit status: kOk once the help is printed, kUsage once a wrong
    // argument is reported.
    std::optional<int> parse(const QStringList& args);

    // The option --root CATALOG_ROOT, and its value: by default the catalog
    // root that the windows use.
    void rootOption();
    QString root() const;
    // The root cleaned and in the file system's bytes (see ArgumentBytes);
    // nullopt, once the usage is reported, when --root names none.
    std::optional<QByteArray> rootPath() const;
    // Reports that the root cannot be read; returns kUnreadable.
    int unreadableRoot() const;

    // The exit status when more than n positional arguments were given, once
    // the first one too many is reported; nullopt to go on.
    std::optional<int> atMost(qsizetype n) const;
    // The value of a size option (ParseSize) into out when it is given; the
    // exit status when it is no size, once reported.
    std::optional<int> sizeOption(const QString& name, std::optional<std::uint64_t>& out) const;

    bool isSet(const QString& name) const { return parser_.isSet(name); }
    QString value(const QString& name) const { return parser_.value(name); }
    // The positional arguments, the command's name left out.
    const QStringList& positionals() const { return positionals_; }

    // Reports why on standard error with the command's usage line; returns kUsage.
    int usage(const QString& why) const;

private:
    const Command& command_;
    QCommandLineParser parser_;
    QStringList positionals_;
};

// The program's arguments as text that keeps every byte, for file and folder
// names that are not UTF-8 (made on Windows in Shift-JIS): each byte that is
// no part of a UTF-8 character becomes the lone surrogate U+DC00 + byte, as
// Python's "surrogateescape" has it, which ArgumentBytes turns back into that
// byte. Everything else reads as it always has.
QStringList ArgumentsOf(int argc, char** argv);
// An argument, or a part of one, as the file system's bytes.
QByteArray ArgumentBytes(const QString& text);

// A size in bytes as options take it: digits, then K, M or G (either case)
// for kibi-, mebi- and gibibytes. nullopt for anything else.
std::optional<std::uint64_t> ParseSize(const QString& text);

// A local date, 2024-05-01, or date and time, 2024-05-01T13:45[:30], in
// ISO 8601 and without a zone (catalog times have none), as a date-time
// value. nullopt for anything else.
std::optional<double> ParseDateTime(const QString& text);

} // namespace qd::cli
