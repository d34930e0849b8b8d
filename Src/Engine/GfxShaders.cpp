// The marker and pencil programs.
#include "GfxShaders.h"

#include "GfxShaderSources.h"

#include <GL/glew.h>

#include <cstdio>

namespace {

// What every stage starts with: the GLSL version the engine targets and the
// constants shared with the C++ side.
struct ShaderPrelude {
    char text[160];
    ShaderPrelude()
    {
        std::snprintf(text, sizeof text, "#version 120\n#define VBO_Z_BAND_INCREMENT %.17g\n#line 1\n",
                      static_cast<double>(VBO_Z_BAND_INCREMENT));
    }
};

GLuint compileStage(GLenum kind, const char* source)
{
    static const ShaderPrelude prelude;
    const GLchar* parts[2] = {prelude.text, source};
    const GLuint shader = glCreateShader(kind);
    if (!shader) return 0;
    glShaderSource(shader, 2, parts, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

// The stages go with the program.
uint32_t gfxLinkShaderProgram(const char* vertexSource, const char* fragmentSource)
{
    const GLuint vertex = compileStage(GL_VERTEX_SHADER, vertexSource);
    const GLuint fragment = compileStage(GL_FRAGMENT_SHADER, fragmentSource);
    GLuint program = 0;
    if (vertex && fragment) {
        program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glLinkProgram(program);
        GLint linked = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (linked != GL_TRUE) {
            glDeleteProgram(program);
            program = 0;
        }
    }
    // Flagged for deletion: they live as long as the program they are attached to.
    if (vertex) glDeleteShader(vertex);
    if (fragment) glDeleteShader(fragment);
    return program;
}

GfxRenderPrograms::~GfxRenderPrograms()
{
    for (uint32_t& program : owned) {
        if (program && glDeleteProgram) glDeleteProgram(program);
        program = 0;
    }
}

int32_t gfxBuildShaderPrograms(GfxSystem* system)
{
    const GLuint pencil = gfxLinkShaderProgram(GFX_SHADER_PENCIL_VERT, GFX_SHADER_PENCIL_FRAG);
    const GLuint marker = gfxLinkShaderProgram(GFX_SHADER_MARKER_VERT, GFX_SHADER_MARKER_FRAG);
    if (!pencil || !marker) {
        if (pencil) glDeleteProgram(pencil);
        if (marker) glDeleteProgram(marker);
        system->programCount = 0;
        return GFX_ERR_GL_SUPPORT;
    }
    GfxRenderPrograms& programs = system->programs;
    programs.markerData = glGetUniformLocation(marker, "u_markerData");
    programs.zOffset = glGetUniformLocation(marker, "u_zOffset");
    programs.pencilData = glGetUniformLocation(pencil, "u_pencilData");
    programs.owned[0] = pencil;
    programs.owned[1] = marker;
    system->pencilProgram = pencil;
    system->markerProgram = marker;
    system->programCount = 2;
    return GFX_OK;
}

void gfxUseMarkerProgram(const GfxSystem* system, const GfxMarkerUniforms& u)
{
    glUseProgram(system->markerProgram);
    glUniform3f(system->programs.markerData, u.maxPenWidth, u.widthMinToMaxRatio, u.opacityMinToMaxRatio);
    glUniform1f(system->programs.zOffset, u.zOffset);
}

void gfxUsePencilProgram(const GfxSystem* system, const GfxPencilUniforms& u)
{
    glUseProgram(system->pencilProgram);
    glUniform4f(system->programs.pencilData, u.maxPenWidth, u.widthMinToMaxRatio, u.opacityMinToMaxRatio,
                u.noiseScale);
}
