// The record walk: a layer's records drawn in order into the framebuffer.
//
// [SECTION] Walk state
// [SECTION] GL helpers: buffers, masks, blending
// [SECTION] Cells: batches, the marker's two passes, the pencil's one
// [SECTION] Visible rectangle
// [SECTION] Strokes and shapes
// [SECTION] Edge softening
// [SECTION] Images
// [SECTION] Merged layers, cuts, pastes
// [SECTION] gfxWalkRecords
//
// Every element gets its own band of the depth buffer (z grows by
// VBO_Z_BAND_INCREMENT after each); marker cells write their density as depth inside
// that band, so the two-pass draw blends exactly the densest fragment of the element
// in each pixel. Colours are premultiplied. Images, cuts, merged layers and pastes
// combine what was drawn so far (saved in a texture) with what they draw.
#include "GfxPenCells.h"
#include "GfxRenderInternal.h"
#include "GfxShaders.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t CELL_BATCH_VERTICES = 8000;   // quads are issued in batches of at most this
constexpr float SOFT_EDGE_WIDTH = 1.6f;         // viewport pixels of the erased rim of images and pastes
constexpr float CULL_FILTER_ROOM = 1.6f;        // the cells' anti-alias room, with some to spare
constexpr float WIDE_MARKER_REACH = 4.0f;       // a wide-marker nib reaches 3 r beyond the point, plus its cap

// ----------------------------------------------------------------------------------
// [SECTION] Walk state
// ----------------------------------------------------------------------------------
struct Walk {
    GfxSketch* sketch = nullptr;
    GfxLayer* layer = nullptr;
    GfxCachedPen* pen = nullptr;  // the state in force
    GfxMatrix base;               // model-view x the layer's matrix
    GfxMatrix current;            // base x the frame: record coordinates to viewport pixels
    float scale = 1;              // G
    float z = 0;                  // start of the next element's depth band
    int32_t depth = 0;            // nesting of merged and pasted layers
    bool cull = false;            // false when the visible rectangle is unknown
    float visible[4] = {0, 0, 0, 0};  // x0, y0, x1, y1 in record coordinates
    uint32_t boundBuffer = 0;
    // Pencil elements waiting to be drawn with one call (see flushPencilRun).
    int32_t runFirst = 0;
    int32_t runCount = 0;     // vertices
    int32_t runElements = 0;
};

void walkNested(Walk& outer, GfxLayer* layer, const GfxMatrix& modelView, float scale);

// Viewport pixels per record unit for widths: the frame's factor times G.
float widthFactor(const Walk& w) { return w.pen->widthFactor * w.scale; }

float maxPenWidth(const Walk& w)
{
    return w.sketch->attributes.widthScale * widthFactor(w) * w.pen->pen.penWidth;
}

// ----------------------------------------------------------------------------------
// [SECTION] GL helpers: buffers, masks, blending
// ----------------------------------------------------------------------------------
void clearDepth()
{
    glDepthMask(GL_TRUE);
    glClearDepth(0.0);
    glClear(GL_DEPTH_BUFFER_BIT);
}

void clearStencil()
{
    glStencilMask(0xFF);
    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
}

void clearColour()
{
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
}

void loadModelView(const GfxMatrix& matrix)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(matrix.m);
}

// Painting adds the premultiplied colour; erasing removes what is below by the
// element's density.
void applyColourAndBlend(const GfxCachedPen& pen)
{
    const float alpha = pen.colour[3] / 255.0f;
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    if (pen.eraseMode) {
        glColor4f(0, 0, 0, alpha);
        glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
    } else {
        glColor4f(pen.colour[0] / 255.0f * alpha, pen.colour[1] / 255.0f * alpha, pen.colour[2] / 255.0f * alpha,
                  alpha);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    }
}

void bindCellBuffer(Walk& w, uint32_t buffer)
{
    if (w.boundBuffer == buffer) return;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_FLOAT, GFX_VERTEX_BYTES, reinterpret_cast<const void*>(0));
    glTexCoordPointer(3, GL_FLOAT, GFX_VERTEX_BYTES, reinterpret_cast<const void*>(2 * sizeof(float)));
    w.boundBuffer = buffer;
}

