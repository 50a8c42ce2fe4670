// Loading a generated scene file of about 10 MB (20 000 nodes, 200 000
// vertices) with the engine's i3d loader, next to expat parsing the same
// bytes with empty handlers in the same run. Both report bytes per second;
// the loader aims at half of expat's throughput or more.

#include <benchmark/benchmark.h>
#include <expat.h>

#include <string>

#include "foundation/Log.h"
#include "render/material/MaterialSceneHandler.h"
#include "scene/i3d/I3DLoader.h"

namespace {

// 100 meshes of 2 000 vertices and 500 textured quads, then 20 000 nodes:
// groups of five shapes with user attributes on every tenth group.
const std::string& sceneText() {
    static const std::string text = [] {
        std::string s = "<?xml version=\"1.0\"?>\n<i3D name=\"bench\" version=\"1.5\">\n";
        s += "<Materials><Material name=\"m\" cosPower=\"12\"/></Materials>\n<Shapes>\n";
        char line[256];
        for (int mesh = 0; mesh < 100; ++mesh) {
            s += "<IndexedFaceSet name=\"mesh" + std::to_string(mesh) + "\">\n<Vertices>\n";
            for (int v = 0; v < 2000; ++v) {
                std::snprintf(line, sizeof(line), "<v c=\"%.4f %.4f %.4f\"/>\n", v * 0.01f,
                              mesh * 0.5f, (v % 7) * 0.25f);
                s += line;
            }
            s += "</Vertices>\n<Faces shaderlist=\"m\">\n";
            for (int f = 0; f < 500; ++f) {
                int a = (f * 4) % 1996;
                std::snprintf(line, sizeof(line),
                              "<f vi=\"%d %d %d %d\" t0=\"0 0 1 0 1 1 0 1\" ci=\"0\"/>\n", a, a + 1,
                              a + 2, a + 3);
                s += line;
            }
            s += "</Faces>\n</IndexedFaceSet>\n";
        }
        s += "</Shapes>\n<Scene>\n";
        for (int g = 0; g < 20000 / 6; ++g) {
            std::snprintf(line, sizeof(line),
                          "<TransformGroup name=\"g%d\" translation=\"%d 0 %d\" "
                          "rotation=\"0 %d 0\">\n",
                          g, g % 100, g / 100, g % 360);
            s += line;
            for (int k = 0; k < 5; ++k) {
                std::snprintf(line, sizeof(line),
                              "  <Shape name=\"s%d_%d\" ref=\"mesh%d\" translation=\"%d 1 0\" "
                              "castsShadows=\"true\"/>\n",
                              g, k, (g + k) % 100, k);
                s += line;
            }
            s += "</TransformGroup>\n";
        }
        s += "</Scene>\n<UserAttributes>\n";
        for (int g = 0; g < 20000 / 6; g += 10) {
            s += "<UserAttribute name=\"g" + std::to_string(g) +
                 "\"><Attribute name=\"kind\" type=\"string\" value=\"crate\"/></UserAttribute>\n";
        }
        s += "</UserAttributes>\n</i3D>\n";
        return s;
    }();
    return text;
}

void XMLCALL emptyStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL emptyEnd(void*, const XML_Char*) {}

void BM_RawExpatEmptyHandlers(benchmark::State& state) {
    const std::string& text = sceneText();
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetElementHandler(parser, emptyStart, emptyEnd);
        // The same 8192-byte chunks the loader feeds.
        bool ok = true;
        for (size_t at = 0; at < text.size() && ok; at += 8192) {
            size_t n = std::min<size_t>(8192, text.size() - at);
            ok = XML_Parse(parser, text.data() + at, static_cast<int>(n), XML_FALSE) !=
                 XML_STATUS_ERROR;
        }
        ok = ok && XML_Parse(parser, nullptr, 0, XML_TRUE) != XML_STATUS_ERROR;
        benchmark::DoNotOptimize(ok);
        XML_ParserFree(parser);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_RawExpatEmptyHandlers)->Unit(benchmark::kMillisecond);

// The whole load: parsing, meshes with their vertex data, nodes and
// attributes. Freeing the tree afterwards is not timed.
void BM_I3DLoaderLoad(benchmark::State& state) {
    const std::string& text = sceneText();
    MaterialSceneHandler materials;
    materials.install();
    size_t nodes = 0;
    for (auto _ : state) {
        I3DLoadResult result;
        bool ok = loadI3DText("bench.i3d", text.data(), text.size(), result);
        benchmark::DoNotOptimize(ok);
        nodes = result.root ? result.root->getNumChildren() : 0;
        state.PauseTiming();
        result = I3DLoadResult();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["groups"] = static_cast<double>(nodes);
}
BENCHMARK(BM_I3DLoaderLoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
