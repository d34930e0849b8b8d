#include "ImageDialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>

QString ImageDialog::picturePath(const QString& picture, double dotsPerInch)
{
    return (dotsPerInch >= HIGH_DENSITY_DPI ? QStringLiteral(":/img2x/") : QStringLiteral(":/img/")) + picture;
}

double ImageDialog::screenDotsPerInch(const QScreen* screen)
{
    if (!screen) return 96.0;
    return screen->logicalDotsPerInch() * screen->devicePixelRatio();
}

ImageDialog::ImageDialog(const QString& title, const QString& picture, QScreen* screen, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    if (!screen) screen = QGuiApplication::primaryScreen();
    setWindowTitle(title);
    setModal(true);
    setSizeGripEnabled(false);
    setMinimumSize(MINIMUM_WIDTH, MINIMUM_HEIGHT);

    const double dotsPerInch = screenDotsPerInch(screen);
    path_ = picturePath(picture, dotsPerInch);
    QPixmap pixmap(path_);
    hasPicture_ = !pixmap.isNull();
    // The large picture is drawn for two device pixels per logical one; where Qt
    // scales the screen by two, it is shown pixel for pixel.
    if (hasPicture_ && dotsPerInch >= HIGH_DENSITY_DPI && screen && screen->devicePixelRatio() >= 2.0)
        pixmap.setDevicePixelRatio(2.0);

    label_ = new QLabel(this);
    if (hasPicture_) {
        label_->setPixmap(pixmap);
    } else {
        label_->setText(QStringLiteral("The picture %1 is missing from the program's resources.").arg(path_));
        label_->setMargin(12);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(label_);
}
