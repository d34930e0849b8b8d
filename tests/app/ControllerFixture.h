// A controller on the scripted window layer with a real Mesa GL context, in a
// private home folder.
#pragma once

#include "DocumentController.h"
#include "GlTestContext.h"
#include "ScriptedWindowLayer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vellumin-controller-XXXXXX";
        root_ = mkdtemp(pattern);
        setenv("HOME", root_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        setenv("XDG_STATE_HOME", (root_ + "/state").c_str(), 1);
        setenv("XDG_DOCUMENTS_DIR", (root_ + "/documents").c_str(), 1);
        window_.glExtensionLoader = [] { return glTestContextMakeCurrent(); };
        setWindowLayer(&window_);
    }
    void TearDown() override
    {
        controller_.reset();
        setTheController(nullptr);
        setWindowLayer(nullptr);
        std::string command = "rm -rf '" + root_ + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    // Creates the controller with the built resources (or `resources`).
    DocumentController& create(const std::string& resources = VELLUMIN_RESOURCES)
    {
        controller_ = DocumentController::create(window_, resources);
        EXPECT_TRUE(controller_);
        setTheController(controller_.get());
        return *controller_;
    }

    std::string root_;
    ScriptedWindowLayer window_;
    std::unique_ptr<DocumentController> controller_;
};
