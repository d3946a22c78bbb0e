// Writes the seed corpus of the fuzz targets into <output>/<target>/.

#include "image_bytes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace kanvo::test;
namespace fs = std::filesystem;

void writeSeeds(const fs::path& dir, const std::vector<std::string>& seeds) {
    fs::create_directories(dir);
    int index = 0;
    for (const auto& seed : seeds) {
        std::ofstream(dir / ("seed-" + std::to_string(index++)), std::ios::binary)
            .write(seed.data(), static_cast<std::streamsize>(seed.size()));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const fs::path output = argv[1];
    const std::string frame = jpegSegment(0xC0, jpegFrameBody(640, 480));
    writeSeeds(output / "fuzz_inspect_image",
               {
                   pngBytes(640, 480),
                   pngBytes(1, 1, "IDAT"),
                   jpegBytes(640, 480),
                   jpegBytes(4000, 3000, 0xC2),
                   jpegStart + "\xFF\xFF" + jpegSegment(0xD0, "ab") + frame,
                   jpegStart + jpegSegment(0xE1, std::string(300, 'x')) + frame,
                   jpegStart + jpegSegment(0xDA, "") + frame,
                   ppmBytes("P6\n640\n480\n255\n"),
                   ppmBytes("P6 1 1 65535\n"),
                   "P3\n1 1\n255\n0 0 0\n",
               });
    writeSeeds(output / "fuzz_tool_manifest",
               {
                   "id=move\nlabel=Move\nicon=arrow.up.and.down.and.arrow.left.and.right\n"
                   "shortcut=v\n",
                   "id=hand\r\nsymbol=hand.raised\r\nshortcut=h",
                   "=\n#id=x\nid = y\nlabel=a=b\n",
               });
    writeSeeds(output / "fuzz_sd_url_line",
               {
                   "sd_url = \"http://127.0.0.1:51544\"\nsteps = 20\n",
                   "# sd_url = \"http://old\"\r\n\t sd_url_2 = \"http://h:1\" # \"x\"\r\n",
                   "sd_url = bare\nsd_url = \"\"\n",
                   "sd_url = \"http://caf\xC3\xA9\"\n",
               });
    writeSeeds(output / "fuzz_progress_answer",
               {
                   R"({"progress": 0.29, "eta_relative": 3.1, "state": {"job": "txt2img"}})",
                   R"({"progress": " 1.5e-1 of it"})",
                   R"({"progress": null})",
                   R"({"detail": "Not Found"})",
                   R"([0.5])",
                   R"({"progress": -1e308})",
               });
    return 0;
}
