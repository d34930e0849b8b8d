#include "DocumentController.h"

#include "Fatal.h"
#include "GlRequirements.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

namespace {

DocumentController* globalController = nullptr;

const char* kArtFilter = "Vellumin Art Files (*.art)";

// A whole paper file, when it starts as a JPEG does (FF D8).
bool readPaperFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) data.insert(data.end(), buffer, buffer + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || data.size() < 2 || data[0] != 0xFF || data[1] != 0xD8) return false;
    bytes = std::move(data);
    return true;
}

}  // namespace

DocumentController* theController() { return globalController; }
void setTheController(DocumentController* controller) { globalController = controller; }

DocumentController::DocumentController(WindowLayer& window) : window_(window) {}

std::unique_ptr<DocumentController> DocumentController::create(WindowLayer& window,
                                                               const std::string& resourceDirectory)
{
    std::unique_ptr<DocumentController> controller(new (std::nothrow) DocumentController(window));
    if (!controller) return nullptr;
    DocumentController& c = *controller;
    c.interfaceState_.resourceDirectory = resourceDirectory.substr(0, kResourceDirectoryLimit);

    c.engine_ = gfxCreateSystem();
    if (!c.engine_) fatal(nullptr, GFX_ERR_INVALID);

    int32_t glResult = checkOpenGlRequirements(window);
    if (glResult != GFX_OK) fatal(nullptr, glResult);

    c.canvas_ = c.createCanvas();
    if (!c.canvas_) fatal(nullptr, gfxGetLastError(c.engine_));
    c.createFirstLayer();

    // With no recent files the first entry tells the user so.
    c.recentFiles_[0] = "No recent files";
    c.recentFileCount_ = 0;

    c.loadPapers();
    c.requestRedraw();
    c.applyDefaultPaper();

    c.pickScratch_.assign(kPickScratchBytes, 0);
    c.initialiseTools();
    c.cleanFlag_ = 1;
    return controller;
}

DocumentController::~DocumentController()
{
    finishInteraction();
    resetPins(*this);
    // Destroying the system destroys every canvas it still holds.
    if (engine_) gfxDestroySystem(engine_);
    engine_ = nullptr;
    canvas_ = nullptr;
}

GfxSketch* DocumentController::createCanvas()
{
    GfxSketchAttributes attributes;
    attributes.flags = GFX_SKETCH_PEN_COLOUR | GFX_SKETCH_SMOOTHING_LEVEL;  // pen colour: black until the colour panel exists
    attributes.smoothingLevel = smoothingLevel_;
    return gfxCreateSketch(engine_, &attributes);
}

// "Layer 1" on a fresh canvas (the name counter is 1 at creation and after new).
void DocumentController::createFirstLayer() { newLayer(*this); }

void DocumentController::loadPapers()
{
    const std::string& dir = interfaceState_.resourceDirectory;
    for (int number = 1; number < kPaperCount; ++number) {
        char path[2200];
        if (number < 10) std::snprintf(path, sizeof path, "%s/Paper/0%d.jpg", dir.c_str(), number);
        else std::snprintf(path, sizeof path, "%s/Paper/%d.jpg", dir.c_str(), number);
        PaperEntry& entry = papers_[static_cast<size_t>(number)];
        if (readPaperFile(path, entry.bytes)) {
            entry.formatTag = 0;
        } else {
            entry = PaperEntry{};
            showMessage(this, "Could not read paper file", "Warning", MESSAGE_WARNING);
        }
    }
}

void DocumentController::applyDefaultPaper()
{
    selectedPaper_ = 0;
    GfxSketchAttributes attributes;
    attributes.flags = GFX_SKETCH_PAPER_COLOUR | GFX_SKETCH_PAPER_TINT | GFX_SKETCH_PAPER_TEXTURE_MODE;
    attributes.paperTextureMode = 0;
    attributes.paperColour[0] = attributes.paperColour[1] = attributes.paperColour[2] = 255;
    attributes.paperTint = 1;
    gfxSetSketchAttributes(canvas_, &attributes);
    requestRedraw();
}

