// Off-screen rendering: a region or a view of the sketch rendered at any pixel size
// into the current framebuffer, in viewport-sized tiles when it is larger than the
// viewport, and read back into memory.
//
// [SECTION] Requests and the result block
// [SECTION] The view while rendering
// [SECTION] Rendering and reading back
// [SECTION] Public operations
//
// The view is changed only for the duration of the call and then put back exactly
// as it was (matrices copied, not transformed back), so an export never moves the
// canvas on screen by rounding, and the layers' coordinate frames stay valid.
#include "GfxRenderInternal.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

namespace {

// ----------------------------------------------------------------------------------
// [SECTION] Requests and the result block
// ----------------------------------------------------------------------------------
bool rgbaMode(int32_t mode) { return mode == GFX_IMAGE_MODE_LAYER || mode == GFX_IMAGE_MODE_SKETCH_TRANSPARENT; }

// GFX_OK, or the code a request is refused with. A bad layer position and a zero
// source width are refused without an error code (-1).
constexpr int32_t REFUSED_QUIETLY = -1;

int32_t checkRequest(const GfxSketch* sketch, const GfxImageRequest& request, bool region)
{
    if (request.mode == GFX_IMAGE_MODE_LAYER && (request.layer < 0 || request.layer >= sketch->layerCount))
        return REFUSED_QUIETLY;
    if (region && request.sourceWidth == 0) return REFUSED_QUIETLY;
    if (request.mode < GFX_IMAGE_MODE_SKETCH || request.mode > GFX_IMAGE_MODE_SKETCH_TRANSPARENT) return GFX_ERR_INVALID;
    if (request.width <= 0 || request.height <= 0) return GFX_ERR_INVALID;
    if (region && !(std::isfinite(request.sourceX) && std::isfinite(request.sourceY) &&
                    std::isfinite(request.sourceWidth)))
        return GFX_ERR_INVALID;
    // Tiles are viewport-sized: without a viewport there is nothing to render into.
    if (sketch->viewport[2] < 1 || sketch->viewport[3] < 1) return GFX_ERR_INVALID;
    return GFX_OK;
}

// The image and its data block in one allocation, so the caller's one free
// releases both. Null when the size does not fit the hooks or memory runs out.
GfxImage* allocateImage(const GfxAllocator& allocator, int32_t width, int32_t height, int32_t bytesPerPixel)
{
    constexpr int64_t header = static_cast<int64_t>(sizeof(GfxImage)) + 2 * sizeof(int32_t);
    if (static_cast<int64_t>(width) > (INT32_MAX - header) / bytesPerPixel / height) return nullptr;
    const int64_t pixelBytes = static_cast<int64_t>(width) * height * bytesPerPixel;
    void* memory = allocator.allocate(static_cast<size_t>(header + pixelBytes));
    if (!memory) return nullptr;
    GfxImage* image = static_cast<GfxImage*>(memory);
    *image = GfxImage{};
    image->format = bytesPerPixel == 4 ? GFX_IMAGE_FORMAT_RGBA : GFX_IMAGE_FORMAT_RGB;
    image->byteSize = static_cast<int32_t>(2 * sizeof(int32_t) + pixelBytes);
    image->data = reinterpret_cast<uint8_t*>(image + 1);
    std::memcpy(image->data, &width, sizeof width);
    std::memcpy(image->data + sizeof width, &height, sizeof height);
    return image;
}

uint8_t* imagePixels(GfxImage* image) { return image->data + 2 * sizeof(int32_t); }

// Premultiplied to straight colour: each colour byte that is not 0 is divided by
// alpha / 255 (truncated, at most 255).
void unpremultiply(uint8_t* pixels, int64_t count)
{
    for (int64_t i = 0; i < count; ++i) {
        uint8_t* p = pixels + 4 * i;
        const uint8_t alpha = p[3];
        if (alpha == 0 || alpha == 255) continue;
        const float coverage = alpha / 255.0f;
        for (int c = 0; c < 3; ++c)
            if (p[c] != 0) p[c] = static_cast<uint8_t>(std::min(255.0f, p[c] / coverage));
    }
}

// ----------------------------------------------------------------------------------
// [SECTION] The view while rendering
// ----------------------------------------------------------------------------------
struct ViewSnapshot {
    GfxMatrix view;
    GfxMatrix viewInverse;
    GfxMatrix frameMatrix;
    GfxMatrix paperMatrix;
    float viewScale;
    GfxGestureState gesture;
    float viewport[4];
    int32_t paperVisible;
};

ViewSnapshot takeSnapshot(const GfxSketch* sketch)
{
    ViewSnapshot s;
    s.view = sketch->view;
    s.viewInverse = sketch->viewInverse;
    s.frameMatrix = sketch->frameMatrix;
    s.paperMatrix = sketch->paper.textureMatrix;
    s.viewScale = sketch->viewScale;
    s.gesture = sketch->viewGesture;
    std::memcpy(s.viewport, sketch->viewport, sizeof s.viewport);
    s.paperVisible = sketch->paperVisible;
    return s;
}

void restoreSnapshot(GfxSketch* sketch, const ViewSnapshot& s)
{
    sketch->view = s.view;
    sketch->viewInverse = s.viewInverse;
    sketch->frameMatrix = s.frameMatrix;
    sketch->paper.textureMatrix = s.paperMatrix;
    sketch->viewScale = s.viewScale;
    sketch->viewGesture = s.gesture;
    std::memcpy(sketch->viewport, s.viewport, sizeof s.viewport);
    sketch->paperVisible = s.paperVisible;
    sketch->needsRedraw = 1;
}

// The view (and the paper with it) for one render: `transform` in viewport pixels
// applied on top of `from`. Frames are not marked stale: the view goes back before
// anything can be drawn in it.
void placeView(GfxSketch* sketch, const ViewSnapshot& from, const GfxMatrix& transform, float scaleFactor)
{
    sketch->view = gfxMatrixMultiply(transform, from.view);
    sketch->paper.textureMatrix = gfxMatrixMultiply(transform, from.paperMatrix);
    sketch->viewScale = from.viewScale * scaleFactor;
    gfxMatrixInvert(sketch->view, &sketch->viewInverse);
    sketch->needsRedraw = 1;
}

// The region form: the region's corner to the viewport origin, zoomed about it so
// that sourceWidth becomes the image width.
void placeRegion(GfxSketch* sketch, const ViewSnapshot& from, const GfxImageRequest& request)
{
    const float zoom = static_cast<float>(request.width) / request.sourceWidth;
    const GfxMatrix transform =
        gfxMatrixMultiply(gfxMatrixScale(zoom, zoom), gfxMatrixTranslate(-request.sourceX, -request.sourceY));
    placeView(sketch, from, transform, zoom);
}

// The view form: the gesture applied to a reset view, mirrored about the image centre
// when a combined gesture's scaleY says so (1 horizontally, 2 vertically).
void placeGestureView(GfxSketch* sketch, const GfxGesture& gesture, const GfxImageRequest& request)
{
    ViewSnapshot reset = takeSnapshot(sketch);
    reset.view = reset.paperMatrix = gfxMatrixIdentity();
    reset.viewScale = 1.0f;
    GfxMatrix transform = gfxGestureMatrix(gesture);
    const int32_t mirror = gesture.kind == GFX_GESTURE_COMBINED ? static_cast<int32_t>(gesture.scaleY) : 0;
    if (static_cast<float>(mirror) == gesture.scaleY && (mirror == GFX_MIRROR_HORIZONTAL || mirror == GFX_MIRROR_VERTICAL)) {
        const float cx = 0.5f * request.width;
        const float cy = 0.5f * request.height;
        const GfxMatrix flip = mirror == GFX_MIRROR_HORIZONTAL ? gfxMatrixScale(-1, 1) : gfxMatrixScale(1, -1);
        const GfxMatrix about =
            gfxMatrixMultiply(gfxMatrixTranslate(cx, cy), gfxMatrixMultiply(flip, gfxMatrixTranslate(-cx, -cy)));
        transform = gfxMatrixMultiply(about, transform);
    }
    placeView(sketch, reset, transform, gfxGestureScaleFactor(gesture));
}

// ----------------------------------------------------------------------------------
// [SECTION] Rendering and reading back
// ----------------------------------------------------------------------------------
// One render of the request's mode into the viewport. The code for lastError.
int32_t renderMode(GfxSketch* sketch, const GfxImageRequest& request)
{
    ++sketch->render.stats.offscreenRenders;
    sketch->needsRedraw = 1;
    switch (request.mode) {
    case GFX_IMAGE_MODE_SKETCH: return gfxRenderFrame(sketch);
    case GFX_IMAGE_MODE_SKETCH_TRANSPARENT: {
        const int32_t visible = sketch->paperVisible;
        sketch->paperVisible = 0;
        const int32_t code = gfxRenderFrame(sketch);
        sketch->paperVisible = visible;
        return code;
    }
    case GFX_IMAGE_MODE_LAYER: {
        const int32_t code = gfxEnsureGlReady(sketch->system);
        if (code != GFX_OK) return code;
        GfxLayer* layer = gfxLayerAtPosition(sketch, request.layer);
        if (!layer) return GFX_ERR_INTERNAL;
        gfxRenderLayerAlone(sketch, layer);
        return GFX_OK;
    }
    default: {
        const int32_t code = gfxEnsureGlReady(sketch->system);
        if (code != GFX_OK) return code;
        sketch->frameMatrix = gfxFrameMatrixOf(sketch);
        gfxSetUpFrame(sketch);
        gfxDrawPaper(sketch);
        gfxRestoreDefaultState();
        return GFX_OK;
    }
    }
}

// Reads width x height pixels at the viewport's corner, rows tightly packed.
void readViewport(const GfxSketch* sketch, int32_t width, int32_t height, int32_t bytesPerPixel, uint8_t* out)
{
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(static_cast<GLint>(sketch->viewport[0]), static_cast<GLint>(sketch->viewport[1]), width, height,
                 bytesPerPixel == 4 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, out);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

// The whole image at once: the viewport shrinks to it (at the same origin).
int32_t renderOnePass(GfxSketch* sketch, const GfxImageRequest& request, int32_t bytesPerPixel, uint8_t* pixels)
{
    sketch->viewport[2] = static_cast<float>(request.width);
    sketch->viewport[3] = static_cast<float>(request.height);
    const int32_t code = renderMode(sketch, request);
    if (code == GFX_OK) readViewport(sketch, request.width, request.height, bytesPerPixel, pixels);
    return code;
}

// Viewport-sized tiles, bottom band first; the last tile of a band and the last band
// are smaller. Each tile pans the placed view so its corner is at the viewport origin.
int32_t renderTiles(GfxSketch* sketch, const GfxImageRequest& request, int32_t bytesPerPixel, uint8_t* pixels,
                    uint8_t* tile)
{
    const ViewSnapshot placed = takeSnapshot(sketch);
    const int32_t tileWidth = static_cast<int32_t>(sketch->viewport[2]);
    const int32_t tileHeight = static_cast<int32_t>(sketch->viewport[3]);
    const size_t imageRow = static_cast<size_t>(request.width) * bytesPerPixel;
    for (int32_t y = 0; y < request.height; y += tileHeight) {
        const int32_t height = std::min(tileHeight, request.height - y);
        for (int32_t x = 0; x < request.width; x += tileWidth) {
            const int32_t width = std::min(tileWidth, request.width - x);
            placeView(sketch, placed, gfxMatrixTranslate(static_cast<float>(-x), static_cast<float>(-y)), 1.0f);
            const int32_t code = renderMode(sketch, request);
            if (code != GFX_OK) return code;
            readViewport(sketch, width, height, bytesPerPixel, tile);
            const size_t tileRow = static_cast<size_t>(width) * bytesPerPixel;
            for (int32_t row = 0; row < height; ++row)
                std::memcpy(pixels + (static_cast<size_t>(y) + row) * imageRow + static_cast<size_t>(x) * bytesPerPixel,
                            tile + static_cast<size_t>(row) * tileRow, tileRow);
        }
    }
    return GFX_OK;
}

// Common steps after the view is placed: one pass or tiles, the view and viewport
// put back, the window's view drawn again.
GfxImage* renderPlaced(GfxSketch* sketch, const GfxImageRequest& request, const ViewSnapshot& saved, GfxImage* image)
{
    GfxSystem* system = sketch->system;
    const int32_t bytesPerPixel = rgbaMode(request.mode) ? 4 : 3;
    uint8_t* pixels = imagePixels(image);
    int32_t code = GFX_OK;
    if (saved.viewport[2] >= request.width && saved.viewport[3] >= request.height) {
        code = renderOnePass(sketch, request, bytesPerPixel, pixels);
    } else {
        const size_t tileBytes = static_cast<size_t>(saved.viewport[2]) * static_cast<size_t>(saved.viewport[3]) *
                                 static_cast<size_t>(bytesPerPixel);
        uint8_t* tile = static_cast<uint8_t*>(system->allocator.allocate(tileBytes));
        code = tile ? renderTiles(sketch, request, bytesPerPixel, pixels, tile) : GFX_ERR_FAILED;
        system->allocator.release(tile);
    }
    restoreSnapshot(sketch, saved);
    if (code != GFX_OK) {
        system->allocator.release(image);
        gfxRenderFrame(sketch);
        system->lastError = code;
        return nullptr;
    }
    if (bytesPerPixel == 4) unpremultiply(pixels, static_cast<int64_t>(request.width) * request.height);
    // The window shows its own view again.
    const int32_t redraw = gfxRenderFrame(sketch);
    system->lastError = redraw == GFX_ERR_FAILED ? GFX_ERR_FAILED : GFX_OK;
    return image;
}

// Checks and allocation shared by both forms. Null when refused (lastError set
// unless refused quietly).
GfxImage* prepareImage(GfxSketch* sketch, const GfxImageRequest* request, bool region)
{
    GfxSystem* system = sketch->system;
    if (!request) {
        system->lastError = GFX_ERR_INVALID;
        return nullptr;
    }
    const int32_t check = checkRequest(sketch, *request, region);
    if (check == REFUSED_QUIETLY) return nullptr;
    if (check != GFX_OK) {
        system->lastError = check;
        return nullptr;
    }
    GfxImage* image = allocateImage(system->allocator, request->width, request->height, rgbaMode(request->mode) ? 4 : 3);
    if (!image) system->lastError = GFX_ERR_FAILED;
    return image;
}

bool finiteGesture(const GfxGesture& g)
{
    return std::isfinite(g.centreX) && std::isfinite(g.centreY) && std::isfinite(g.scaleX) &&
           std::isfinite(g.scaleY) && std::isfinite(g.translateX) && std::isfinite(g.translateY) &&
           std::isfinite(g.angle) && g.kind >= GFX_GESTURE_ZOOM && g.kind <= GFX_GESTURE_COMBINED;
}

}  // namespace

// ----------------------------------------------------------------------------------
// [SECTION] Public operations
// ----------------------------------------------------------------------------------
GfxImage* gfxRenderRegionToImage(GfxSketch* sketch, const GfxImageRequest* request)
{
    if (!sketch) return nullptr;
    GfxImage* image = prepareImage(sketch, request, true);
    if (!image) return nullptr;
    const ViewSnapshot saved = takeSnapshot(sketch);
    sketch->viewGesture = GfxGestureState{};  // an unfinished view gesture is not exported
    placeRegion(sketch, saved, *request);
    return renderPlaced(sketch, *request, saved, image);
}

GfxImage* gfxRenderViewToImage(GfxSketch* sketch, const GfxGesture* gesture, const GfxImageRequest* request)
{
    if (!sketch) return nullptr;
    if (!gesture || !finiteGesture(*gesture)) {
        sketch->system->lastError = GFX_ERR_INVALID;
        return nullptr;
    }
    GfxImage* image = prepareImage(sketch, request, false);
    if (!image) return nullptr;
    const ViewSnapshot saved = takeSnapshot(sketch);
    sketch->viewGesture = GfxGestureState{};
    placeGestureView(sketch, *gesture, *request);
    return renderPlaced(sketch, *request, saved, image);
}
