#include "CatalogErrors.h"

#include <cstring>

#include "catalog/DiskFile.h"
#include "platform/CatalogStore.h"

namespace qd {
namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// The sentence, the file on the next line, and the system's reason after it.
QString compose(const QString& sentence, const QByteArray& path, const QString& reason)
{
    QString text = sentence;
    if (!path.isEmpty())
        text += QStringLiteral("\r\n") + DisplayFileName(path);
    if (!reason.isEmpty())
        text += QStringLiteral("\r\n(") + reason + u')';
    return text;
}

QString sentence(const CatalogError& e)
{
    using Code = CatalogError::Code;
    switch (e.code()) {
    case Code::Open: return u("ファイルを開けません。");
    case Code::Read: return u("ファイルを読み込めません。");
    case Code::NotRegular: return u("通常のファイルではないため開けません。");
    case Code::Damaged: return u("ファイルが壊れています。（オフセット %1）").arg(e.offset());
    case Code::BadIcon: return u("アイコンの画像が壊れています。（オフセット %1）").arg(e.offset());
    case Code::TooLarge: return u("名前が255バイトを超えているなど、カタログに保存できないデータがあります。");
    case Code::Create: return u("ファイルを作成できません。");
    case Code::Write: return u("ファイルに書き込めません。");
    case Code::Replace: return u("ファイルを置き換えられません。");
    case Code::Exists: return u("同じ名前のファイルがすでに存在します。");
    case Code::Vanished: return u("ファイルが移動または削除されています。");
    case Code::ReadOnly: return u("ファイルは読み取り専用のため変更できません。");
    case Code::Busy: return u("カタログはほかのプログラムで使用中です。しばらくしてからもう一度お試しください。");
    }
    return UnknownErrorText();
}

} // namespace

QString CatalogErrorText(const CatalogError& error)
{
    // A reason the sentence already gives is not repeated.
    const bool saysWhy = error.code() == CatalogError::Code::Exists || error.code() == CatalogError::Code::Vanished ||
                         error.code() == CatalogError::Code::ReadOnly || error.code() == CatalogError::Code::Busy;
    const QString reason =
        error.systemError() != 0 && !saysWhy ? QString::fromLocal8Bit(std::strerror(error.systemError())) : QString();
    return compose(sentence(error), QByteArray::fromStdString(error.file()), reason);
}

QString CreateFolderErrorText(const QByteArray& path, const QString& reason)
{
    return compose(u("フォルダを作成できません。"), path, reason);
}

QString TrashErrorText(const QByteArray& path, const QString& reason)
{
    return compose(u("ごみ箱に移動できません。"), path, reason);
}

QString OutsideRootText(const QByteArray& path, const QByteArray& root)
{
    return compose(u("カタログのフォルダの外にあります。"), path, QString()) + QStringLiteral("\r\n") +
           u("カタログのフォルダ: ") + DisplayFileName(root);
}

QString UnknownErrorText()
{
    return u("不明なエラーが発生しました。");
}

} // namespace qd
