// The sketch handle: creation and destruction, the sketch and layer attribute
// records and their side effects.
#include "GfxInternal.h"
#include "GfxPaper.h"

#include <GL/glew.h>

#include <cmath>
#include <new>

// ----------------------------------------------------------------------------------
// [SECTION] Small shared helpers
// ----------------------------------------------------------------------------------
int32_t gfxCheckBusy(GfxSketch* sketch)
{
    int32_t code = GFX_OK;
    if (sketch->elementOpen) code = GFX_ERR_ELEMENT_ACTIVE;
    else if (sketch->viewGesture.kind != 0 || sketch->layerGestureSlot >= 0) code = GFX_ERR_TRANSFORM_ACTIVE;
    if (code != GFX_OK) sketch->system->lastError = code;
    return code;
}

int32_t gfxFindLayerPosition(const GfxSketch* sketch, int32_t slot)
{
    for (int32_t position = sketch->layerCount - 1; position >= 0; --position)
        if (sketch->layerOrder[position] == slot) return position;
    return -1;
}

void gfxSetCurrentLayer(GfxSketch* sketch, int32_t position)
{
    if (GfxLayer* old = gfxCurrentLayer(sketch)) gfxMarkLayerRedraw(old);
    sketch->attributes.currentLayer = position;
    if (GfxLayer* now = gfxCurrentLayer(sketch)) gfxMarkLayerRedraw(now);
}

void gfxMarkLayerStateStale(GfxLayer* layer)
{
    layer->frameWritten = 0;
    layer->penStateWritten = 0;
    layer->colourStateWritten = 0;
    layer->eraseStateWritten = -1;
}

namespace {

template <typename Visit>
void forEachLayerInTable(GfxSketch* sketch, Visit visit)
{
    for (int32_t slot = 0; slot < sketch->layerTable.count; ++slot)
        if (GfxLayer* layer = gfxLayerAtSlot(sketch, slot)) visit(layer);
}

void markPenStale(GfxSketch* sketch)
{
    forEachLayerInTable(sketch, [](GfxLayer* layer) { layer->penStateWritten = 0; });
}

void setSmoothing(GfxSketch* sketch, int32_t level)
{
    sketch->attributes.smoothingLevel = level;
    sketch->uniformSampling = 0;
    switch (level) {
    case 1: sketch->smoothingPasses = 8; break;
    case 2: sketch->smoothingPasses = 16; break;
    case 3: sketch->smoothingPasses = 24; break;
    case 4:
        sketch->smoothingPasses = 16;
        sketch->uniformSampling = 1;
        break;
    default: sketch->smoothingPasses = 4; break;
    }
}

float sanitisedSensitivity(float value)
{
    // NaN fails both comparisons, so test for the valid range.
    return (value >= 0.0f && value <= 1.0f) ? value : 1.0f;
}

// Copies the paper image bytes. False stops the remaining bits (lastError set).
bool storePaperImage(GfxSketch* sketch, const GfxPaperImage& image)
{
    GfxSketchAttributes& a = sketch->attributes;
    a.paperImage.source = image.source;
    a.paperImage.paperId = image.paperId;
    if (image.source != 0) return true;  // only the source and id are stored
    if (!image.data || image.length < 0) {
        sketch->system->lastError = image.data ? GFX_ERR_INVALID : GFX_ERR_FAILED;
        return false;
    }
    // The new copy is made before the old one goes, so a failure keeps the old image.
    uint8_t* copy = nullptr;
    if (image.length > 0) {
        copy = static_cast<uint8_t*>(sketch->system->allocator.allocate(static_cast<size_t>(image.length)));
        if (!copy) {
            sketch->system->lastError = GFX_ERR_FAILED;
            return false;
        }
        std::memcpy(copy, image.data, static_cast<size_t>(image.length));
    }
    sketch->system->allocator.release(sketch->paperImageBytes);
    sketch->paperImageBytes = copy;
    a.paperImage.length = image.length;
    a.paperImage.encoding = image.encoding;
    a.paperImage.data = copy;
    if (!gfxPaperRebuild(sketch)) sketch->system->lastError = GFX_ERR_FAILED;
    return true;
}

void initialiseSketchDefaults(GfxSketch* sketch)
{
    sketch->attributes = GfxSketchAttributes{};
    sketch->attributes.paperImage.data = nullptr;
    setSmoothing(sketch, sketch->attributes.smoothingLevel);
    sketch->view = gfxMatrixIdentity();
    sketch->frameMatrix = gfxMatrixIdentity();
    sketch->viewInverse = gfxMatrixIdentity();
    sketch->viewScale = 1.0f;
    sketch->paper.textureMatrix = gfxMatrixIdentity();
    sketch->needsRedraw = 1;
}

void releaseSketchMemory(GfxSketch* sketch)
{
    const GfxAllocator allocator = sketch->system->allocator;
    for (int32_t slot = 0; sketch->layerTable.chunks && slot < sketch->layerTable.count; ++slot)
        if (GfxLayer* layer = gfxLayerAtSlot(sketch, slot)) gfxReleaseLayer(sketch, layer);
    if (sketch->liveTexture) {
        glDeleteTextures(1, &sketch->liveTexture);
        sketch->liveTexture = 0;
    }
    gfxChunkArrayDestroy(&sketch->layerTable);
    allocator.release(sketch->layerOrder);
    sketch->layerOrder = nullptr;
    gfxChunkArrayDestroy(&sketch->history);
    gfxPaperRelease(sketch);
    allocator.release(sketch->paperImageBytes);
    sketch->paperImageBytes = nullptr;
    sketch->matrixStack.destroy();
    sketch->rawSamples.destroy();
    sketch->rebuildCopy.destroy();
    sketch->rebuiltPoints.destroy();
    sketch->vertices.destroy();
}

bool buildSketchContainers(GfxSketch* sketch)
{
    const GfxAllocator& allocator = sketch->system->allocator;
    if (!gfxChunkArrayCreate(&sketch->layerTable, allocator, sizeof(GfxLayer*),
                             GFX_LAYER_TABLE_PER_CHUNK * static_cast<int32_t>(sizeof(GfxLayer*)),
                             GFX_LAYER_TABLE_CHUNKS))
        return false;
    sketch->layerOrder =
        static_cast<int32_t*>(allocator.allocate(sizeof(int32_t) * static_cast<size_t>(GFX_LAYER_ORDER_GROWTH)));
    if (!sketch->layerOrder) return false;
    sketch->layerOrderCapacity = GFX_LAYER_ORDER_GROWTH;
    if (!gfxChunkArrayCreate(&sketch->history, allocator, sizeof(GfxHistoryEntry),
                             GFX_HISTORY_PER_CHUNK * static_cast<int32_t>(sizeof(GfxHistoryEntry)),
                             GFX_HISTORY_CHUNKS))
        return false;
    if (!sketch->rawSamples.create(allocator, GFX_POINT_POOL_ROOM, GFX_POINT_POOL_GROWTH) ||
        !sketch->rebuildCopy.create(allocator, GFX_POINT_POOL_ROOM, GFX_POINT_POOL_GROWTH) ||
        !sketch->rebuiltPoints.create(allocator, GFX_POINT_POOL_ROOM, GFX_POINT_POOL_GROWTH) ||
        !sketch->vertices.create(allocator, GFX_VERTEX_POOL_ROOM, GFX_VERTEX_POOL_GROWTH) ||
        !sketch->matrixStack.create(allocator, GFX_MATRIX_STACK_ROOM, GFX_MATRIX_STACK_GROWTH))
        return false;
    return sketch->matrixStack.push(gfxMatrixIdentity());
}

}  // namespace