// Cells made for one draw go through the sketch's stream buffer. False when the GL
// gives none.
bool uploadStreamCells(Walk& w, const GfxPool<GfxVertex>& vertices, int32_t first, int32_t count)
{
    GfxRenderScratch& render = w.sketch->render;
    if (!render.streamBuffer) glGenBuffers(1, &render.streamBuffer);
    if (!render.streamBuffer) return false;
    glBindBuffer(GL_ARRAY_BUFFER, render.streamBuffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(count) * GFX_VERTEX_BYTES, vertices.data() + first,
                 GL_STREAM_DRAW);
    render.streamVertices = count;
    w.boundBuffer = 0;  // the pointers are set again for the stream buffer
    bindCellBuffer(w, render.streamBuffer);
    return true;
}

bool ensureOpenPools(GfxSketch* sketch)
{
    GfxRenderScratch& render = sketch->render;
    const GfxAllocator& allocator = sketch->system->allocator;
    if (!render.openPoints.data() && !render.openPoints.create(allocator, GFX_POINT_POOL_ROOM, GFX_POINT_POOL_GROWTH))
        return false;
    if (!render.openCentreLine.data() &&
        !render.openCentreLine.create(allocator, GFX_POINT_POOL_ROOM, GFX_POINT_POOL_GROWTH))
        return false;
    if (!render.openVertices.data() &&
        !render.openVertices.create(allocator, GFX_VERTEX_POOL_ROOM, GFX_VERTEX_POOL_GROWTH))
        return false;
    return true;
}

// The texture that keeps the content drawn so far at nesting `depth`, at the
// sketch's texture size (re-created after the viewport grew).
uint32_t savedTexture(GfxSketch* sketch, int32_t depth)
{
    GfxRenderScratch& render = sketch->render;
    uint32_t& texture = render.savedTextures[depth];
    int32_t* size = render.savedSize[depth];
    if (texture && (size[0] != sketch->layerTextureSize[0] || size[1] != sketch->layerTextureSize[1])) {
        glDeleteTextures(1, &texture);
        texture = 0;
    }
    if (!texture) {
        texture = gfxCreateLayerTexture(sketch);
        size[0] = sketch->layerTextureSize[0];
        size[1] = sketch->layerTextureSize[1];
    }
    return texture;
}

// Copies the content so far aside; 0 when no texture can be had.
uint32_t saveContent(Walk& w)
{
    const uint32_t texture = savedTexture(w.sketch, w.depth);
    if (texture) gfxCopyViewportToTexture(w.sketch, texture);
    return texture;
}

// The saved content drawn with a blend over the whole viewport.
void drawSaved(const Walk& w, uint32_t saved, GLenum source, GLenum destination)
{
    glUseProgram(0);
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFunc(source, destination);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    gfxDrawViewportQuad(w.sketch, saved);
}

// "Under": the saved content goes beneath what was drawn since it was saved.
void drawSavedUnder(const Walk& w, uint32_t saved) { drawSaved(w, saved, GL_ONE_MINUS_DST_ALPHA, GL_ONE); }

// Multiplies everything in the viewport by `opacity` (premultiplied, so all four channels).
void scaleContent(const Walk& w, float opacity)
{
    glUseProgram(0);
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendColor(0, 0, 0, std::clamp(std::isfinite(opacity) ? opacity : 1.0f, 0.0f, 1.0f));
    glBlendFunc(GL_ZERO, GL_CONSTANT_ALPHA);
    gfxDrawViewportQuad(w.sketch, 0);
}

// Takes the next depth band, clearing the depth buffer when all of them are used.
float takeBand(Walk& w)
{
    if (w.z >= 1.0f) {
        clearDepth();
        w.z = 0;
        ++w.sketch->render.stats.bandWraps;
    }
    return w.z;
}

void endBand(Walk& w) { w.z += VBO_Z_BAND_INCREMENT; }

// ----------------------------------------------------------------------------------
// [SECTION] Cells: batches, the marker's two passes, the pencil's one
// ----------------------------------------------------------------------------------
void drawBatches(int32_t first, int32_t count)
{
    for (int32_t done = 0; done < count; done += CELL_BATCH_VERTICES)
        glDrawArrays(GL_QUADS, first + done, std::min(CELL_BATCH_VERTICES, count - done));
}

