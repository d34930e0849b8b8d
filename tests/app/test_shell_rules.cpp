#include "Shell.h"

#include <gtest/gtest.h>

namespace {

TEST(ShellPlacement, SavedRectangleOnScreenIsKept)
{
    bool maximised = true;
    WindowRect r = Shell::placeWindow({50, 60, 800, 600}, false, {0, 0, 1920, 1080}, &maximised);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.width, 800);
    EXPECT_EQ(r.height, 600);
    EXPECT_FALSE(maximised);
}

TEST(ShellPlacement, RectangleReachingOffScreenOrFirstStartFallsBack)
{
    const WindowRect screen{0, 0, 1920, 1080};
    const WindowRect offScreen[] = {{1800, 60, 800, 600}, {-10, 0, 800, 600}, {0, 0, 0, 0}, {0, 500, 800, 600}};
    for (const WindowRect& saved : offScreen) {
        bool maximised = false;
        WindowRect r = Shell::placeWindow(saved, false, screen, &maximised);
        EXPECT_EQ(r.left, 100);
        EXPECT_EQ(r.top, 100);
        EXPECT_EQ(r.width, 1720);
        EXPECT_EQ(r.height, 880);
        EXPECT_TRUE(maximised);
    }
}

TEST(ShellResources, FolderOfTheFirstArgument)
{
    EXPECT_EQ(Shell::resourceDirectory("/opt/vellumin/bin/vellumin"), "/opt/vellumin/bin/Application/Resources");
    EXPECT_EQ(Shell::resourceDirectory("C:\\Apps\\vellumin.exe"), "C:\\Apps\\Application/Resources");
    EXPECT_EQ(Shell::resourceDirectory("vellumin"), "Application/Resources");
    EXPECT_EQ(Shell::resourceDirectory(nullptr), "Application/Resources");
}

}  // namespace
