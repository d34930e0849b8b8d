#include "ErrorMessages.h"

#include <gtest/gtest.h>

namespace {

struct MessageCase {
    int32_t code;
    const char* text;
};

const MessageCase kMessages[] = {
    {0, "Existing due to the app reaching an undefined state!\n"},
    {1, "Exiting due to insufficient memory.\n"},
    {3, "Exiting due to insufficient OpenGL support.\nVellumin requires that your system support OpenGL 2.0 or higher.\n"},
    {4, "Exiting due to insufficient GPU support.\nVellumin requires that your system support OpenGL 2.0 or higher.\n"},
    {5, "Exiting due to attempt to use an unsupported feature!\n"},
    {6, "Exiting due to attempt to use an invalid input!\n"},
    {7, "Exiting due to an internal error!\n"},
    {8, "Exiting due to an operation happening at the wrong time!\nThe drawing actions were not finalised, which was unexpected.\n"},
    {9, "Exiting due to an operation happening at the wrong time!\nThe transform was not finalised, which was unexpected.\n"},
    {1000, "Vellumin is unable to open the file!\n"},
    {1001, "This file is in an unsupported format.\n"},
    {2, "Exiting due to an unexpected error. Code: 2.\n"},
    {42, "Exiting due to an unexpected error. Code: 42.\n"},
    {-1, "Exiting due to an unexpected error. Code: -1.\n"},
};

TEST(ErrorMessages, EveryCodeHasItsText)
{
    for (const MessageCase& c : kMessages) EXPECT_EQ(messageFor(c.code), c.text) << "code " << c.code;
}

}  // namespace