// ----------------------------------------------------------------------------------
// [SECTION] Creation and destruction
// ----------------------------------------------------------------------------------
GfxSketch* gfxCreateSketch(GfxSystem* system, const GfxSketchAttributes* attributes)
{
    if (!system) return nullptr;
    void* memory = system->allocator.allocate(sizeof(GfxSketch));
    if (!memory) {
        system->lastError = GFX_ERR_FAILED;
        return nullptr;
    }
    GfxSketch* sketch = new (memory) GfxSketch{};
    sketch->system = system;
    initialiseSketchDefaults(sketch);

    const int32_t id = gfxChunkArrayAppend(&system->sketches, &sketch);
    sketch->id = id;
    bool built = id >= 0 && buildSketchContainers(sketch);
    if (built) {
        gfxPaperCopySettings(sketch);
        if (attributes) {
            system->lastError = GFX_OK;
            gfxSetSketchAttributes(sketch, attributes);
            built = system->lastError == GFX_OK;
        }
        // The paper object always reflects the attributes, image or not.
        if (built && !(attributes && (attributes->flags & GFX_SKETCH_PAPER_IMAGE))) built = gfxPaperRebuild(sketch);
    }
    if (!built) {
        releaseSketchMemory(sketch);
        // Nobody has seen the id: the registry slot can go again.
        if (id >= 0) gfxChunkArrayTruncate(&system->sketches, id);
        sketch->~GfxSketch();
        system->allocator.release(memory);
        system->lastError = GFX_ERR_FAILED;
        return nullptr;
    }
    sketch->view = sketch->frameMatrix = sketch->viewInverse = gfxMatrixIdentity();
    sketch->viewScale = 1.0f;
    sketch->needsRedraw = 1;
    system->lastError = GFX_OK;
    return sketch;
}

