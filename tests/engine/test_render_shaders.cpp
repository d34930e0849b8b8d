// The marker and pencil programs: built from the embedded stage files with the
// shared prelude, refused when a stage is broken, and the marker's density written
// as depth inside consecutive bands of VBO_Z_BAND_INCREMENT.
#include "GfxShaderSources.h"
#include "GfxShaders.h"
#include "RenderTestSupport.h"

#include <cmath>
#include <string>

namespace {

using RenderShadersTest = RenderTest;

TEST_F(RenderShadersTest, BothProgramsAreBuiltAtTheFirstFrame)
{
    EXPECT_EQ(system->programCount, 0);
    render();
    EXPECT_EQ(system->programCount, 2);
    EXPECT_NE(system->markerProgram, 0u);
    EXPECT_NE(system->pencilProgram, 0u);
    EXPECT_NE(system->programs.markerData, -1);
    EXPECT_NE(system->programs.zOffset, -1);
    EXPECT_NE(system->programs.pencilData, -1);
    // The stage files are what was embedded.
    EXPECT_NE(std::string(GFX_SHADER_MARKER_FRAG).find("u_zOffset + density * VBO_Z_BAND_INCREMENT"),
              std::string::npos);
}

TEST_F(RenderShadersTest, ABrokenStageGivesNoProgram)
{
    ASSERT_TRUE(glTestContextMakeCurrent());
    const struct {
        const char* name;
        const char* vertex;
        const char* fragment;
        bool builds;
    } cases[] = {
        {"the marker stages", GFX_SHADER_MARKER_VERT, GFX_SHADER_MARKER_FRAG, true},
        {"the shared constant", GFX_SHADER_MARKER_VERT,
         "void main() { gl_FragColor = vec4(VBO_Z_BAND_INCREMENT * 32768.0); }", true},
        {"a fragment stage that does not compile", GFX_SHADER_MARKER_VERT, "void main() { undefined(); }", false},
        {"newer GLSL than 1.20", GFX_SHADER_MARKER_VERT, "out vec4 colour; void main() { colour = vec4(1.0); }",
         false},
        {"stages that do not link", "void main() { gl_Position = ftransform(); }",
         "varying vec4 missing; void main() { gl_FragColor = missing * texture2D(undefinedSampler, vec2(0.0)); }",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t program = gfxLinkShaderProgram(c.vertex, c.fragment);
        EXPECT_EQ(program != 0, c.builds);
        if (program) glDeleteProgram(program);
    }
}

TEST_F(RenderShadersTest, EachMarkerElementWritesItsDensityIntoItsOwnBand)
{
    setPen(marker(0, 0, 0, 8, 1.0f));
    drawLine(8, 16, 56, 16);
    drawLine(8, 48, 56, 48);
    render();
    // The depth of the last walk stays in the buffer: full density at the centre of
    // each line is the top of its band.
    auto depthAt = [this](int x, int y) {
        target->bind();
        float depth = -1;
        glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        return depth;
    };
    const float band = VBO_Z_BAND_INCREMENT;
    const float precision = 1.0f / (1 << 23);
    EXPECT_NEAR(depthAt(32, 16), 1 * band, precision);
    EXPECT_NEAR(depthAt(32, 48), 2 * band, precision);
    const float edge = depthAt(32, 11);  // in the anti-alias ramp of the first line
    EXPECT_GT(edge, 0.0f);
    EXPECT_LT(edge, band);
    EXPECT_EQ(depthAt(32, 32), 0.0f);  // the walk cleared the depth to 0
    GLint stencil = -1;
    glReadPixels(32, 16, 1, 1, GL_STENCIL_INDEX, GL_INT, &stencil);
    EXPECT_EQ(stencil, 0);  // every marker element leaves the stencil clear
}

}  // namespace