// Pass 1 marks every covered pixel in the stencil and leaves the depth of its
// densest fragment; pass 2 blends exactly that fragment once and clears the stencil,
// so the element never darkens where it overlaps itself.
void drawMarkerPasses(int32_t first, int32_t count)
{
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_STENCIL_TEST);
    glDepthMask(GL_TRUE);
    glStencilMask(0xFF);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthFunc(GL_GEQUAL);
    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
    drawBatches(first, count);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthFunc(GL_EQUAL);
    glStencilFunc(GL_EQUAL, 1, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_ZERO);
    drawBatches(first, count);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
}

// The cells first..first+count of the bound buffer with the pen in force, for
// `elements` elements (each takes a depth band).
void drawCellsWithPen(Walk& w, int32_t first, int32_t count, const GfxMatrix& modelView, int32_t elements = 1)
{
    const GfxPenRecord& pen = w.pen->pen;
    loadModelView(modelView);
    applyColourAndBlend(*w.pen);
    const float width = maxPenWidth(w);
    if (pen.penType == GFX_CELL_PEN_PENCIL) {
        // Pencils do not use their bands; they are counted so markers after them get theirs.
        for (int32_t i = 0; i < elements; ++i) {
            takeBand(w);
            endBand(w);
        }
        gfxUsePencilProgram(w.sketch->system, {width, 1.0f - pen.penWidthSensitivity,
                                               1.0f - pen.penOpacitySensitivity, pen.penNoise});
        drawBatches(first, count);
    } else {
        const float z = takeBand(w);
        gfxUseMarkerProgram(w.sketch->system, {width, 1.0f - pen.penWidthSensitivity,
                                               1.0f - pen.penOpacitySensitivity, z});
        drawMarkerPasses(first, count);
        endBand(w);
    }
    w.sketch->render.stats.elementsDrawn += elements;
}

// Consecutive pencil elements whose cells follow each other in the layer's buffer,
// with no record between them that changes the state, are drawn with one call: the
// GL blends primitives in their order, so the stamps pile up exactly as they would
// with a call each, and a long run of pencil strokes costs few calls.
void flushPencilRun(Walk& w)
{
    if (w.runElements == 0) return;
    bindCellBuffer(w, static_cast<uint32_t>(w.layer->vertexBuffer));
    drawCellsWithPen(w, w.runFirst, w.runCount, w.current, w.runElements);
    w.runFirst = w.runCount = w.runElements = 0;
}

void addToPencilRun(Walk& w, GfxVertexRange range)
{
    if (w.runElements > 0 && w.runFirst + w.runCount != range.first) flushPencilRun(w);
    if (w.runElements == 0) w.runFirst = range.first;
    w.runCount += range.count;
    ++w.runElements;
}

// ----------------------------------------------------------------------------------
// [SECTION] Visible rectangle
// ----------------------------------------------------------------------------------
// The viewport mapped back into record coordinates, as an axis-aligned box.
void updateVisibleRectangle(Walk& w)
{
    GfxMatrix inverse;
    w.cull = gfxMatrixInvert(w.current, &inverse);
    if (!w.cull) return;
    const float width = w.sketch->viewport[2];
    const float height = w.sketch->viewport[3];
    const float corners[8] = {0, 0, width, 0, width, height, 0, height};
    float x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (int i = 0; i < 4; ++i) {
        float x, y;
        gfxMatrixTransformPoint(inverse, corners[2 * i], corners[2 * i + 1], &x, &y);
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
    }
    w.cull = std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1);
    const float box[4] = {x0, y0, x1, y1};
    std::memcpy(w.visible, box, sizeof box);
}

void setFrame(Walk& w, const GfxMatrix& frame)
{
    w.current = gfxMatrixMultiply(w.base, frame);
    updateVisibleRectangle(w);
}

// False when the element's box, grown by `margin` record units, misses the viewport.
bool elementVisible(const Walk& w, const GfxRecordEntry& entry, float margin)
{
    if (!w.cull) return true;
    float corners[8];
    if (!gfxElementCorners(w.layer, entry, margin, corners)) return true;
    float x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (int i = 0; i < 4; ++i) {
        x0 = std::min(x0, corners[2 * i]);
        x1 = std::max(x1, corners[2 * i]);
        y0 = std::min(y0, corners[2 * i + 1]);
        y1 = std::max(y1, corners[2 * i + 1]);
    }
    return !(x1 < w.visible[0] || x0 > w.visible[2] || y1 < w.visible[1] || y0 > w.visible[3]);
}

