#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <string>

#include "registration/ImageListBox.h"

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace qd {

class ImageList;

// The icon page of the new-disk wizard: the user picks one small icon from
// one of four sources, and it becomes the disk's 16 x 16 image and mask.
//
// The page owns the disk-icon list (which the walk fills), the system icons
// and the icons of a chosen file; the fourth source is the shared system
// image list of small icons. The icon chosen mark is set by the first
// selection after a completed walk; the image and mask change only when an
// icon is selected, never by a switch of source.
class TIconPicker : public QWidget {
    Q_OBJECT
public:
    // Answers the open-file dialog: the chosen file's path, empty when cancelled.
    using OpenFileDialog = std::function<QString(QWidget* owner, const QString& filter)>;
    // The filter text of the open-file dialog, in the Windows "text|patterns|..." form.
    static const QString kFileFilter;
    // The text of each source, in ComboBox1's order.
    static const QStringList kSources;

    explicit TIconPicker(QWidget* parent = nullptr);
    ~TIconPicker() override;

    // The list the walk appends the icons of program and icon files to.
    ImageList* DiskIcons() const { return ImageListS; }
    // The image list of a source (0 to 3), nullptr for another number.
    const ImageList* SourceList(int source) const;

    // After a completed walk: source 0 without its change event, the
    // disk-icon list in the box, the mark cleared; then makeCurrent (the
    // wizard shows the page), one round of pending events so that the page
    // paints, and then the system icons are filled.
    void WalkCompleted(const std::function<void()>& makeCurrent = {});
    // The wizard's Next: true when an icon has been chosen; otherwise shows
    // "アイコンは必ず選択してください。" (caption "注意", stop icon) and gives false.
    bool CheckIconChosen();
    bool IconChosen() const { return iconChosen_; }

    // The disk's icon: 16 x 16, transparent pixels white in the image (RGB32)
    // and white in the mask (Format_Mono, black = opaque).
    QImage IconImage() const { return iconImage_; }
    QImage IconMask() const { return iconMask_; }
    // The same as BMP file images for TDisk::IconImage (24-bit colour) and
    // TDisk::IconMask (1-bit, colour 0 black, colour 1 white).
    std::string IconImageBmp() const;
    std::string IconMaskBmp() const;

    // Handlers.
    void ComboBox1Change();
    void ImageListBox1Click();
    void B_AddWinIconClick();
    void B_AddFileIconClick();

    // Controls.
    QComboBox* ComboBox1;         // the icon source, one of kSources
    TImageListBox* ImageListBox1; // the icons of the source
    QFrame* Frame1;  // the sunken frame around the preview
    QLabel* Image1;  // the preview
    QPushButton* B_AddWinIcon;
    QPushButton* B_AddFileIcon;
    // The open-file dialog of the third source; by default a QFileDialog
    // over the filter above.
    OpenFileDialog OpenDialog1;

private:
    ImageList* ImageListS;     // source 0: the icons the walk found on the disk
    ImageList* ImageList_Win;  // source 1: the system's standard icons
    ImageList* ImageList_File; // source 2: the icons of a chosen file
    ImageList* SysIconS;       // source 3: the shared system image list (not owned)
    QImage iconImage_;
    QImage iconMask_;
    bool iconChosen_ = false;
};

} // namespace qd
