#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kanvo::fuzz {

// The parsers read files, so each input is written to a file in a directory
// private to this process, removed again at exit.
class FuzzInputDirectory {
public:
    FuzzInputDirectory() {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        do {
            path_ = base / ("kanvo-fuzz-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~FuzzInputDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    std::filesystem::path write(const std::string& name, const std::uint8_t* data,
                                std::size_t size) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return file;
    }

private:
    std::filesystem::path path_;
};

} // namespace kanvo::fuzz
