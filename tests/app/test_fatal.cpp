#include "ControllerFixture.h"
#include "ErrorMessages.h"
#include "Fatal.h"

namespace {

using FatalTest = ControllerTest;

TEST_F(FatalTest, WithoutControllerShowsTheMessageAndExitsZero)
{
    try {
        fatal(nullptr, 42);
        FAIL() << "fatal returned";
    } catch (const ScriptedExit& exit) {
        EXPECT_EQ(exit.code, 0);
    }
    ASSERT_EQ(window_.messages.size(), 1u);
    const auto& box = window_.messages[0];
    EXPECT_FALSE(box.owned);
    EXPECT_EQ(box.caption, "Error Message");
    EXPECT_EQ(box.icon, MessageIcon::Warning);
    EXPECT_FALSE(box.yesNo);
    EXPECT_EQ(box.text, "Exiting due to an unexpected error. Code: 42.\n");
    EXPECT_EQ(box.cursorWhileShown, SystemCursor::Arrow);
}

TEST_F(FatalTest, CleanCanvasOnlyTellsAndExits)
{
    DocumentController& controller = create();
    window_.messages.clear();
    window_.setCursor(controller.toolCursor());
    EXPECT_THROW(fatal(&controller, GFX_ERR_INTERNAL), ScriptedExit);
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_TRUE(window_.messages[0].owned);
    EXPECT_EQ(window_.messages[0].text, messageFor(GFX_ERR_INTERNAL));
    EXPECT_EQ(window_.messages[0].cursorWhileShown, SystemCursor::Arrow);
    EXPECT_EQ(window_.cursor, controller.toolCursor());
    EXPECT_TRUE(window_.fileDialogs.empty());
}

TEST_F(FatalTest, UnsavedCanvasOffersTheSaveDialog)
{
    DocumentController& controller = create();
    window_.messages.clear();
    controller.markChanged();
    std::string path = root_ + "/rescued.art";
    window_.messageAnswers = {MessageAnswer::Yes};
    window_.fileAnswers = {path};
    EXPECT_THROW(fatal(&controller, GFX_ERR_FAILED), ScriptedExit);
    ASSERT_EQ(window_.messages.size(), 1u);
    EXPECT_EQ(window_.messages[0].text, messageFor(GFX_ERR_FAILED) + "\nAttempt to save changes to the canvas?");
    EXPECT_TRUE(window_.messages[0].yesNo);
    EXPECT_FALSE(window_.messages[0].cancel);
    ASSERT_EQ(window_.fileDialogs.size(), 1u);
    EXPECT_TRUE(window_.fileDialogs[0].save);
    EXPECT_EQ(window_.fileDialogs[0].request.title, "Save Canvas As");
    EXPECT_TRUE(controller.isClean());
    FILE* saved = std::fopen(path.c_str(), "rb");
    ASSERT_NE(saved, nullptr) << "the rescue save wrote nothing";
    std::fclose(saved);
}

TEST_F(FatalTest, ARescueSaveThatFailsAsksAgain)
{
    DocumentController& controller = create();
    window_.messages.clear();
    controller.markChanged();
    std::string good = root_ + "/second try.art";
    window_.messageAnswers = {MessageAnswer::Yes, MessageAnswer::Ok, MessageAnswer::Yes};
    window_.fileAnswers = {root_ + "/missing folder/first try.art", good};
    EXPECT_THROW(fatal(&controller, GFX_ERR_FAILED), ScriptedExit);
    // The question, the write failure, the question again.
    ASSERT_EQ(window_.messages.size(), 3u);
    EXPECT_EQ(window_.messages[1].text, "Vellumin is unable to open the file!\n");
    EXPECT_EQ(window_.messages[2].text, window_.messages[0].text);
    FILE* saved = std::fopen(good.c_str(), "rb");
    ASSERT_NE(saved, nullptr);
    std::fclose(saved);
}

TEST_F(FatalTest, UnsavedCanvasAnsweredNoAsksForNoPath)
{
    DocumentController& controller = create();
    window_.messages.clear();
    controller.markChanged();
    window_.messageAnswers = {MessageAnswer::No};
    EXPECT_THROW(fatal(&controller, GFX_ERR_FAILED), ScriptedExit);
    EXPECT_TRUE(window_.fileDialogs.empty());
    EXPECT_TRUE(controller.isClean());
}

TEST_F(FatalTest, ShowMessageKindsAndAnswers)
{
    struct Case {
        int32_t kind;
        MessageIcon icon;
        bool yesNo, cancel;
    };
    const Case cases[] = {{MESSAGE_PLAIN, MessageIcon::NoIcon, false, false},
                          {MESSAGE_WARNING, MessageIcon::Warning, false, false},
                          {MESSAGE_QUESTION, MessageIcon::Question, true, false},
                          {MESSAGE_YES_NO_CANCEL, MessageIcon::Warning, true, true}};
    for (const Case& c : cases) {
        window_.messages.clear();
        window_.messageAnswers = {c.yesNo ? MessageAnswer::No : MessageAnswer::Ok};
        int32_t answer = showMessage(nullptr, "text", "caption", c.kind);
        ASSERT_EQ(window_.messages.size(), 1u);
        EXPECT_EQ(window_.messages[0].icon, c.icon);
        EXPECT_EQ(window_.messages[0].yesNo, c.yesNo);
        EXPECT_EQ(window_.messages[0].cancel, c.cancel);
        EXPECT_EQ(answer, c.yesNo ? ANSWER_NO : ANSWER_OK);
    }
    window_.messages.clear();
    EXPECT_EQ(showMessage(nullptr, "text", "caption", 4), ANSWER_OTHER);
    EXPECT_TRUE(window_.messages.empty());
}

}  // namespace
