#include "ImageImport.h"

#include "DocumentController.h"
#include "Fatal.h"
#include "LayerOperations.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <vector>

namespace {

// History entry kinds as the engine reports them (GFX_SKETCH_UNDO_KIND).
constexpr int32_t HISTORY_LAYER_ADDED = 8;

void warn(DocumentController& controller, const char* text)
{
    showMessage(&controller, text, "Warning", MESSAGE_WARNING);
}

const char* messageForProbe(ImageProbeResult result)
{
    return result == ImageProbeResult::TooLargeForMemory ? kImageCpuMemoryMessage : kImageUnsupportedMessage;
}

// The document as it was before the import made its layer, to come back to.
struct BeforeImport {
    bool clean = true;
    int32_t layerNameCounter = 1;
};

// Takes back the layer the import made (the failed image left nothing in the history)
// and with it every trace of the import.
void undoImportLayer(DocumentController& controller, const BeforeImport& before)
{
    GfxSketchAttributes history;
    history.flags = GFX_SKETCH_UNDO_KIND;
    gfxGetSketchAttributes(controller.canvas(), &history);
    if (history.undoKind == HISTORY_LAYER_ADDED) {
        controller.interfaceState().layerHistoryKind = HISTORY_LAYER_ADDED;
        gfxUndo(controller.canvas());
        controller.checkEngine();
    }
    controller.setLayerNameCounter(before.layerNameCounter);
    if (before.clean) controller.markClean();
    controller.interfaceState().layersChanged = true;
    controller.requestRedraw();
}

// What the engine's answer to the image element tells the user (null: nothing).
const char* messageForEngineAnswer(int32_t answer, int32_t kind, const std::vector<uint8_t>& bytes)
{
    switch (answer) {
    case GFX_ERR_FAILED:
        // The engine says the same for memory and for data its decoder cannot read; a
        // damaged file must not be reported as a memory shortage.
        return messageForProbe(checkImageDecodes(kind, bytes.data(), bytes.size()));
    case GFX_ERR_TEXTURE_TOO_LARGE: return kImageGpuMemoryMessage;
    case GFX_ERR_INVALID: return kImageUnsupportedMessage;
    default: return nullptr;
    }
}

// The encoded bytes of the file after the checks, or a message. The sizes come from
// the probes.
const char* readImage(const std::string& path, int32_t kind, std::vector<uint8_t>* bytes, int32_t* width,
                      int32_t* height)
{
    uint64_t size = 0;
    if (!regularFileSize(path, &size) || size == 0) return kImageUnsupportedMessage;
    // Measured on the file before anything is read: a huge file is never loaded.
    if (kind == IMAGE_KIND_PNG && !pngFileSizeAccepted(size)) return kImageFileTooLargeMessage;
    if (size > kMaxImageImportBytes) return kImageFileTooLargeMessage;
    // The header first, so a file that is no image of its kind is never read whole.
    const ImageProbeResult header =
        kind == IMAGE_KIND_JPEG ? probeJpegFile(path, width, height) : probePngFileHeader(path, width, height);
    if (header != ImageProbeResult::Ok) return messageForProbe(header);
    if (!imageSizeFitsEngine(*width, *height)) return kImageCpuMemoryMessage;
    try {
        if (!readWholeFile(path, size, bytes)) return kImageUnsupportedMessage;
    } catch (const std::bad_alloc&) {
        return kImageCpuMemoryMessage;
    }
    if (kind == IMAGE_KIND_PNG) {
        const ImageProbeResult probed = probePngBytes(bytes->data(), bytes->size(), width, height);
        if (probed != ImageProbeResult::Ok) return messageForProbe(probed);
    }
    return nullptr;
}

}  // namespace

int32_t imageKindOfPath(const std::string& path)
{
    // The extension of the file's own name (a dot in a folder name is no extension).
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return IMAGE_KIND_NONE;
    std::string extension = path.substr(dot + 1, kImageExtensionMaxCharacters);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "jpg" || extension == "jpeg") return IMAGE_KIND_JPEG;
    if (extension == "png") return IMAGE_KIND_PNG;
    return IMAGE_KIND_NONE;
}

