// The Qt dialogs on Qt's offscreen platform: the image dialog's picture choice and
// fixed frame with the built resource bundle, and the text-entry dialog's rules.
#include "ImageDialog.h"
#include "TextEntryDialog.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QResource>

#include <gtest/gtest.h>

namespace {

class QtDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "app_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        static const bool registered =
            QResource::registerResource(QStringLiteral(VELLUMIN_RESOURCES "/VelluminResources.rcc"));
        ASSERT_TRUE(registered) << "the resource bundle is built with the program";
    }
};

TEST_F(QtDialogs, TheLargePictureIsChosenFrom192DotsPerInch)
{
    const std::pair<double, const char*> cases[] = {
        {72, ":/img/about/free"}, {96, ":/img/about/free"}, {191.9, ":/img/about/free"},
        {192, ":/img2x/about/free"}, {288, ":/img2x/about/free"}};
    for (const auto& [dpi, path] : cases) EXPECT_EQ(ImageDialog::picturePath("about/free", dpi), path) << dpi;
}

TEST_F(QtDialogs, TheBundleHoldsBothPicturesOfBothDialogsAtTwoSizes)
{
    for (const char* picture : {"hotkeys/win/free", "about/free"}) {
        const QImage normal(ImageDialog::picturePath(picture, 96));
        const QImage large(ImageDialog::picturePath(picture, 192));
        ASSERT_FALSE(normal.isNull()) << picture;
        ASSERT_FALSE(large.isNull()) << picture;
        EXPECT_EQ(large.size(), normal.size() * 2) << picture;
        EXPECT_GE(normal.width(), ImageDialog::MINIMUM_WIDTH);
        EXPECT_GE(normal.height(), ImageDialog::MINIMUM_HEIGHT);
    }
}

TEST_F(QtDialogs, AnImageDialogIsAFixedModalFrameAroundItsPicture)
{
    ImageDialog dialog("Shortcut Keys", "hotkeys/win/free");
    ASSERT_TRUE(dialog.hasPicture());
    const QImage picture(dialog.path());
    EXPECT_EQ(dialog.windowTitle(), "Shortcut Keys");
    EXPECT_TRUE(dialog.isModal());
    EXPECT_FALSE(dialog.isSizeGripEnabled());
    EXPECT_EQ(dialog.minimumSize(), QSize(200, 100));
    ASSERT_NE(dialog.layout(), nullptr);
    EXPECT_EQ(dialog.layout()->contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(dialog.layout()->spacing(), 0);
    EXPECT_EQ(dialog.layout()->sizeConstraint(), QLayout::SetFixedSize);
    dialog.layout()->activate();
    EXPECT_EQ(dialog.size(), picture.size() / dialog.pictureLabel()->pixmap().devicePixelRatio());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
}

TEST_F(QtDialogs, AMissingPictureSaysSoInsteadOfShowingNothing)
{
    ImageDialog dialog("About", "nothing/here");
    EXPECT_FALSE(dialog.hasPicture());
    EXPECT_TRUE(dialog.pictureLabel()->text().contains(":/img/nothing/here"));
}

TEST_F(QtDialogs, TextEntryAcceptsOnlyNamesThatFit)
{
    const QString accented = QString(128, QChar(0x00E9));  // 256 UTF-8 bytes
    const std::pair<QString, bool> cases[] = {
        {"", false}, {"   ", false}, {"Layer 2", true}, {" padded ", true},
        {QString(255, 'a'), true}, {QString(256, 'a'), false}, {accented, false}, {accented.left(127), true}};
    for (const auto& [text, ok] : cases) EXPECT_EQ(TextEntryDialog::acceptable(text, 255), ok) << text.toStdString();
}

TEST_F(QtDialogs, TextEntryStartsWithTheNameSelectedAndAnswersOnlyWhenAccepted)
{
    TextEntryDialog dialog("Rename Layer", "Layer name:", "Layer 1", 255);
    EXPECT_EQ(dialog.windowTitle(), "Rename Layer");
    EXPECT_EQ(dialog.lineEdit()->selectedText(), "Layer 1");
    EXPECT_TRUE(dialog.okButton()->isEnabled());
    dialog.lineEdit()->clear();
    EXPECT_FALSE(dialog.okButton()->isEnabled());
    dialog.lineEdit()->setText(QString::fromUtf8("Sky \xC3\xA9t\xC3\xA9"));
    EXPECT_TRUE(dialog.okButton()->isEnabled());
    EXPECT_FALSE(dialog.answer().has_value());  // not accepted yet
    dialog.okButton()->click();
    ASSERT_TRUE(dialog.answer().has_value());
    EXPECT_EQ(*dialog.answer(), "Sky \xC3\xA9t\xC3\xA9");

    TextEntryDialog cancelled("Rename Layer", "Layer name:", "Layer 1", 255);
    cancelled.reject();
    EXPECT_FALSE(cancelled.answer().has_value());
}

}  // namespace
