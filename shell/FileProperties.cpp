#include "FileProperties.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QMimeDatabase>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "catalog/QdLib.h"
#include "platform/DateText.h"

namespace qd {
namespace {

// As the contents list shows a date.
QString timeText(const QDateTime& t)
{
    return t.isValid() ? DateTimeText(t.toLocalTime()) : QString();
}

// "1.17 KB (1,204 バイト)", as a Japanese desktop gives a size.
QString sizeText(qint64 bytes)
{
    return QString::fromStdString(SizeToStr(bytes)) + QStringLiteral(" (") + QLocale().toString(bytes) +
           QStringLiteral(" バイト)");
}

// The mode as ls shows it: the kind, then read, write and run for the owner,
// the group and the others.
QString permissionText(const QFileInfo& info)
{
    const QFileDevice::Permissions p = info.permissions();
    QString text = info.isSymLink() ? QStringLiteral("l") : info.isDir() ? QStringLiteral("d") : QStringLiteral("-");
    const QFileDevice::Permission bits[] = {QFileDevice::ReadOwner, QFileDevice::WriteOwner, QFileDevice::ExeOwner,
                                            QFileDevice::ReadGroup, QFileDevice::WriteGroup, QFileDevice::ExeGroup,
                                            QFileDevice::ReadOther, QFileDevice::WriteOther, QFileDevice::ExeOther};
    const char marks[] = "rwx";
    for (int i = 0; i < 9; ++i)
        text += p.testFlag(bits[i]) ? QLatin1Char(marks[i % 3]) : QLatin1Char('-');
    return text;
}

QString titleFor(const QStringList& paths)
{
    QString names = QFileInfo(paths.value(0)).fileName();
    if (paths.size() > 1)
        names += QStringLiteral(", ...");
    return names + QStringLiteral(" のプロパティ");
}

} // namespace

TFileProperties::TFileProperties(const QStringList& paths, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TFileProperties"));
    setWindowTitle(titleFor(paths));

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setHeaderLabels({QStringLiteral("名前"), QStringLiteral("場所"), QStringLiteral("種類"),
                                QStringLiteral("サイズ"), QStringLiteral("作成日時"), QStringLiteral("更新日時"),
                                QStringLiteral("アクセス日時"), QStringLiteral("アクセス権"), QStringLiteral("所有者")});
    const QMimeDatabase mimes;
    for (const QString& path : paths) {
        const QFileInfo info(path); // read once, now: every column below asks the same status
        auto* row = new QTreeWidgetItem(ListView1);
        row->setText(Name, info.fileName());
        row->setText(Location, QDir::toNativeSeparators(info.absolutePath()));
        row->setText(Type, mimes.mimeTypeForFile(info).comment());
        if (!info.isDir())
            row->setText(Size, sizeText(info.size()));
        row->setTextAlignment(Size, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(Created, timeText(info.birthTime()));
        row->setText(Modified, timeText(info.lastModified()));
        row->setText(Accessed, timeText(info.lastRead()));
        row->setText(Permissions, permissionText(info));
        row->setText(Owner, info.owner() + QLatin1Char(':') + info.group());
    }
    for (int c = 0; c < ColumnCount; ++c)
        ListView1->resizeColumnToContents(c);

    B_Close = new QPushButton(QStringLiteral("閉じる"), this);
    B_Close->setObjectName(QStringLiteral("B_Close"));
    B_Close->setDefault(true);
    connect(B_Close, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(B_Close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);
    // Wide enough for every column where the screen allows, a dozen rows high at most.
    const int width = ListView1->header()->length() + 2 * ListView1->frameWidth() + 2 * layout->contentsMargins().left();
    resize(std::clamp(width, 480, 1000), 120 + 20 * int(std::min<qsizetype>(paths.size(), 12)));
}

TFileProperties* TFileProperties::Show(const QStringList& paths)
{
    auto* window = new TFileProperties(paths);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

} // namespace qd