void DocumentController::newDocument()
{
    if (askSaveChanges() == ANSWER_OTHER) return;
    finishInteraction();
    startEmptyCanvas();
}

void DocumentController::startEmptyCanvas()
{
    float rect[4] = {0, 0, static_cast<float>(windowState_.clientWidth), static_cast<float>(windowState_.clientHeight)};
    if (!engine_) fatal(this, GFX_ERR_INVALID);
    gfxDestroySketch(canvas_);
    canvas_ = createCanvas();
    if (!canvas_) fatal(this, gfxGetLastError(engine_));

    resetPins(*this);
    hasFileName_ = false;
    fileName_.clear();
    readByArtReader_ = false;
    fileTime_ = 0;
    layerNameCounter_ = 1;
    layersAdded_ = 0;
    createFirstLayer();
    if (rect[2] > 0 && rect[3] > 0) gfxSetViewport(canvas_, rect[0], rect[1], rect[2], rect[3]);
    penScaleFactor_ = 1.0f;
    toolsAfterNewCanvas();
    applyDefaultPaper();
    interfaceState_.layersChanged = interfaceState_.penChanged = interfaceState_.documentChanged = true;
    cleanFlag_ = 1;
    requestRedraw();
}

int32_t DocumentController::askSaveChanges()
{
    if (cleanFlag_) return ANSWER_NO;
    int32_t answer = showMessage(this, "Save changes?", "Save Changes", MESSAGE_YES_NO_CANCEL);
    if (answer == ANSWER_YES) {
        std::string path = chooseSavePath();
        if (path.empty()) return ANSWER_OTHER;
        window_.setCursor(SystemCursor::Busy);
        bool saved = saveDocument(path);
        requestRedraw();
        restoreToolCursor();
        // A save that failed must not let New, Open or Exit throw the work away.
        return saved ? ANSWER_YES : ANSWER_OTHER;
    }
    return answer == ANSWER_NO ? ANSWER_NO : ANSWER_OTHER;
}

void DocumentController::askSaveBeforeExit(bool crashing)
{
    if (cleanFlag_) return;
    const char* text = crashing ? "Vellumin has experienced an unexpected problem and is about to terminate itself! "
                                  "Would you like to try saving your work?"
                                : "Save changes before exiting?";
    if (showMessage(this, text, "Save Changes", MESSAGE_QUESTION) != ANSWER_YES) return;
    std::string path = chooseSavePath();
    if (path.empty()) return;
    saveDocument(path);
    requestRedraw();
}

std::string DocumentController::chooseSavePath()
{
    if (hasFileName_) return fileName_;
    return chooseSaveAsPath();
}

std::string DocumentController::chooseSaveAsPath()
{
    FileDialogRequest request;
    request.title = "Save Canvas As";
    request.filter = kArtFilter;
    request.defaultExtension = "art";
    window_.setCursor(SystemCursor::Arrow);
    std::string path = window_.chooseSavePath(request);
    restoreToolCursor();
    return path;
}

void DocumentController::setTitle(const std::string& name) { window_.setTitle("Vellumin-Free - " + name); }

// finishInteraction is the tools' business: Tools.cpp.

void DocumentController::setSmoothingLevel(int32_t level)
{
    smoothingLevel_ = level;
    GfxSketchAttributes attributes;
    attributes.flags = GFX_SKETCH_SMOOTHING_LEVEL;
    attributes.smoothingLevel = level;
    gfxSetSketchAttributes(canvas_, &attributes);
}

void DocumentController::restoreToolCursor() { window_.setCursor(toolCursor_); }

void DocumentController::requestRedraw() { window_.postRedisplay(); }

void DocumentController::checkEngine()
{
    if (!engine_) fatal(this, GFX_ERR_INVALID);
    int32_t code = gfxGetLastError(engine_);
    if (code != GFX_OK) fatal(this, code);
}
