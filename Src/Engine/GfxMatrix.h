// 4x4 float matrices, column-major as OpenGL and the canvas blob store them
// (m[12], m[13] is the translation). Products read right to left: a x b applies b first.
#pragma once

#include <cstdint>

struct GfxMatrix {
    float m[16];
};

GfxMatrix gfxMatrixIdentity();
GfxMatrix gfxMatrixMultiply(const GfxMatrix& a, const GfxMatrix& b);
GfxMatrix gfxMatrixTranslate(float x, float y);
GfxMatrix gfxMatrixScale(float x, float y);
GfxMatrix gfxMatrixRotate(float degrees);  // about the z axis, counter-clockwise
// The general inverse; a singular matrix gives the identity (and false).
bool gfxMatrixInvert(const GfxMatrix& matrix, GfxMatrix* inverse);
bool gfxMatrixIsIdentity(const GfxMatrix& matrix, float tolerance);

// Maps a point of the plane z = 0.
void gfxMatrixTransformPoint(const GfxMatrix& matrix, float x, float y, float* outX, float* outY);
