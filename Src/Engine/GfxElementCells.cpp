// Building an element's pen cells into its layer's vertex buffer, and rebuilding
// every layer's cells (after widthScale changes, after a paste copies records).
#include "GfxInternal.h"
#include "GfxPenCells.h"

namespace {

// Reads an element's geometry into `points` (point lists and lines) or `rect`
// (shapes). False for records without cells.
bool elementGeometry(const GfxLayer* layer, const GfxRecordEntry& entry, GfxPool<GfxSample>& points, float rect[4])
{
    points.reset();
    if (gfxIsPointListType(entry.type)) {
        const int32_t count = gfxReadPayload<GfxPointListRecord>(layer, entry).pointCount;
        if (!points.reserveMore(count)) return false;
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
    if (entry.type == GFX_RECORD_RECTANGLE || entry.type == GFX_RECORD_ELLIPSE) {
        const GfxShapeRecord shape = gfxReadPayload<GfxShapeRecord>(layer, entry);
        rect[0] = shape.centreX;
        rect[1] = shape.centreY;
        rect[2] = shape.width;
        rect[3] = shape.height;
        return true;
    }
    return false;
}


// Appends the element's cells to the sketch's vertex pool. False only when memory
// runs out (lastError 1); a geometry the cell builder cannot use (a line of fewer
// than two points, a pen of no width) simply gives no cells.
bool appendElementCells(GfxLayer* layer, const GfxRecordEntry& entry, const GfxCellPen& pen, float buildScale,
                        int32_t* first, int32_t* count)
{
    GfxSketch* sketch = layer->sketch;
    *first = sketch->vertices.count();
    *count = 0;
    float rect[4] = {0, 0, 0, 0};
    if (!elementGeometry(layer, entry, sketch->rebuildCopy, rect)) {
        sketch->system->lastError = GFX_ERR_FAILED;
        return false;
    }
    const int32_t built = gfxBuildElementCells(entry.type - 1, sketch->rebuildCopy.data(), sketch->rebuildCopy.count(),
                                               rect, buildScale, pen, nullptr, sketch->rebuiltPoints,
                                               sketch->vertices, first, count);
    if (built == GFX_ERR_FAILED) {
        sketch->system->lastError = GFX_ERR_FAILED;
        return false;
    }
    if (built != GFX_OK) *count = 0;
    return true;
}

// Walks a layer's records from the first, keeping the pen and frame in force.
struct CellWalk {
    GfxCellPen pen;
    float widthFactor = 1.0f;

    explicit CellWalk(const GfxLayer* layer)
    {
        pen.penType = layer->cachedPen.pen.penType;  // the creation defaults until a pen record
        pen.penWidth = layer->cachedPen.pen.penWidth;
        pen.penWidthSensitivity = layer->cachedPen.pen.penWidthSensitivity;
        pen.widthScale = layer->sketch->attributes.widthScale;
    }
    void follow(const GfxLayer* layer, const GfxRecordEntry& entry)
    {
        if (entry.type == GFX_RECORD_PEN) {
            const GfxPenRecord record = gfxReadPayload<GfxPenRecord>(layer, entry);
            pen.penType = record.penType;
            pen.penWidth = record.penWidth;
            pen.penWidthSensitivity = record.penWidthSensitivity;
        } else if (entry.type == GFX_RECORD_FRAME) {
            widthFactor = gfxReadPayload<GfxFrameRecord>(layer, entry).widthFactor;
        }
    }
    // How much finer the element shows now than when it was drawn.
    float buildScale(const GfxLayer* layer) const
    {
        return widthFactor * layer->sketch->viewScale * layer->scale;
    }
};

}  // namespace

bool gfxBuildElementCellsAt(GfxLayer* layer, int32_t index, const GfxCellPen& pen, float buildScale)
{
    GfxSketch* sketch = layer->sketch;
    const GfxRecordEntry entry = *gfxRecordAt(layer, index);
    if (!gfxIsStrokeType(entry.type)) return true;
    gfxSetElementVertexRange(layer, entry, GfxVertexRange{-1, 0});
    sketch->vertices.reset();
    int32_t first = 0, count = 0;
    if (!appendElementCells(layer, entry, pen, buildScale, &first, &count)) return false;
    GfxVertexRange range;
    if (!gfxStoreVertices(layer, sketch->vertices.data() + first, count, &range)) return false;
    gfxSetElementVertexRange(layer, entry, range);
    return true;
}

bool gfxBuildStaticLayerCells(GfxLayer* layer)
{
    GfxSketch* sketch = layer->sketch;
    CellWalk walk(layer);
    sketch->vertices.reset();
    bool failed = false;
    for (int32_t i = 0; i < layer->records.count; ++i) {
        const GfxRecordEntry entry = *gfxRecordAt(layer, i);
        walk.follow(layer, entry);
        if (!gfxIsStrokeType(entry.type)) continue;
        int32_t first = 0, count = 0;
        if (!failed) failed = !appendElementCells(layer, entry, walk.pen, walk.buildScale(layer), &first, &count);
        // The buffer is filled from its start with the pool: pool offsets are buffer offsets.
        gfxSetElementVertexRange(layer, entry, GfxVertexRange{count > 0 && !failed ? first : -1, failed ? 0 : count});
    }
    const int32_t total = sketch->vertices.count();
    if (layer->verticesReserved < total) gfxReleaseVertexBuffer(layer);
    layer->verticesUsed = 0;
    if (layer->vertexBuffer < 0) layer->vertexSizeHint = total;
    GfxVertexRange range;
    if (!failed && total > 0 && !gfxStoreVertices(layer, sketch->vertices.data(), total, &range)) failed = true;
    if (failed) {
        for (int32_t i = 0; i < layer->records.count; ++i) {
            const GfxRecordEntry entry = *gfxRecordAt(layer, i);
            if (gfxIsStrokeType(entry.type)) gfxSetElementVertexRange(layer, entry, GfxVertexRange{-1, 0});
        }
    }
    return !failed;
}

bool gfxBuildLayerCells(GfxLayer* layer, int32_t fromIndex)
{
    const GfxSketch* sketch = layer->sketch;
    GfxCellPen pen;
    pen.penType = layer->cachedPen.pen.penType;  // the creation defaults until a pen record
    pen.penWidth = layer->cachedPen.pen.penWidth;
    pen.penWidthSensitivity = layer->cachedPen.pen.penWidthSensitivity;
    pen.widthScale = sketch->attributes.widthScale;
    float widthFactor = 1.0f;
    bool failed = false;
    for (int32_t i = 0; i < layer->records.count; ++i) {
        const GfxRecordEntry entry = *gfxRecordAt(layer, i);
        if (entry.type == GFX_RECORD_PEN) {
            const GfxPenRecord record = gfxReadPayload<GfxPenRecord>(layer, entry);
            pen.penType = record.penType;
            pen.penWidth = record.penWidth;
            pen.penWidthSensitivity = record.penWidthSensitivity;
        } else if (entry.type == GFX_RECORD_FRAME) {
            widthFactor = gfxReadPayload<GfxFrameRecord>(layer, entry).widthFactor;
        }
        if (i < fromIndex || !gfxIsStrokeType(entry.type)) continue;
        if (failed) {
            gfxSetElementVertexRange(layer, entry, GfxVertexRange{-1, 0});
            continue;
        }
        // How much finer the element shows now than when it was drawn.
        const float buildScale = widthFactor * sketch->viewScale * layer->scale;
        failed = !gfxBuildElementCellsAt(layer, i, pen, buildScale);
    }
    return !failed;
}

void gfxRebuildAllCells(GfxSketch* sketch)
{
    bool failed = false;
    for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot) {
        GfxLayer* layer = gfxLayerAtSlot(sketch, slot);
        if (!layer) continue;
        layer->verticesUsed = 0;  // the buffer is kept and written again from the start
        if (!gfxBuildLayerCells(layer, 0)) failed = true;
        gfxMarkLayerRedrawAll(layer);
    }
    sketch->rebuildCells = 0;
    sketch->needsRedraw = 1;
    if (failed) sketch->system->lastError = GFX_ERR_FAILED;
}
