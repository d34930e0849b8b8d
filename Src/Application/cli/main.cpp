// vellumin-cli — looks into and converts .art documents without a window.
//   vellumin-cli info FILE                       JSON summary on standard output
//   vellumin-cli convert IN OUT --format 0|1     rewrites IN as OUT in blob format 0 or 1
// Exit codes: 0 success, 1 a file could not be read or written, 2 wrong usage.
#include "ArtFile.h"
#include "ArtSummary.h"

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

std::string describeReadFailure(const ArtReadResult& result)
{
    switch (result.status) {
    case ArtReadStatus::Ok: return "no error";
    case ArtReadStatus::CannotOpen: return "cannot open the file (missing, unreadable or not a regular file)";
    case ArtReadStatus::NotArtFile: return "not a Vellumin .art document (unknown magic)";
    case ArtReadStatus::UnknownKind: return "unknown header kind " + std::to_string(result.header.kind);
    case ArtReadStatus::Damaged: return "the file is damaged (cut short, or a length larger than the file)";
    case ArtReadStatus::BlobRejected:
        return "the canvas could not be loaded (engine error " + std::to_string(result.engineError) + ")";
    }
    return "unknown failure";
}

int fail(const std::string& path, const std::string& why)
{
    std::fprintf(stderr, "vellumin-cli: %s: %s\n", path.c_str(), why.c_str());
    return kExitFile;
}

int info(const std::string& path)
{
    ArtBlobBytes blob;
    ArtReadResult result = readArtFile(path, blob);
    if (result.status != ArtReadStatus::Ok) return fail(path, describeReadFailure(result));
    ArtBlobSummary summary;
    if (!summarizeBlob(blob.bytes, &summary)) return fail(path, "the canvas blob cannot be decompressed");
    std::fputs(artSummaryJson(path, result, summary, -1).c_str(), stdout);
    if (summary.parseResult != 0)
        return fail(path, "the canvas blob is invalid (engine error " + std::to_string(summary.parseResult) + ")");
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "info") == 0) return info(argv[2]);
    return usage();
}
