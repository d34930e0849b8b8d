// ImageImport: "Import Image..." (Ctrl+I, "menuImportImage", 10008) — a JPEG or PNG
// placed on a new layer, centred in the window, then left open for the handles.
//
//   chooseImageFile   the "Open Image" dialog; the kind from the file's extension
//   importImage       the checks (20 layers, the PNG size rule, the probes), the new
//                     layer, the fit into 95 % of the window, the engine's image
//                     element, then the image-placement tool (ToolId 14)
//
// Image files are user input: a damaged, truncated or hostile file gives "An
// unsupported image file has been selected" and leaves the canvas as it was. Every
// failure after the new layer was made takes the layer back (undo), so nothing of a
// failed import stays, and the document's clean state is what it was before.
#pragma once

#include "Export/ImageProbe.h"

#include <cstdint>
#include <string>

class DocumentController;

// PNG files are decoded whole before they are placed: larger ones are refused first.
inline constexpr uint64_t kMaxPngImportBytes = 140000000;
// The engine takes the encoded bytes with an int32 count.
inline constexpr uint64_t kMaxImageImportBytes = INT32_MAX;
// An image larger than this part of the window (in either direction) is scaled down.
inline constexpr float kImageFitFraction = 0.95f;
// Characters of the extension looked at, as the open dialog reports it.
inline constexpr size_t kImageExtensionMaxCharacters = 7;

inline constexpr const char* kImageUnsupportedMessage = "An unsupported image file has been selected";
inline constexpr const char* kImageFileTooLargeMessage = "The image file is too large!";
inline constexpr const char* kImageCpuMemoryMessage = "Image size too large for available CPU memory";
inline constexpr const char* kImageGpuMemoryMessage = "Image size too large for available GPU memory";
inline constexpr const char* kImageDialogTitle = "Open Image";
// The three filters of the open dialog, the first one chosen.
inline constexpr const char* kImageDialogFilter =
    "All Formats (*.jpg *.jpeg *.png);;JPEG Files (*.jpg *.jpeg);;PNG Files (*.png)";

// IMAGE_KIND_JPEG for ".jpg" and ".jpeg", IMAGE_KIND_PNG for ".png" in any case;
// IMAGE_KIND_NONE for any other extension or none.
int32_t imageKindOfPath(const std::string& path);
// Shows the open dialog (the arrow cursor while it is open). False when the user
// cancels or the extension is not one of ours: the import then does nothing.
bool chooseImageFile(DocumentController& controller, std::string* path, int32_t* kind);

// Whether a PNG file of this many bytes may be imported.
inline bool pngFileSizeAccepted(uint64_t bytes) { return bytes <= kMaxPngImportBytes; }
// The size an image of width x height gets in a window of windowWidth x windowHeight:
// its own, or scaled (aspect kept) to fit 95 % of the window.
void fitImageSize(float width, float height, float windowWidth, float windowHeight, float* fittedWidth,
                  float* fittedHeight);

// Places the image file of `kind` (IMAGE_KIND_JPEG or IMAGE_KIND_PNG) on a new layer.
void importImage(DocumentController& controller, const std::string& path, int32_t kind);
// The command: the dialog, then importImage.
void importImageFromDialog(DocumentController& controller);
