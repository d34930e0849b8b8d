// Per-layer vertex buffers holding the pen cells of every element.
#include "GfxInternal.h"

#include <GL/glew.h>

namespace {

void drainGlErrors()
{
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

// A buffer of `reserve` vertices holding the first `keep` vertices of `old` (0 for
// none). Zero when the GL refuses.
GLuint createBuffer(const GfxAllocator& allocator, int32_t reserve, GLuint old, int32_t keep)
{
    void* saved = nullptr;
    const GLsizeiptr keepBytes = static_cast<GLsizeiptr>(keep) * GFX_VERTEX_BYTES;
    if (old && keep > 0) {
        // GL 2.0 has no buffer-to-buffer copy: the content travels through memory.
        saved = allocator.allocate(static_cast<size_t>(keepBytes));
        if (!saved) return 0;
        glBindBuffer(GL_ARRAY_BUFFER, old);
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, keepBytes, saved);
    }
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(reserve) * GFX_VERTEX_BYTES, nullptr, GL_STATIC_DRAW);
    if (saved) glBufferSubData(GL_ARRAY_BUFFER, 0, keepBytes, saved);
    allocator.release(saved);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteBuffers(1, &buffer);
        return 0;
    }
    return buffer;
}

}  // namespace

bool gfxStoreVertices(GfxLayer* layer, const GfxVertex* vertices, int32_t count, GfxVertexRange* range)
{
    GfxSystem* system = layer->sketch->system;
    *range = GfxVertexRange{-1, 0};
    if (count <= 0) return true;  // an element without cells (an image, a zero-width pen)
    const int64_t needed = static_cast<int64_t>(layer->verticesUsed) + count;
    int64_t reserve = layer->verticesReserved;
    if (layer->vertexBuffer < 0) {
        reserve = layer->vertexSizeHint > 0 ? layer->vertexSizeHint : GFX_VERTEX_BUFFER_FIRST;
        if (reserve < needed) reserve = needed + GFX_VERTEX_BUFFER_GROWTH;
    } else if (needed > reserve) {
        reserve = needed + GFX_VERTEX_BUFFER_GROWTH;
    }
    const int64_t extraBytes = (reserve - layer->verticesReserved) * GFX_VERTEX_BYTES;
    if (static_cast<int64_t>(system->vertexBytes) + extraBytes > GFX_VERTEX_BYTES_LIMIT || !glGenBuffers) {
        system->lastError = GFX_ERR_FAILED;
        return false;
    }

    GLint previousBinding = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previousBinding);
    drainGlErrors();
    GLuint buffer = layer->vertexBuffer >= 0 ? static_cast<GLuint>(layer->vertexBuffer) : 0;
    if (reserve != layer->verticesReserved || buffer == 0) {
        const GLuint grown =
            createBuffer(system->allocator, static_cast<int32_t>(reserve), buffer, layer->verticesUsed);
        if (!grown) {
            glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(previousBinding));
            system->lastError = GFX_ERR_FAILED;
            return false;
        }
        if (buffer) glDeleteBuffers(1, &buffer);
        buffer = grown;
        layer->vertexBuffer = static_cast<int32_t>(buffer);
        system->vertexBytes += static_cast<int32_t>(extraBytes);
        layer->verticesReserved = static_cast<int32_t>(reserve);
    }
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(layer->verticesUsed) * GFX_VERTEX_BYTES,
                    static_cast<GLsizeiptr>(count) * GFX_VERTEX_BYTES, vertices);
    const bool stored = glGetError() == GL_NO_ERROR;
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(previousBinding));
    if (!stored) {
        system->lastError = GFX_ERR_FAILED;
        return false;
    }
    *range = GfxVertexRange{layer->verticesUsed, count};
    layer->verticesUsed += count;
    return true;
}

void gfxReleaseVertexBuffer(GfxLayer* layer)
{
    if (layer->vertexBuffer >= 0) {
        const GLuint buffer = static_cast<GLuint>(layer->vertexBuffer);
        glDeleteBuffers(1, &buffer);
        layer->sketch->system->vertexBytes -= layer->verticesReserved * GFX_VERTEX_BYTES;
    }
    layer->vertexBuffer = -1;
    layer->verticesReserved = 0;
    layer->verticesUsed = 0;
}
