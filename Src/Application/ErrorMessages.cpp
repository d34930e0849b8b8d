#include "ErrorMessages.h"

#include "Gfx.h"

#include <cstdio>

std::string messageFor(int32_t code)
{
    const char* opengl = "Vellumin requires that your system support OpenGL 2.0 or higher.\n";
    switch (code) {
    // The misspelling is the program's long-standing wording; users quote it in reports.
    case GFX_OK: return "Existing due to the app reaching an undefined state!\n";
    case GFX_ERR_FAILED: return "Exiting due to insufficient memory.\n";
    case GFX_ERR_GL_SUPPORT: return std::string("Exiting due to insufficient OpenGL support.\n") + opengl;
    case GFX_ERR_GPU_SUPPORT: return std::string("Exiting due to insufficient GPU support.\n") + opengl;
    case 5: return "Exiting due to attempt to use an unsupported feature!\n";
    case GFX_ERR_INVALID: return "Exiting due to attempt to use an invalid input!\n";
    case GFX_ERR_INTERNAL: return "Exiting due to an internal error!\n";
    case GFX_ERR_ELEMENT_ACTIVE:
        return "Exiting due to an operation happening at the wrong time!\n"
               "The drawing actions were not finalised, which was unexpected.\n";
    case GFX_ERR_TRANSFORM_ACTIVE:
        return "Exiting due to an operation happening at the wrong time!\n"
               "The transform was not finalised, which was unexpected.\n";
    case FILE_ERR_CANNOT_OPEN: return "Vellumin is unable to open the file!\n";
    case FILE_ERR_UNSUPPORTED_FORMAT: return "This file is in an unsupported format.\n";
    default: break;
    }
    char text[96];
    std::snprintf(text, sizeof text, "Exiting due to an unexpected error. Code: %d.\n", static_cast<int>(code));
    return text;
}
