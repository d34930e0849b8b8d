// ImageDialog: a modal dialog that shows one picture of the resource bundle and
// nothing else — the shortcut sheet and the about box.
//
// The picture is ":/img/<name>", or ":/img2x/<name>" (drawn at twice the size) on a
// screen of 192 DPI or more. The dialog has a title bar and a fixed frame the size
// of the picture (no size grip, at least 200 x 100), the picture in a label with no
// margin around it.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QScreen;

class ImageDialog : public QDialog {
public:
    static constexpr int MINIMUM_WIDTH = 200;
    static constexpr int MINIMUM_HEIGHT = 100;
    static constexpr double HIGH_DENSITY_DPI = 192.0;

    // `picture` is the name below ":/img/", e.g. "hotkeys/win/free". The screen decides
    // between the two sizes; null means the primary screen.
    ImageDialog(const QString& title, const QString& picture, QScreen* screen = nullptr, QWidget* parent = nullptr);

    // The resource path of `picture` for a screen of `dotsPerInch`.
    static QString picturePath(const QString& picture, double dotsPerInch);
    // The screen's density in device pixels per inch (logical DPI x device pixel ratio).
    static double screenDotsPerInch(const QScreen* screen);

    // False when the picture was not in the bundle (the label then says so).
    bool hasPicture() const { return hasPicture_; }
    const QString& path() const { return path_; }
    QLabel* pictureLabel() const { return label_; }

private:
    QLabel* label_ = nullptr;
    QString path_;
    bool hasPicture_ = false;
};
