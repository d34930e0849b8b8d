// vellumin-cli — looks into and converts .art documents without a window.
//   vellumin-cli info FILE                       JSON summary on standard output
//   vellumin-cli convert IN OUT --format 0|1     rewrites IN as OUT in blob format 0 or 1
// Exit codes: 0 success, 1 a file could not be read or written, 2 wrong usage.
#include "ArtFile.h"
#include "ArtSummary.h"
#include "HeadlessGl.h"

#include "Gfx.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFile = 1;
constexpr int kExitUsage = 2;

int usage()
{
    std::fprintf(stderr,
                 "usage: vellumin-cli info FILE\n"
                 "       vellumin-cli convert IN OUT --format 0|1\n");
    return kExitUsage;
}

// Words for the codes an engine load or an .art save can give.
std::string describeCode(int32_t code)
{
    switch (code) {
    case GFX_ERR_FAILED: return "out of memory, or the canvas data is damaged";
    case GFX_ERR_TEXTURE_TOO_LARGE: return "an image is too large for the GPU at any size";
    case GFX_ERR_INVALID: return "invalid canvas data (unknown record, version or image encoding)";
    case GFX_ERR_INTERNAL: return "inconsistent canvas data (a reference to a layer that is not there)";
    case ART_ERROR_CANNOT_WRITE: return "the file cannot be written";
    case ART_ERROR_UNSUPPORTED_FORMAT: return "unsupported format";
    default: return "error " + std::to_string(code);
    }
}

std::string describeReadFailure(const ArtReadResult& result)
{
    switch (result.status) {
    case ArtReadStatus::Ok: return "no error";
    case ArtReadStatus::CannotOpen: return "cannot open the file (missing, unreadable or not a regular file)";
    case ArtReadStatus::NotArtFile: return "not a Vellumin .art document (unknown magic)";
    case ArtReadStatus::UnknownKind: return "unknown header kind " + std::to_string(result.header.kind);
    case ArtReadStatus::Damaged: return "the file is damaged (cut short, or a length larger than the file)";
    case ArtReadStatus::BlobRejected:
        return "the canvas could not be loaded: " + describeCode(result.engineError) + " (code " +
               std::to_string(result.engineError) + ")";
    }
    return "unknown failure";
}

int fail(const std::string& path, const std::string& why)
{
    std::fprintf(stderr, "vellumin-cli: %s: %s\n", path.c_str(), why.c_str());
    return kExitFile;
}

// Loads the document for real: the canvas through the engine.
struct LoadedDocument {
    GfxSystem* system = nullptr;
    GfxSketch* sketch = nullptr;
    ArtReadResult result;
    ~LoadedDocument() { gfxDestroySystem(system); }
};

bool loadDocument(const std::string& path, LoadedDocument* document)
{
    document->system = gfxCreateSystem();
    if (!document->system) {
        fail(path, "out of memory");
        return false;
    }
    ArtSketchSink sink(document->system);
    document->result = readArtFile(path, sink);
    if (document->result.status != ArtReadStatus::Ok) {
        fail(path, describeReadFailure(document->result));
        return false;
    }
    document->sketch = sink.takeSketch();
    return true;
}

int info(const std::string& path)
{
    ArtBlobBytes blob;
    ArtReadResult result = readArtFile(path, blob);
    if (result.status != ArtReadStatus::Ok) return fail(path, describeReadFailure(result));
    ArtBlobSummary summary;
    if (!summarizeBlob(blob.bytes, &summary)) return fail(path, "the canvas blob cannot be decompressed");
    // The summary reads the blob as stored; loading it into the engine checks the
    // rest (images decode, records replay).
    int32_t loadResult = -1;
    HeadlessGl gl;
    if (summary.parseResult == 0 && gl.create()) {
        GfxSystem* system = gfxCreateSystem();
        {
            ArtSketchSink sink(system);
            loadResult = system ? sink.load(blob.bytes.data(), blob.bytes.size()) : GFX_ERR_FAILED;
        }
        gfxDestroySystem(system);
    } else if (summary.parseResult == 0) {
        std::fprintf(stderr, "vellumin-cli: no OpenGL context (%s): the canvas was not loaded\n", gl.why().c_str());
    }
    std::fputs(artSummaryJson(path, result, summary, loadResult).c_str(), stdout);
    if (summary.parseResult != 0)
        return fail(path, "the canvas blob is invalid: " + describeCode(summary.parseResult));
    if (loadResult > 0) return fail(path, "the canvas could not be loaded: " + describeCode(loadResult));
    return kExitOk;
}

int convert(const std::string& in, const std::string& out, int32_t format)
{
    HeadlessGl gl;
    if (!gl.create()) return fail(in, "cannot load the canvas without an OpenGL context: " + gl.why());
    LoadedDocument document;
    if (!loadDocument(in, &document)) return kExitFile;
    // The header and pins go over as they are; the writer picks kind 129 or 130.
    ArtSketchSource source(document.sketch);
    int32_t code = writeArtFile(&source, &document.result.header, nullptr, out, format);
    if (code != ART_OK) return fail(out, describeCode(code));
    return kExitOk;
}

bool parseFormat(const char* text, int32_t* format)
{
    if (std::strcmp(text, "0") == 0) *format = 0;
    else if (std::strcmp(text, "1") == 0) *format = 1;
    else return false;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "info") == 0) return info(argv[2]);
    int32_t format = 0;
    if (argc == 6 && std::strcmp(argv[1], "convert") == 0 && std::strcmp(argv[4], "--format") == 0 &&
        parseFormat(argv[5], &format))
        return convert(argv[2], argv[3], format);
    return usage();
}
