#include "CommandLine.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <cstdio>

#include "catalog/QdLib.h"

#include "platform/CatalogRoot.h"
#include "platform/CatalogStore.h"

namespace qd::cli {

CommandLine::CommandLine(const Command& command) : command_(command)
{
    parser_.setApplicationDescription(QString::fromUtf8(command.summary) + u'\n' + QString::fromUtf8(command.details));
    parser_.addHelpOption();
    // Qt's way with commands: the command's name is the first positional argument.
    const QString name = QString::fromLatin1(command.name);
    parser_.addPositionalArgument(name, QString::fromUtf8(command.summary), name);
}

void CommandLine::option(const QStringList& names, const QString& description, const QString& valueName)
{
    parser_.addOption(QCommandLineOption(names, description, valueName));
}

void CommandLine::positional(const QString& name, const QString& description, const QString& syntax)
{
    parser_.addPositionalArgument(name, description, syntax);
}

void CommandLine::rootOption()
{
    option({QStringLiteral("root")}, QStringLiteral("The catalog root (default: %1).").arg(CatalogRoot()),
           QStringLiteral("CATALOG_ROOT"));
}

QString CommandLine::root() const
{
    return isSet(QStringLiteral("root")) ? value(QStringLiteral("root")) : CatalogRoot();
}

std::optional<QByteArray> CommandLine::rootPath() const
{
    const QString named = root();
    if (named.isEmpty()) {
        usage(QStringLiteral("name the catalog root"));
        return std::nullopt;
    }
    return ArgumentBytes(QDir::cleanPath(named));
}

int CommandLine::unreadableRoot() const
{
    printError(QStringLiteral("cannot read the catalog root %1").arg(DisplayFileName(ArgumentBytes(root()))));
    return kUnreadable;
}

std::optional<int> CommandLine::atMost(qsizetype n) const
{
    if (positionals_.size() <= n)
        return std::nullopt;
    return usage(QStringLiteral("unexpected argument \"%1\"").arg(positionals_[n]));
}

std::optional<int> CommandLine::sizeOption(const QString& name, std::optional<std::uint64_t>& out) const
{
    if (!isSet(name))
        return std::nullopt;
    out = ParseSize(value(name));
    if (out)
        return std::nullopt;
    return usage(QStringLiteral("\"%1\" is no size such as 4096, 700K or 2G").arg(value(name)));
}

std::optional<int> CommandLine::parse(const QStringList& args)
{
    const QStringList head{QCoreApplication::arguments().value(0, QStringLiteral("qdcat")), QString::fromLatin1(command_.name)};
    // "--" makes only the one argument after it positional (a text that
    // begins with a dash), as qdcat has always read it: options after it are
    // still options. Qt's parser would take everything after "--" as
    // positional, so the pair is taken out and put back in its place among
    // the positional arguments before it.
    QStringList rest = args;
    std::optional<QString> dashed;
    qsizetype dashedAt = 0;
    const qsizetype dashes = rest.indexOf(QStringLiteral("--"));
    if (dashes >= 0 && dashes + 1 < rest.size()) {
        dashed = rest.takeAt(dashes + 1);
        rest.removeAt(dashes);
        if (parser_.parse(head + rest.mid(0, dashes)))
            dashedAt = parser_.positionalArguments().size();
    }
    if (!parser_.parse(head + rest))
        return usage(parser_.errorText());
    if (parser_.isSet(QStringLiteral("help")) || parser_.isSet(QStringLiteral("help-all"))) {
        std::fputs(parser_.helpText().toLocal8Bit().constData(), stdout);
        return kOk;
    }
    QStringList positionals = parser_.positionalArguments();
    if (dashed)
        positionals.insert(qMax<qsizetype>(dashedAt, 1), *dashed);
    positionals_ = positionals.mid(1);
    return std::nullopt;
}

int CommandLine::usage(const QString& why) const
{
    printError(why + QStringLiteral("\nusage: qdcat %1 %2").arg(QString::fromLatin1(command_.name), QString::fromUtf8(command_.arguments)));
    return kUsage;
}

QStringList ArgumentsOf(int argc, char** argv)
{
    QStringList out;
    for (int i = 0; i < argc; ++i) {
        const QByteArrayView bytes(argv[i]);
        if (bytes.isValidUtf8()) {
            out << QString::fromUtf8(bytes);
            continue;
        }
        QString text;
        for (qsizetype at = 0; at < bytes.size();) {
            const auto lead = static_cast<unsigned char>(bytes[at]);
            const qsizetype length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
            if (length > 0 && at + length <= bytes.size() && bytes.sliced(at, length).isValidUtf8()) {
                text += QString::fromUtf8(bytes.sliced(at, length));
                at += length;
            } else {
                text += QChar(char16_t(0xDC00 + lead));
                ++at;
            }
        }
        out << text;
    }
    return out;
}

QByteArray ArgumentBytes(const QString& text)
{
    QByteArray out;
    qsizetype run = 0; // where the text not yet written begins
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        // A low surrogate after a high one is half of a character, not a byte.
        if (u < 0xDC80 || u > 0xDCFF || (i > 0 && QChar::isHighSurrogate(text[i - 1].unicode())))
            continue;
        out += QStringView(text).sliced(run, i - run).toUtf8();
        out += char(u - 0xDC00);
        run = i + 1;
    }
    return out + QStringView(text).sliced(run).toUtf8();
}

std::optional<std::uint64_t> ParseSize(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,19})([KMG]?)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const std::uint64_t n = m.captured(1).toULongLong(&ok);
    const QString unit = m.captured(2).toUpper();
    const int shift = unit == u"K" ? 10 : unit == u"M" ? 20 : unit == u"G" ? 30 : 0;
    if (!ok || n > (UINT64_MAX >> shift))
        return std::nullopt;
    return n << shift;
}

std::optional<double> ParseDateTime(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[T ](\\d{2}):(\\d{2})(?::(\\d{2}))?)?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid() || date.year() < 1)
        return std::nullopt;
    return CivilToDateTime({date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()});
}

} // namespace qd::cli
