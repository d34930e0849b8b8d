// The document flows that touch files: open, open recent, save, save as, the recent
// files and the "changed since last save" question. Part of DocumentController.
#include "DocumentController.h"

#include "ArtFile.h"
#include "ErrorMessages.h"
#include "Fatal.h"
#include "Paths.h"
#include "Pins.h"

#include <cstring>
#include <ctime>

namespace {

const char* kArtFilter = "Vellumin Art Files (*.art)";
constexpr size_t kPathLimit = 1023;

}  // namespace

// ---------------------------------------------------------------------------------------
// [SECTION] Open
// ---------------------------------------------------------------------------------------

void DocumentController::applyArtHeader(const ArtHeader& header)
{
    // Kinds 127 and 128 predate these fields: their pen-scale state stays as it is.
    if (header.kind != ART_KIND_OLD_PRESET_15 && header.kind != ART_KIND_OLD_PRESET_18) {
        penScaleWithZoom_ = header.penScaleOn != 0;
        penScaleFactor_ = header.penScaleFactor;
    }
    selectedPaper_ = header.paperIndex >= 0 && header.paperIndex < kPaperCount ? header.paperIndex : 0;
    setLayerNameCounter(header.layerCounter);
    std::vector<PinFileRecord> records;
    records.reserve(header.pins.size());
    for (const ArtPin& pin : header.pins) {
        PinFileRecord record;
        std::memcpy(record.view, pin.view, sizeof record.view);
        record.name = pin.name;
        records.push_back(record);
    }
    loadPinFileRecords(*this, records);
}

bool DocumentController::openDocument(const std::string& path)
{
    window_.setCursor(SystemCursor::Busy);
    finishInteraction();
    resetPins(*this);
    if (!engine_) fatal(this, GFX_ERR_INVALID);
    gfxDestroySketch(canvas_);
    canvas_ = nullptr;

    ArtSketchSink sink(engine_);
    ArtReadResult result = readArtFile(path, sink);
    bool read = result.status == ArtReadStatus::Ok;
    if (read) {
        canvas_ = sink.takeSketch();
        read = canvas_ != nullptr;
    }
    if (read) {
        hasFileName_ = true;
        fileName_ = path.substr(0, kPathLimit);
        fileTime_ = artFileModificationTime(path);
        readByArtReader_ = true;
        documentFormat_ = result.formatFlag;
        layersAdded_ = 0;
        applyArtHeader(result.header);
        setSmoothingLevel(smoothingLevel_);
    } else {
        showMessage(this, "Sorry, Vellumin was unable to load the .art file", "Warning", MESSAGE_WARNING);
        startEmptyCanvas();
    }
    finishOpen(read, path);
    return read;
}

void DocumentController::finishOpen(bool read, const std::string& path)
{
    int32_t width = windowState_.clientWidth, height = windowState_.clientHeight;
    if (width > 0 && height > 0) gfxSetViewport(canvas_, 0, 0, static_cast<float>(width), static_cast<float>(height));
    checkEngine();
    if (!penScaleWithZoom_) penScaleFactor_ = 1.0f;
    toolsAfterNewCanvas();
    interfaceState_.layersChanged = interfaceState_.penChanged = interfaceState_.documentChanged = true;
    cleanFlag_ = 1;
    if (read) addRecentFile(path);
    requestRedraw();
    // The title names the file, as at start-up (not the whole path).
    setTitle(hasFileName_ ? paths::fileNameOf(fileName_) : std::string("Untitled"));
    window_.drawFrameNow();
    restoreToolCursor();
}

void DocumentController::openDocumentCommand()
{
    if (askSaveChanges() == ANSWER_OTHER) return;
    FileDialogRequest request;
    request.title = "Open Canvas";
    request.filter = kArtFilter;
    window_.setCursor(SystemCursor::Arrow);
    std::string path = window_.chooseOpenPath(request);
    restoreToolCursor();
    if (path.empty()) return;
    openDocument(path);
}

