#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace qd {

// The search dialog "ファイルの検索": the text to search for and the two
// buttons. Made once at program start, after the main window, with an empty
// text that is then kept from one search to the next for the whole run. The
// main window shows it modally; "検索開始" (the default button, so Enter
// presses it) accepts, "キャンセル" and the close box reject.
class TForm_SearchFile : public QDialog {
    Q_OBJECT
public:
    explicit TForm_SearchFile(QWidget* parent = nullptr);

    QLineEdit* Edit1;     // the text to search for
    QPushButton* Button1; // "検索開始"
    QPushButton* Button2; // "キャンセル"

    void Button1Click();
    void Button2Click();
};

} // namespace qd