// How far an element's cells reach beyond its box, in record units: the pen radius
// (a wide-marker nib reaches further) and the anti-alias room.
float cellMargin(const Walk& w)
{
    const float radius = 0.5f * std::fabs(w.pen->pen.penWidth * w.sketch->attributes.widthScale);
    const float reach = w.pen->pen.penType == GFX_CELL_PEN_WIDE_MARKER ? WIDE_MARKER_REACH * radius : radius;
    return reach + CULL_FILTER_ROOM;
}

// ----------------------------------------------------------------------------------
// [SECTION] Strokes and shapes
// ----------------------------------------------------------------------------------
// Shapes are built around their centre and turned by their angle when drawn.
GfxMatrix elementModelView(const Walk& w, const GfxLayer* layer, const GfxRecordEntry& entry)
{
    if (entry.type != GFX_RECORD_RECTANGLE && entry.type != GFX_RECORD_ELLIPSE) return w.current;
    const GfxShapeRecord shape = gfxReadPayload<GfxShapeRecord>(layer, entry);
    return gfxMatrixMultiply(
        w.current, gfxMatrixMultiply(gfxMatrixTranslate(shape.centreX, shape.centreY),
                                     gfxMatrixMultiply(gfxMatrixRotate(shape.angle),
                                                       gfxMatrixTranslate(-shape.centreX, -shape.centreY))));
}

// Reads an element's geometry for the cell builder: points (point lists, lines) or
// the rectangle (shapes).
bool readGeometry(const GfxLayer* layer, const GfxRecordEntry& entry, GfxPool<GfxSample>& points, float rect[4])
{
    points.reset();
    if (gfxIsPointListType(entry.type)) {
        const int32_t count = gfxReadPayload<GfxPointListRecord>(layer, entry).pointCount;
        if (count < 0 || !points.reserveMore(count)) return false;
        GfxHeapPosition at = gfxFirstPointPosition(entry);
        for (int32_t i = 0; i < count; ++i) {
            GfxSample point;
            std::memcpy(&point, gfxRecordHeapAt(&layer->heap, at), sizeof point);
            points.push(point);
            at = gfxRecordHeapNext(at, sizeof(GfxSample), sizeof(GfxSample));
        }
        return true;
    }
    if (entry.type == GFX_RECORD_LINE) {
        const GfxLineRecord line = gfxReadPayload<GfxLineRecord>(layer, entry);
        return points.push(line.start) && points.push(line.end);
    }
    const GfxShapeRecord shape = gfxReadPayload<GfxShapeRecord>(layer, entry);
    rect[0] = shape.centreX;
    rect[1] = shape.centreY;
    rect[2] = shape.width;
    rect[3] = shape.height;
    return true;
}

// The open element has no cells yet: they are built for this frame only, with the
// pen in force (it was drawn in the current viewport's pixels: build scale 1).
void drawOpenElement(Walk& w, const GfxRecordEntry& entry, const GfxMatrix& modelView)
{
    GfxRenderScratch& render = w.sketch->render;
    if (!ensureOpenPools(w.sketch)) return;
    float rect[4] = {0, 0, 0, 0};
    if (!readGeometry(w.layer, entry, render.openPoints, rect)) return;
    GfxCellPen pen;
    pen.penType = w.pen->pen.penType;
    pen.penWidth = w.pen->pen.penWidth;
    pen.penWidthSensitivity = w.pen->pen.penWidthSensitivity;
    pen.widthScale = w.sketch->attributes.widthScale;
    render.openVertices.reset();
    int32_t first = 0, count = 0;
    if (gfxBuildElementCells(entry.type - 1, render.openPoints.data(), render.openPoints.count(), rect, 1.0f, pen,
                             nullptr, render.openCentreLine, render.openVertices, &first, &count) != GFX_OK ||
        count <= 0)
        return;
    if (!uploadStreamCells(w, render.openVertices, first, count)) return;
    drawCellsWithPen(w, 0, count, modelView);
}

