// Save and load of a large project (4000 tiles, three exposures each)
// against libxml2's own floor on the same document: a bare streaming read
// of every node in-process, and `xmllint --stream --noout` as a process.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/xmlreader.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "VELDANPanoramaProject.h"

namespace {

constexpr int kTiles = 4000;

// withFiles: every image names a picture file (which does not exist, so each
// load also tries to open 12000 files, as the real load reads their sizes).
VELDANPanoramaProject* MakeProject(bool withFiles) {
    auto* p = new VELDANPanoramaProject();
    p->hdri.enabled = true;
    for (int t = 0; t < kTiles; ++t) {
        auto* tile = new VELDANPanoramaTile();
        tile->pos_x = (t % 80) * 4.5;
        tile->pos_y = -88.0 + (t / 80) * 3.5;
        tile->fov_x = 8.2;
        tile->fov_y = 5.5;
        auto* b = new VELDANPanoramaBracketing();
        b->SetImageCnt(3);
        for (int i = 0; i < 3; ++i) {
            VELDANPanoramaImage* image = b->GetImage(i);
            wchar_t name[96];
            std::swprintf(name, 96, L"/home/photographer/Pictures/pano-2026/IMG_%05d.CR2", t * 3 + i);
            if (withFiles) image->SetFilename(name);
            image->ev = (i - 1) * 3;
        }
        tile->bracketings.AddItem(b, 0u);
        p->AppendTile(tile);
        p->path.Append(t);
    }
    return p;
}

VELDANPanoramaProject& BigProject(bool withFiles = true) {
    static VELDANPanoramaProject* with = MakeProject(true);
    static VELDANPanoramaProject* without = MakeProject(false);
    return withFiles ? *with : *without;
}

std::string SaveText(VELDANPanoramaProject& p) {
    MemBlockDesc buffer;
    p.Save(&buffer);
    return std::string(reinterpret_cast<const char*>(buffer.data), buffer.length);
}

const std::string& Document(bool withFiles = true) {
    static const std::string with = SaveText(BigProject(true));
    static const std::string without = SaveText(BigProject(false));
    return withFiles ? with : without;
}

void ReportMemory(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = usage.ru_maxrss / 1024.0;
    state.counters["doc_MiB"] = Document().size() / 1048576.0;
}

void BM_ProjectSave(benchmark::State& state) {
    VELDANPanoramaProject& p = BigProject();
    for (auto _ : state) {
        MemBlockDesc buffer;
        benchmark::DoNotOptimize(p.Save(&buffer));
    }
    ReportMemory(state);
}
BENCHMARK(BM_ProjectSave)->Unit(benchmark::kMillisecond);

void BM_ProjectLoad(benchmark::State& state) {
    const std::string& doc = Document();
    MemBlockDesc buffer(doc.data(), doc.size());
    for (auto _ : state) {
        VELDANPanoramaProject p;
        benchmark::DoNotOptimize(p.Load(&buffer));
        if (p.TileCount() != kTiles) state.SkipWithError("load lost tiles");
    }
    ReportMemory(state);
}
BENCHMARK(BM_ProjectLoad)->Unit(benchmark::kMillisecond);

// The same document without file names: the cost of the XML and the model
// alone, without the size look-up of 12000 picture files.
void BM_ProjectLoadWithoutFiles(benchmark::State& state) {
    const std::string& doc = Document(false);
    MemBlockDesc buffer(doc.data(), doc.size());
    for (auto _ : state) {
        VELDANPanoramaProject p;
        benchmark::DoNotOptimize(p.Load(&buffer));
    }
    state.counters["doc_MiB"] = doc.size() / 1048576.0;
}
BENCHMARK(BM_ProjectLoadWithoutFiles)->Unit(benchmark::kMillisecond);

// The floor: libxml2's text reader visiting every node and attribute of the
// same document, doing nothing with them (what xmllint --stream does).
void BM_LibxmlStreamFloor(benchmark::State& state) {
    const std::string& doc = Document();
    for (auto _ : state) {
        xmlTextReaderPtr r = xmlReaderForMemory(doc.data(), static_cast<int>(doc.size()), nullptr, nullptr, 0);
        long nodes = 0;
        while (xmlTextReaderRead(r) == 1) {
            ++nodes;
            while (xmlTextReaderMoveToNextAttribute(r) == 1) ++nodes;
        }
        xmlFreeTextReader(r);
        benchmark::DoNotOptimize(nodes);
    }
    xmlCleanupParser();
}
BENCHMARK(BM_LibxmlStreamFloor)->Unit(benchmark::kMillisecond);

// xmllint itself as a process (includes its start-up).
void BM_XmllintStreamProcess(benchmark::State& state) {
    const auto file = std::filesystem::temp_directory_path() / "veldan-bench-project.vpp";
    std::ofstream(file, std::ios::binary) << Document();
    for (auto _ : state) {
        const pid_t pid = fork();
        if (pid == 0) {
            execlp("xmllint", "xmllint", "--stream", "--noout", file.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("xmllint failed");
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_XmllintStreamProcess)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
