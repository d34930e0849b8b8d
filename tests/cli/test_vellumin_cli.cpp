// vellumin-cli, run for real on documents the engine writes: the JSON summary,
// conversion between the blob formats, and clear failures with their exit codes.
#include "ArtFile.h"
#include "GlTestContext.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("cli_test_" + std::to_string(::getpid()) + "_" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string path(const char* name) const { return (folder / name).string(); }

    CliRun cli(const std::string& arguments)
    {
        const std::string out = path("stdout.txt"), err = path("stderr.txt");
        const std::string command = std::string(VELLUMIN_CLI) + " " + arguments + " >" + out + " 2>" + err;
        int status = std::system(command.c_str());
        CliRun run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = readText(out);
        run.err = readText(err);
        return run;
    }

    // A document with two named layers, four strokes, a line and two pins.
    void writeDocument(const std::string& file)
    {
        ASSERT_TRUE(glTestContextMakeCurrent());
        GfxSystem* system = gfxCreateSystem();
        GfxSketch* sketch = gfxCreateSketch(system, nullptr);
        gfxSetViewport(sketch, 0, 0, 300, 200);
        for (const char* name : {"Ground", "Ink \"bold\""}) {
            GfxLayerAttributes layer;
            layer.flags = GFX_LAYER_NAME;
            std::strcpy(layer.name, name);
            gfxAddLayer(sketch, &layer);
            for (int i = 0; i < 2; ++i) {
                GfxSample samples[3] = {{10.0f + i * 40, 20, 0.5f}, {20.0f + i * 40, 30, 0.6f}, {35.0f + i * 40, 20, 0.5f}};
                GfxElementInput input;
                input.sampleCount = 1;
                input.samples = &samples[0];
                gfxBeginElement(sketch, &input);
                input.samples = &samples[1];
                gfxExtendElement(sketch, &input);
                input.samples = &samples[2];
                gfxEndElement(sketch, &input);
            }
        }
        GfxSample line[2] = {{0, 0, 1}, {100, 100, 1}};
        GfxElementInput input;
        input.kind = GFX_ELEMENT_LINE;
        input.sampleCount = 1;
        input.samples = &line[0];
        gfxBeginElement(sketch, &input);
        input.samples = &line[1];
        gfxEndElement(sketch, &input);
        ASSERT_EQ(gfxGetLastError(system), GFX_OK);

        ArtHeader header;
        header.layerCounter = 3;
        for (const char* name : {"Pin 1", "Pin 2"}) {
            ArtPin pin;
            pin.name = name;
            header.pins.push_back(pin);
        }
        ArtSketchSource source(sketch);
        ASSERT_EQ(writeArtFile(&source, &header, nullptr, file, 0), ART_OK);
        gfxDestroySystem(system);
    }

    fs::path folder;
};

TEST_F(CliTest, InfoSummarisesContainerPinsLayersAndElements)
{
    writeDocument(path("doc.art"));
    CliRun run = cli("info " + path("doc.art"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* expected : {"\"formatFlag\": 0", "\"kind\": 130", "\"name\": \"Pin 2\"", "\"version\": 2",
                                 "\"name\": \"Ground\"", "\"name\": \"Ink \\\"bold\\\"\"", "\"position\": 1",
                                 "\"freehand\": 4", "\"line\": 1", "\"layerAdded\": 1", "\"loadResult\": 0",
                                 "\"layerCounter\": 3"})
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
    // Layers in order, bottom first.
    EXPECT_LT(run.out.find("Ground"), run.out.find("Ink"));
}

TEST_F(CliTest, ConvertRewritesInTheOtherFormatKeepingPinsAndCanvas)
{
    writeDocument(path("doc.art"));
    CliRun convert = cli("convert " + path("doc.art") + " " + path("small.art") + " --format 1");
    ASSERT_EQ(convert.exitCode, 0) << convert.err;
    CliRun info = cli("info " + path("small.art"));
    ASSERT_EQ(info.exitCode, 0) << info.err;
    for (const char* expected : {"\"formatFlag\": 1", "\"version\": 3", "\"name\": \"Pin 1\"", "\"freehand\": 4",
                                 "\"line\": 1", "\"loadResult\": 0"})
        EXPECT_NE(info.out.find(expected), std::string::npos) << expected << "\n" << info.out;
    // And back, in place.
    ASSERT_EQ(cli("convert " + path("small.art") + " " + path("small.art") + " --format 0").exitCode, 0);
    EXPECT_NE(cli("info " + path("small.art")).out.find("\"version\": 2"), std::string::npos);
}

TEST_F(CliTest, UnreadableFilesAndWrongUseExitNonZeroWithAMessage)
{
    writeDocument(path("doc.art"));
    std::ofstream(path("text.art")) << "not a drawing";
    std::string document = readText(path("doc.art"));
    std::ofstream(path("cut.art"), std::ios::binary) << document.substr(0, document.size() / 2);
    struct Case {
        std::string arguments;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {"info " + path("missing.art"), 1, "cannot open"},
        {"info " + path("text.art"), 1, "not a Vellumin .art document"},
        {"info " + path("cut.art"), 1, "damaged"},
        {"info " + folder.string(), 1, "cannot open"},
        {"convert " + path("missing.art") + " " + path("out.art") + " --format 0", 1, "cannot open"},
        {"convert " + path("doc.art") + " " + path("no/such/folder/out.art") + " --format 0", 1, "cannot be written"},
        {"convert " + path("doc.art") + " " + path("out.art") + " --format 7", 2, "usage"},
        {"", 2, "usage"},
        {"info", 2, "usage"},
    };
    for (const Case& c : cases) {
        CliRun run = cli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << ": " << run.err;
    }
    EXPECT_FALSE(fs::exists(path("out.art")));
}

}  // namespace
