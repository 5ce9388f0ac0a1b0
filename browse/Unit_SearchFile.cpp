#include "Unit_SearchFile.h"

#include <QLineEdit>
#include <QPushButton>

#include "platform/Fonts.h"

namespace qd {
namespace {

// The design: a client area of 267 x 75 at 290, 248 on the screen.
constexpr int kLeft = 290;
constexpr int kTop = 248;
constexpr int kClientWidth = 267;
constexpr int kClientHeight = 75;

} // namespace

TForm_SearchFile::TForm_SearchFile(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form_SearchFile"));
    setWindowTitle(QStringLiteral("ファイルの検索"));
    setFont(WindowFont());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    move(kLeft, kTop); // kept from one showing to the next

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 8, 249, 21);
    Edit1->clear();

    Button1 = new QPushButton(QStringLiteral("検索開始"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(40, 40, 75, 22);
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(136, 40, 75, 22);
    Button2->setAutoDefault(false);

    connect(Button1, &QPushButton::clicked, this, &TForm_SearchFile::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm_SearchFile::Button2Click);
}

void TForm_SearchFile::Button1Click()
{
    accept();
}

void TForm_SearchFile::Button2Click()
{
    reject();
}

} // namespace qd