bool chooseImageFile(DocumentController& controller, std::string* path, int32_t* kind)
{
    FileDialogRequest request;
    request.title = kImageDialogTitle;
    request.filter = kImageDialogFilter;
    controller.window().setCursor(CursorKind::Arrow);
    const std::string chosen = controller.window().chooseOpenPath(request);
    controller.restoreToolCursor();
    if (chosen.empty()) return false;
    const int32_t chosenKind = imageKindOfPath(chosen);
    if (chosenKind == IMAGE_KIND_NONE) return false;
    *path = chosen;
    *kind = chosenKind;
    return true;
}

void fitImageSize(float width, float height, float windowWidth, float windowHeight, float* fittedWidth,
                  float* fittedHeight)
{
    *fittedWidth = width;
    *fittedHeight = height;
    const float roomX = kImageFitFraction * windowWidth;
    const float roomY = kImageFitFraction * windowHeight;
    if (width <= roomX && height <= roomY) return;
    const float scale = std::min(roomX / width, roomY / height);
    *fittedWidth = width * scale;
    *fittedHeight = height * scale;
}

void importImage(DocumentController& controller, const std::string& path, int32_t kind)
{
    controller.finishInteraction();
    if (kind != IMAGE_KIND_JPEG && kind != IMAGE_KIND_PNG) return;
    if (layerCount(controller) >= kMaxLayers) {
        warn(controller, kLayerLimitMessage);
        return;
    }
    std::vector<uint8_t> bytes;
    int32_t width = 0, height = 0;
    if (const char* refusal = readImage(path, kind, &bytes, &width, &height)) {
        warn(controller, refusal);
        return;
    }

    const BeforeImport before{controller.isClean(), controller.layerNameCounter()};
    if (!newLayer(controller)) return;
    float viewport[4] = {0, 0, 0, 0};
    gfxGetViewport(controller.canvas(), viewport);
    float placedWidth = 0, placedHeight = 0;
    fitImageSize(static_cast<float>(width), static_cast<float>(height), viewport[2], viewport[3], &placedWidth,
                 &placedHeight);

    GfxElementInput input;
    input.kind = GFX_ELEMENT_IMAGE;
    // The engine takes a PNG as GFX_IMAGE_PNG and records it as GFX_IMAGE_PNG_STORED.
    input.imageEncoding = kind == IMAGE_KIND_PNG ? GFX_IMAGE_PNG : GFX_IMAGE_JPEG;
    input.imageData = bytes.data();
    input.imageLength = static_cast<int32_t>(bytes.size());
    input.rect[0] = viewport[0] + viewport[2] / 2;
    input.rect[1] = viewport[1] + viewport[3] / 2;
    input.rect[2] = placedWidth;
    input.rect[3] = placedHeight;
    input.angle = 0;
    gfxBeginElement(controller.canvas(), &input);
    const int32_t answer = gfxGetLastError(controller.engine());
    if (answer != GFX_OK) {
        const char* message = messageForEngineAnswer(answer, kind, bytes);
        bytes = std::vector<uint8_t>();
        if (message) warn(controller, message);
        undoImportLayer(controller, before);
        return;
    }
    bytes = std::vector<uint8_t>();  // the engine keeps its own copy

    controller.markChanged();
    controller.setTool(TOOL_IMAGE_PLACEMENT, false);  // remembers the tool to return to
    TransformInProgress transform;
    transform.active = true;
    transform.elementKind = GFX_ELEMENT_IMAGE;
    transform.centreX = transform.anchorX = input.rect[0];
    transform.centreY = transform.anchorY = input.rect[1];
    transform.width = placedWidth;
    transform.height = placedHeight;
    transform.angle = 0;
    controller.tools().transform = transform;
    controller.requestRedraw();
}

void importImageFromDialog(DocumentController& controller)
{
    std::string path;
    int32_t kind = IMAGE_KIND_NONE;
    if (!chooseImageFile(controller, &path, &kind)) return;
    importImage(controller, path, kind);
    controller.window().drawFrameNow();  // the end of a modal dialog shows its result at once
}