void DocumentController::openRecentCommand(int32_t index)
{
    if (askSaveChanges() == ANSWER_OTHER) return;
    std::string path = index >= 0 && index < recentFileCount_ ? recentFiles_[static_cast<size_t>(index)] : std::string();
    openDocument(path);
}

// ---------------------------------------------------------------------------------------
// [SECTION] Save
// ---------------------------------------------------------------------------------------

bool DocumentController::saveDocument(const std::string& path)
{
    finishInteraction();
    int64_t modified = artFileModificationTime(path);
    if (modified != 0 && modified > fileTime_) {
        int32_t answer = showMessage(this, "This file has changed since last save. Do you want to override it?",
                                     "Warning", MESSAGE_QUESTION);
        if (answer != ANSWER_YES) return false;
    }

    ArtHeader header = fileHeader(true);

    ArtSketchSource source(canvas_);
    int32_t code = writeArtFile(&source, &header, nullptr, path, 0);
    if (code != ART_OK) {
        // The previous file is untouched and the canvas is still unsaved: tell the user
        // and let them try elsewhere rather than stopping the program.
        showMessage(this, messageFor(code), "Warning", MESSAGE_WARNING);
        return false;
    }
    hasFileName_ = true;
    cleanFlag_ = 1;
    fileName_ = path.substr(0, kPathLimit);
    fileTime_ = static_cast<int64_t>(std::time(nullptr));
    readByArtReader_ = false;
    addRecentFile(path);
    return true;
}

ArtHeader DocumentController::fileHeader(bool withPins)
{
    ArtHeader header;
    artWriterIdentification(header.writerId);
    header.penScaleOn = penScaleWithZoom_ ? 1 : 0;
    header.penScaleFactor = penScaleFactor_;
    header.paperIndex = selectedPaper_;
    header.layerCounter = layerNameCounter_;
    if (withPins) {
        for (const PinFileRecord& record : pinFileRecords(pins())) {
            ArtPin pin;
            std::memcpy(pin.view, record.view, sizeof pin.view);
            pin.name = record.name;
            header.pins.push_back(pin);
        }
    }
    header.kind = header.pins.empty() ? ART_KIND_DOCUMENT : ART_KIND_DOCUMENT_PINS;
    return header;
}

void DocumentController::saveCommand()
{
    std::string path = chooseSavePath();
    if (path.empty()) return;
    window_.setCursor(SystemCursor::Busy);
    saveDocument(path);
    setTitle(hasFileName_ ? paths::fileNameOf(fileName_) : std::string("Untitled"));
    window_.drawFrameNow();
    restoreToolCursor();
}

void DocumentController::saveAsCommand()
{
    std::string path = chooseSaveAsPath();
    if (path.empty()) return;
    window_.setCursor(SystemCursor::Busy);
    saveDocument(path);
    setTitle(hasFileName_ ? paths::fileNameOf(fileName_) : std::string("Untitled"));
    window_.drawFrameNow();
    restoreToolCursor();
}

// ---------------------------------------------------------------------------------------
// [SECTION] Recent files
// ---------------------------------------------------------------------------------------

void DocumentController::addRecentFile(const std::string& path)
{
    std::string entry = path.substr(0, kPathLimit);
    int32_t found = -1;
    for (int32_t i = 0; i < recentFileCount_; ++i) {
        if (recentFiles_[static_cast<size_t>(i)] == entry) found = i;
    }
    int32_t last = found >= 0 ? found : std::min(recentFileCount_, kRecentCapacity - 1);
    for (int32_t i = last; i > 0; --i) recentFiles_[static_cast<size_t>(i)] = recentFiles_[static_cast<size_t>(i - 1)];
    recentFiles_[0] = entry;
    if (found < 0 && recentFileCount_ < kRecentCapacity) ++recentFileCount_;
    interfaceState_.recentFilesChanged = true;
}