void drawStroke(Walk& w, const GfxRecordEntry& entry, int32_t index)
{
    const bool open = w.layer->slot == w.sketch->render.openSlot && index == w.sketch->render.openIndex;
    GfxVertexRange range{-1, 0};
    gfxElementVertexRange(w.layer, entry, &range);
    if (!open && (range.first < 0 || range.count <= 0 || w.layer->vertexBuffer < 0)) return;
    if (!elementVisible(w, entry, cellMargin(w))) {
        ++w.sketch->render.stats.elementsCulled;
        return;
    }
    const bool shape = entry.type == GFX_RECORD_RECTANGLE || entry.type == GFX_RECORD_ELLIPSE;
    if (!open && !shape && w.pen->pen.penType == GFX_CELL_PEN_PENCIL) {
        addToPencilRun(w, range);
        return;
    }
    flushPencilRun(w);
    const GfxMatrix modelView = elementModelView(w, w.layer, entry);
    if (open) {
        drawOpenElement(w, entry, modelView);
        return;
    }
    bindCellBuffer(w, static_cast<uint32_t>(w.layer->vertexBuffer));
    drawCellsWithPen(w, range.first, range.count, modelView);
}

// ----------------------------------------------------------------------------------
// [SECTION] Edge softening
// ----------------------------------------------------------------------------------
// Erases a thin rim along a quadrilateral (corners in record coordinates under
// `modelView`) with a marker line SOFT_EDGE_WIDTH viewport pixels wide at full
// pressure, in the current depth band. Built in viewport pixels so the rim has that
// width at any zoom.
void softenEdges(Walk& w, const float corners[8], const GfxMatrix& modelView)
{
    GfxRenderScratch& render = w.sketch->render;
    if (!ensureOpenPools(w.sketch)) return;
    GfxSample outline[5];
    for (int i = 0; i < 5; ++i) {
        const int corner = i % 4;
        gfxMatrixTransformPoint(modelView, corners[2 * corner], corners[2 * corner + 1], &outline[i].x, &outline[i].y);
        outline[i].pressure = 1.0f;
    }
    GfxCellPen pen;
    pen.penType = GFX_CELL_PEN_MARKER;
    pen.penWidth = SOFT_EDGE_WIDTH;
    pen.penWidthSensitivity = 0;
    pen.widthScale = 1;
    render.openVertices.reset();
    if (gfxBuildMarkerCells(pen, outline, 5, render.openVertices) != GFX_OK || render.openVertices.count() == 0)
        return;
    if (!uploadStreamCells(w, render.openVertices, 0, render.openVertices.count())) return;
    loadModelView(gfxMatrixIdentity());
    GfxCachedPen eraser{};
    eraser.colour[3] = 255;
    eraser.eraseMode = 1;
    applyColourAndBlend(eraser);
    gfxUseMarkerProgram(w.sketch->system, {SOFT_EDGE_WIDTH, 1.0f, 1.0f, w.z});
    drawMarkerPasses(0, render.openVertices.count());
}