void gfxDestroySketch(GfxSketch* sketch)
{
    if (!sketch) return;
    GfxSystem* system = sketch->system;
    if (system->clipSketch == sketch->id) {
        system->clipSketch = -1;
        system->clipLayer = -1;
    }
    releaseSketchMemory(sketch);
    *gfxChunkArrayGet<GfxSketch*>(&system->sketches, sketch->id) = nullptr;
    sketch->~GfxSketch();
    system->allocator.release(sketch);
    system->lastError = GFX_OK;
}

GfxSystem* gfxGetSketchSystem(GfxSketch* sketch)
{
    return sketch ? sketch->system : nullptr;
}

// ----------------------------------------------------------------------------------
// [SECTION] Sketch attributes
// ----------------------------------------------------------------------------------
GfxSystem* gfxSetSketchAttributes(GfxSketch* sketch, const GfxSketchAttributes* in)
{
    if (!sketch) return nullptr;
    GfxSystem* system = sketch->system;
    if (!in) {
        system->lastError = GFX_ERR_INVALID;
        return system;
    }
    system->lastError = GFX_OK;
    GfxSketchAttributes& a = sketch->attributes;
    const int32_t flags = in->flags;

    if (flags & GFX_SKETCH_CURRENT_LAYER) gfxSetCurrentLayer(sketch, in->currentLayer);
    if (flags & GFX_SKETCH_PAPER_COLOUR) std::memcpy(a.paperColour, in->paperColour, 3);
    if (flags & GFX_SKETCH_PAPER_TEXTURE_STRENGTH) a.paperTextureStrength = in->paperTextureStrength;
    if (flags & GFX_SKETCH_PAPER_TINT) a.paperTint = in->paperTint;
    if (flags & GFX_SKETCH_PAPER_MULTI_SCALE) a.paperMultiScale = in->paperMultiScale;
    if (flags & GFX_SKETCH_PAPER_TEXTURE_MODE) a.paperTextureMode = in->paperTextureMode;
    if (flags & (GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PAPER_TEXTURE_STRENGTH | GFX_SKETCH_PAPER_TINT |
                 GFX_SKETCH_PAPER_MULTI_SCALE | GFX_SKETCH_PAPER_TEXTURE_MODE))
        gfxPaperCopySettings(sketch);
    if (flags & GFX_SKETCH_PAPER_IMAGE) {
        if (!storePaperImage(sketch, in->paperImage)) return system;
    }
    if (flags & GFX_SKETCH_PEN_TYPE) a.penType = in->penType;
    if (flags & GFX_SKETCH_PEN_COLOUR) {
        std::memcpy(a.penColour, in->penColour, 3);
        forEachLayerInTable(sketch, [](GfxLayer* layer) { layer->colourStateWritten = 0; });
    }
    if (flags & GFX_SKETCH_PEN_NOISE) a.penNoise = in->penNoise;
    if (flags & GFX_SKETCH_PEN_WIDTH) a.penWidth = in->penWidth;
    if (flags & GFX_SKETCH_PEN_WIDTH_SENSITIVITY) a.penWidthSensitivity = sanitisedSensitivity(in->penWidthSensitivity);
    if (flags & GFX_SKETCH_PEN_OPACITY) a.penOpacity = in->penOpacity;
    if (flags & GFX_SKETCH_PEN_OPACITY_SENSITIVITY) a.penOpacitySensitivity = in->penOpacitySensitivity;
    if (flags & (GFX_SKETCH_PEN_TYPE | GFX_SKETCH_PEN_NOISE | GFX_SKETCH_PEN_WIDTH |
                 GFX_SKETCH_PEN_WIDTH_SENSITIVITY | GFX_SKETCH_PEN_OPACITY | GFX_SKETCH_PEN_OPACITY_SENSITIVITY))
        markPenStale(sketch);
    // The erase state is compared with each layer's last erase record when the next
    // element is written.
    if (flags & GFX_SKETCH_ERASE_MODE) a.eraseMode = in->eraseMode;
    if (flags & GFX_SKETCH_SMOOTHING_LEVEL) setSmoothing(sketch, in->smoothingLevel);
    if (flags & GFX_SKETCH_WIDTH_SCALE) {
        a.widthScale = in->widthScale;
        // Widths are baked into the cells.
        sketch->needsRedraw = 1;
        sketch->rebuildCells = 1;
    }
    return system;
}

