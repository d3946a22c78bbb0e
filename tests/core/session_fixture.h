#pragma once

#include "image_bytes.h"
#include "kanvo/ui/document_session.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <vector>

namespace kanvo::test {

// A session with a 640 x 480 PNG open.
class OpenSession : public testing::Test {
protected:
    void SetUp() override {
        image = dir.write("photo.png", pngBytes(640, 480));
        session.openImage(image);
    }

    // Starts over with a fresh session on the same image.
    void restart() {
        session = ui::DocumentSession{};
        session.openImage(image);
    }

    const ui::Document& doc() const { return *session.document(); }

    std::vector<std::uint64_t> layerIds() const {
        std::vector<std::uint64_t> ids;
        for (const auto& layer : doc().layers) {
            ids.push_back(layer.id);
        }
        return ids;
    }

    TempDir dir;
    std::filesystem::path image;
    ui::DocumentSession session;
};

} // namespace kanvo::test