void rectangleCorners(float x0, float y0, float x1, float y1, float corners[8])
{
    const float c[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
    std::memcpy(corners, c, sizeof c);
}

// ----------------------------------------------------------------------------------
// [SECTION] Images
// ----------------------------------------------------------------------------------
// The image goes on a cleared buffer with softened edges, then the content so far
// is put beneath it.
void drawImage(Walk& w, const GfxRecordEntry& entry)
{
    const GfxImageRecord image = gfxReadPayload<GfxImageRecord>(w.layer, entry);
    if (!image.texture) return;
    if (!elementVisible(w, entry, CULL_FILTER_ROOM)) {
        ++w.sketch->render.stats.elementsCulled;
        return;
    }
    const uint32_t saved = saveContent(w);
    if (!saved) return;
    clearColour();
    const GfxMatrix placed = gfxMatrixMultiply(
        w.current, gfxMatrixMultiply(gfxMatrixTranslate(image.centreX, image.centreY), gfxMatrixRotate(image.angle)));
    const float halfWidth = 0.5f * image.width;
    const float halfHeight = 0.5f * image.height;

    glUseProgram(0);
    glDisable(GL_BLEND);
    loadModelView(placed);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, image.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    // Image rows are stored top first: t = 0 is the top edge.
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex2f(-halfWidth, -halfHeight);
    glTexCoord2f(1, 1);
    glVertex2f(halfWidth, -halfHeight);
    glTexCoord2f(1, 0);
    glVertex2f(halfWidth, halfHeight);
    glTexCoord2f(0, 0);
    glVertex2f(-halfWidth, halfHeight);
    glEnd();
    glDisable(GL_TEXTURE_2D);

    float corners[8];
    rectangleCorners(-halfWidth, -halfHeight, halfWidth, halfHeight, corners);
    takeBand(w);
    softenEdges(w, corners, placed);
    endBand(w);
    drawSavedUnder(w, saved);
    ++w.sketch->render.stats.elementsDrawn;
}

// ----------------------------------------------------------------------------------
// [SECTION] Merged layers, cuts, pastes
// ----------------------------------------------------------------------------------
// A merged layer is drawn whole inside the lower layer, each scaled by the opacity
// it had when they were merged. A hidden merged layer stays hidden.
void drawMerge(Walk& w, const GfxRecordEntry& entry)
{
    const GfxMergeRecord merge = gfxReadPayload<GfxMergeRecord>(w.layer, entry);
    GfxLayer* merged = gfxLayerAtSlot(w.sketch, merge.mergedSlot);
    if (!merged || merged == w.layer || !merged->visible || w.depth + 1 >= GFX_RENDER_MAX_NESTING) return;
    scaleContent(w, merge.lowerOpacity);
    const uint32_t saved = saveContent(w);
    if (!saved) return;
    clearColour();
    const GfxMatrix modelView = gfxMatrixMultiply(w.current, merge.view);
    walkNested(w, merged, modelView, widthFactor(w) * merge.viewScale * merged->scale);
    clearDepth();
    scaleContent(w, merge.mergedOpacity);
    drawSavedUnder(w, saved);
}

// The content inside the cut rectangle goes; what is drawn later stays.
void drawCut(Walk& w, const GfxRecordEntry& entry)
{
    const GfxCutRecord cut = gfxReadPayload<GfxCutRecord>(w.layer, entry);
    const uint32_t saved = saveContent(w);
    if (!saved) return;
    clearColour();
    clearDepth();
    glUseProgram(0);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    loadModelView(w.current);
    glColor4f(1, 1, 1, 1);
    glRectf(cut.rect[0], cut.rect[1], cut.rect[0] + cut.rect[2], cut.rect[1] + cut.rect[3]);
    drawSaved(w, saved, GL_ONE_MINUS_DST_ALPHA, GL_ZERO);
}

// The pasted layer is drawn under its placement, softened at the edges and clipped
// to the transformed source rectangle, over the content so far.
void drawPaste(Walk& w, const GfxRecordEntry& entry)
{
    const GfxPasteRecord paste = gfxReadPayload<GfxPasteRecord>(w.layer, entry);
    GfxLayer* pasted = gfxLayerAtSlot(w.sketch, paste.pastedSlot);
    if (!pasted || pasted == w.layer || w.depth + 1 >= GFX_RENDER_MAX_NESTING) return;
    const uint32_t saved = saveContent(w);
    if (!saved) return;
    // The source rectangle is in the clipboard view's pixels: the placement moves
    // those pixels, the clipboard view takes the pasted layer's canvas there.
    const GfxMatrix placed = gfxMatrixMultiply(w.current, paste.placement);
    clearColour();
    walkNested(w, pasted, gfxMatrixMultiply(placed, paste.clipView),
               widthFactor(w) * paste.placementScale * paste.clipViewScale * pasted->scale);
    clearDepth();

    const float* source = paste.sourceRect;
    float corners[8];
    rectangleCorners(source[0], source[1], source[0] + source[2], source[1] + source[3], corners);
    takeBand(w);
    softenEdges(w, corners, placed);
    endBand(w);

    // Everything outside the placed rectangle is cleared.
    clearStencil();
    glUseProgram(0);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_STENCIL_TEST);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glStencilFunc(GL_ALWAYS, 1, 1);
    glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
    loadModelView(placed);
    glRectf(corners[0], corners[1], corners[4], corners[5]);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glStencilFunc(GL_NOTEQUAL, 1, 1);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glColor4f(0, 0, 0, 0);
    gfxDrawViewportQuad(w.sketch, 0);
    glDisable(GL_STENCIL_TEST);
    clearStencil();  // the marker passes rely on a clear stencil

    drawSavedUnder(w, saved);
    ++w.sketch->render.stats.elementsDrawn;
}

