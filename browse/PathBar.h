#pragma once

#include <QLabel>

namespace qd {

// The path bar under the file list (P_FolderName): a one-line sunken panel
// naming the folder shown. text() is always the whole path; a path too long
// for the bar is drawn without its start ("…\写真\2024\旅行"), so that the
// folder shown stays in sight, and the whole path is the bar's tooltip. Its
// width never follows the path.
class TPathBar : public QLabel {
    Q_OBJECT
public:
    explicit TPathBar(QWidget* parent = nullptr);

    // The text as drawn at the bar's present width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRect textRect() const;
};

} // namespace qd