void gfxGetSketchAttributes(GfxSketch* sketch, GfxSketchAttributes* out)
{
    if (!sketch) return;
    GfxSystem* system = sketch->system;
    if (!out) {
        system->lastError = GFX_ERR_INVALID;
        return;
    }
    const GfxSketchAttributes& a = sketch->attributes;
    const int32_t flags = out->flags;
    if (flags & GFX_SKETCH_LAYER_COUNT) out->layerCount = sketch->layerCount;
    if (flags & GFX_SKETCH_CURRENT_LAYER) out->currentLayer = a.currentLayer;
    if (flags & GFX_SKETCH_PAPER_TEXTURE_MODE) out->paperTextureMode = a.paperTextureMode;
    if (flags & GFX_SKETCH_PAPER_COLOUR) std::memcpy(out->paperColour, a.paperColour, 3);
    if (flags & GFX_SKETCH_PAPER_TEXTURE_STRENGTH) out->paperTextureStrength = a.paperTextureStrength;
    if (flags & GFX_SKETCH_PAPER_TINT) out->paperTint = a.paperTint;
    if (flags & GFX_SKETCH_PAPER_MULTI_SCALE) out->paperMultiScale = a.paperMultiScale;
    if (flags & GFX_SKETCH_PAPER_IMAGE) out->paperImage = a.paperImage;
    if (flags & GFX_SKETCH_PEN_TYPE) out->penType = a.penType;
    if (flags & GFX_SKETCH_PEN_COLOUR) std::memcpy(out->penColour, a.penColour, 3);
    if (flags & GFX_SKETCH_PEN_NOISE) out->penNoise = a.penNoise;
    if (flags & GFX_SKETCH_PEN_WIDTH) out->penWidth = a.penWidth;
    if (flags & GFX_SKETCH_PEN_WIDTH_SENSITIVITY) out->penWidthSensitivity = a.penWidthSensitivity;
    if (flags & GFX_SKETCH_PEN_OPACITY) out->penOpacity = a.penOpacity;
    if (flags & GFX_SKETCH_PEN_OPACITY_SENSITIVITY) out->penOpacitySensitivity = a.penOpacitySensitivity;
    if (flags & GFX_SKETCH_ERASE_MODE) out->eraseMode = a.eraseMode;
    if (flags & GFX_SKETCH_SMOOTHING_LEVEL) out->smoothingLevel = a.smoothingLevel;
    if (flags & GFX_SKETCH_WIDTH_SCALE) out->widthScale = a.widthScale;
    if (flags & GFX_SKETCH_STATS) out->stats = gfxComputeSketchStats(sketch);
    const GfxChunkArray& history = sketch->history;
    if (flags & GFX_SKETCH_UNDO_KIND)
        out->undoKind = history.cursor > 0 ? gfxHistoryAt(sketch, history.cursor - 1)->kind : 0;
    if (flags & GFX_SKETCH_REDO_KIND)
        out->redoKind = history.cursor < history.count ? gfxHistoryAt(sketch, history.cursor)->kind : 0;
    system->lastError = GFX_OK;
}

// ----------------------------------------------------------------------------------
// [SECTION] Layer attributes
// ----------------------------------------------------------------------------------
void gfxGetLayerAttributes(GfxSketch* sketch, int32_t position, GfxLayerAttributes* out)
{
    if (!sketch) return;
    GfxLayer* layer = gfxLayerAtPosition(sketch, position);
    if (!layer || !out) {
        sketch->system->lastError = GFX_ERR_INVALID;
        return;
    }
    const int32_t flags = out->flags;
    if (flags & GFX_LAYER_NAME) std::memcpy(out->name, layer->name, GFX_LAYER_NAME_BYTES);
    if (flags & GFX_LAYER_OPACITY) out->opacity = layer->opacity;
    if (flags & GFX_LAYER_VISIBLE) out->visible = layer->visible;
    if (flags & GFX_LAYER_TEXTURE) {
        const bool live = position == sketch->attributes.currentLayer && layer->visible;
        out->texture = live ? sketch->liveTexture : layer->texture;
    }
    sketch->system->lastError = GFX_OK;
}

void gfxApplyLayerAttributes(GfxLayer* layer, const GfxLayerAttributes& in)
{
    if (in.flags & GFX_LAYER_NAME) {
        size_t length = 0;
        while (length < GFX_LAYER_NAME_BYTES - 1 && in.name[length] != '\0') ++length;
        std::memcpy(layer->name, in.name, length);
        layer->name[length] = '\0';
    }
    if (in.flags & GFX_LAYER_OPACITY) layer->opacity = in.opacity;
    if ((in.flags & GFX_LAYER_VISIBLE) && in.visible != layer->visible) {
        layer->visible = in.visible;
        gfxMarkLayerRedrawAll(layer);
    }
}

void gfxSetLayerAttributes(GfxSketch* sketch, int32_t position, const GfxLayerAttributes* in)
{
    if (!sketch) return;
    GfxLayer* layer = gfxLayerAtPosition(sketch, position);
    if (!layer || !in) {
        sketch->system->lastError = GFX_ERR_INVALID;
        return;
    }
    gfxApplyLayerAttributes(layer, *in);
    sketch->system->lastError = GFX_OK;
}
