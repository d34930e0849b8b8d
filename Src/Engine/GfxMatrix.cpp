#include "GfxMatrix.h"

#include <cmath>

GfxMatrix gfxMatrixIdentity()
{
    GfxMatrix r{};
    r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0f;
    return r;
}

GfxMatrix gfxMatrixMultiply(const GfxMatrix& a, const GfxMatrix& b)
{
    GfxMatrix r{};
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a.m[k * 4 + row] * b.m[column * 4 + k];
            r.m[column * 4 + row] = sum;
        }
    }
    return r;
}

GfxMatrix gfxMatrixTranslate(float x, float y)
{
    GfxMatrix r = gfxMatrixIdentity();
    r.m[12] = x;
    r.m[13] = y;
    return r;
}

GfxMatrix gfxMatrixScale(float x, float y)
{
    GfxMatrix r = gfxMatrixIdentity();
    r.m[0] = x;
    r.m[5] = y;
    return r;
}

GfxMatrix gfxMatrixRotate(float degrees)
{
    const double radians = static_cast<double>(degrees) * 3.14159265358979323846 / 180.0;
    const float c = static_cast<float>(std::cos(radians));
    const float s = static_cast<float>(std::sin(radians));
    GfxMatrix r = gfxMatrixIdentity();
    r.m[0] = c;
    r.m[1] = s;
    r.m[4] = -s;
    r.m[5] = c;
    return r;
}

bool gfxMatrixInvert(const GfxMatrix& matrix, GfxMatrix* inverse)
{
    // Cofactor expansion in double: view matrices after deep zooms span many
    // orders of magnitude.
    double m[16];
    for (int i = 0; i < 16; ++i) m[i] = matrix.m[i];
    double inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
             m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
             m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
             m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
              m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
             m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
             m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
             m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
              m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
             m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
              m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
              m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
             m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
              m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    const double determinant = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (determinant == 0 || !std::isfinite(determinant)) {
        *inverse = gfxMatrixIdentity();
        return false;
    }
    for (int i = 0; i < 16; ++i) inverse->m[i] = static_cast<float>(inv[i] / determinant);
    return true;
}

bool gfxMatrixIsIdentity(const GfxMatrix& matrix, float tolerance)
{
    const GfxMatrix identity = gfxMatrixIdentity();
    for (int i = 0; i < 16; ++i)
        if (std::fabs(matrix.m[i] - identity.m[i]) > tolerance) return false;
    return true;
}

void gfxMatrixTransformPoint(const GfxMatrix& matrix, float x, float y, float* outX, float* outY)
{
    const float* m = matrix.m;
    float w = m[3] * x + m[7] * y + m[15];
    if (w == 0) w = 1;
    *outX = (m[0] * x + m[4] * y + m[12]) / w;
    *outY = (m[1] * x + m[5] * y + m[13]) / w;
}
