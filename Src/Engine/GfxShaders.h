// GfxShaders — the marker and pencil programs: built from the stage files in
// shaders/ (embedded at build time), their uniforms, and the depth-band constant
// that the marker program and the record walk share.
#pragma once

#include "GfxInternal.h"

// IMPORTANT: the depth of one stroke band, 2^-15. The marker fragment program writes
// density x this above u_zOffset, and the record walk advances z by it after every
// drawn element: both read this one constant (it is put in front of every shader).
constexpr float VBO_Z_BAND_INCREMENT = 0.000030517578125f;
static_assert(VBO_Z_BAND_INCREMENT * 32768.0f == 1.0f, "32768 bands fill the depth range");

// The programs' uniforms for one element.
struct GfxMarkerUniforms {
    float maxPenWidth;           // viewport pixels
    float widthMinToMaxRatio;    // 1 - penWidthSensitivity
    float opacityMinToMaxRatio;  // 1 - penOpacitySensitivity
    float zOffset;               // start of the element's depth band
};
struct GfxPencilUniforms {
    float maxPenWidth;
    float widthMinToMaxRatio;
    float opacityMinToMaxRatio;
    float noiseScale;
};

// A program of the two stages (each gets the "#version 120" prelude with the shared
// constants in front), or 0 when a stage does not compile or the program does not link.
uint32_t gfxLinkShaderProgram(const char* vertexSource, const char* fragmentSource);

// Compiles both programs (GFX_OK, programCount 2) or returns GFX_ERR_GL_SUPPORT when
// a stage fails to compile or a program to link (nothing is kept then).
int32_t gfxBuildShaderPrograms(GfxSystem* system);

// Binds a program and sets its uniforms.
void gfxUseMarkerProgram(const GfxSystem* system, const GfxMarkerUniforms& uniforms);
void gfxUsePencilProgram(const GfxSystem* system, const GfxPencilUniforms& uniforms);
