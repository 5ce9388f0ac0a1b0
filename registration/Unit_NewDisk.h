#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <memory>

#include "catalog/Disk.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace qd {

class TIconPicker;
class TShDriveComboBox;

// The new-disk wizard: drive, title, walk, icon, finish. Created once and
// reused for every registration; each showing starts on the drive page with an
// empty wizard disk, so nothing of an abandoned registration survives.
// Finish writes one catalog file into the catalog folder given by the main
// window; every other way out writes nothing.
class TForm_NewDisk : public QDialog {
    Q_OBJECT
public:
    explicit TForm_NewDisk(QWidget* parent = nullptr);
    ~TForm_NewDisk() override;

    // Shows the wizard modally at topLeft for a new catalog in catalogFolder
    // (file-system bytes ending in "/", inside catalogRoot) and returns when
    // it closes: the catalog file written, empty when none was. A drive given
    // is the one the drive box offers (the disk just put into it).
    QByteArray ShowFor(const QByteArray& catalogFolder, const QByteArray& catalogRoot, const QPoint& topLeft,
                       QChar drive = QChar());

    // The catalog file the last Finish wrote; empty until one is written.
    QByteArray SavedFile;

    // The folder the catalog goes into (file-system bytes ending in "/"), and
    // the catalog root it must resolve into when the catalog is written.
    QByteArray CatalogFolderPath;
    QByteArray CatalogRootPath;
    // The wizard disk.
    TDisk Disk;

    // Pages and controls, by their names.
    QStackedWidget* PageControl1; // the five pages, one shown at a time
    QWidget* TabSheet1;           // 作成開始: the drive
    QWidget* TabSheet2;           // タイトルの入力: the title
    QWidget* TabSheet3;           // ファイル名の読み込み: the walk
    QWidget* TabSheet4;           // アイコンの選択: the icon
    QWidget* TabSheet5;           // 完了: finish
    TShDriveComboBox* ShDriveComboBox1;
    QLineEdit* E_Title;
    QLabel* ST_DiskSize;
    QLabel* ST_FreeSize;
    QLabel* ST_SearchFolder;
    QLabel* ST_CountFile;
    QLabel* ST_CountFolder;
    QLabel* Animate1;       // the picture in the walk page's header
    TIconPicker* IconPicker;
    QPushButton* B_Next1;
    QPushButton* BitBtn1;   // the drive page's キャンセル
    QPushButton* B_Back0;
    QPushButton* B_Next2;
    QPushButton* B_Cancel1;
    QPushButton* BitBtn6;   // the walk page's キャンセル: asks to stop the walk
    QPushButton* BitBtn8;   // the icon page's 次へ
    QPushButton* BitBtn7;   // the icon page's キャンセル
    QPushButton* B_Finish;
    QPushButton* B_Cancel5;

    // Handlers.
    void FormShow();
    void B_Next1Click();
    void B_Back0Click();
    void B_Next2Click();
    void B_SearchClick();
    void BitBtn6Click();
    void BitBtn8Click();
    void AskStop(); // BitBtn7 and B_Cancel5
    void B_FinishClick();

    // True while the walk runs.
    bool Walking() const { return walking_; }

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Walk;
    QWidget* makePage(const char* name, const char* title, const char* instructions,
                      std::initializer_list<QPushButton*> buttons, QPushButton* defaultButton);
    QPushButton* button(const char* name, const char* caption);
    void setPage(QWidget* page);

    bool save(); // B_FinishClick's work: true when the catalog was written

    std::unique_ptr<Walk> walk_;
    // The catalog the user agreed to overwrite (its name as on disk, which
    // may differ from the title in case); empty when none was there.
    QByteArray overwrite_;
    bool walking_ = false;
    bool closeRequested_ = false;
};

} // namespace qd