// ----------------------------------------------------------------------------------
// [SECTION] gfxWalkRecords
// ----------------------------------------------------------------------------------
void walk(Walk& w, GfxWalkRange range)
{
    clearDepth();
    setFrame(w, w.pen->frame);
    GfxRenderStats& stats = w.sketch->render.stats;
    for (int32_t index = range.first; index <= range.last; ++index) {
        const GfxRecordEntry entry = *gfxRecordAt(w.layer, index);
        ++stats.recordsWalked;
        if (!gfxIsStrokeType(entry.type)) flushPencilRun(w);
        switch (entry.type) {
        case GFX_RECORD_FREEHAND:
        case GFX_RECORD_LINE:
        case GFX_RECORD_MULTI_LINE:
        case GFX_RECORD_POLYGON:
        case GFX_RECORD_RECTANGLE:
        case GFX_RECORD_ELLIPSE: drawStroke(w, entry, index); break;
        case GFX_RECORD_IMAGE: drawImage(w, entry); break;
        case GFX_RECORD_LAYER_MERGED: drawMerge(w, entry); break;
        case GFX_RECORD_REGION_CUT: drawCut(w, entry); break;
        case GFX_RECORD_CLIPBOARD_PASTED: drawPaste(w, entry); break;
        case GFX_RECORD_FRAME: {
            const GfxFrameRecord frame = gfxReadPayload<GfxFrameRecord>(w.layer, entry);
            w.pen->frame = frame.matrix;
            w.pen->widthFactor = frame.widthFactor;
            setFrame(w, frame.matrix);
            break;
        }
        case GFX_RECORD_PEN: {
            const GfxPenRecord pen = gfxReadPayload<GfxPenRecord>(w.layer, entry);
            w.pen->pen = pen;
            const float opacity = std::isfinite(pen.penOpacity) ? std::clamp(pen.penOpacity, 0.0f, 1.0f) : 1.0f;
            w.pen->colour[3] = static_cast<uint8_t>(opacity * 255.0f);
            break;
        }
        case GFX_RECORD_COLOUR: {
            const GfxColourRecord colour = gfxReadPayload<GfxColourRecord>(w.layer, entry);
            std::memcpy(w.pen->colour, colour.rgb, 3);
            break;
        }
        case GFX_RECORD_ERASE: w.pen->eraseMode = gfxReadPayload<GfxEraseRecord>(w.layer, entry).eraseMode; break;
        default: break;  // structural records without drawing (clears, transforms, …)
        }
    }
    flushPencilRun(w);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
}

void walkNested(Walk& outer, GfxLayer* layer, const GfxMatrix& modelView, float scale)
{
    GfxCachedPen pen = gfxInitialWalkPen();
    Walk inner;
    inner.sketch = outer.sketch;
    inner.layer = layer;
    inner.pen = &pen;
    inner.base = gfxMatrixMultiply(modelView, layer->matrix);
    inner.scale = scale;
    inner.depth = outer.depth + 1;
    walk(inner, {layer->baseIndex, layer->records.cursor - 1});
    outer.boundBuffer = 0;  // the inner walk bound its own buffers
}

}  // namespace

GfxCachedPen gfxInitialWalkPen()
{
    GfxCachedPen pen{};
    pen.colour[0] = pen.colour[1] = pen.colour[2] = 0;
    pen.colour[3] = 204;  // 0.8 x 255, the default opacity
    pen.eraseMode = 0;
    pen.pen = GfxPenRecord{1, 0.5f, 2.0f, 1.0f, 0.8f, 1.0f};
    pen.frame = gfxMatrixIdentity();
    pen.widthFactor = 1.0f;
    return pen;
}

void gfxWalkRecords(GfxSketch* sketch, GfxLayer* layer, const GfxMatrix& modelView, float scale,
                    GfxWalkRange range, GfxCachedPen* pen)
{
    Walk w;
    w.sketch = sketch;
    w.layer = layer;
    w.pen = pen;
    w.base = gfxMatrixMultiply(modelView, layer->matrix);
    w.scale = scale;
    walk(w, range);
}
