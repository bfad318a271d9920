// The loaders open fixed names in the current folder: tests that read data
// files run in a fresh temporary folder of their own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kappa {

// A new folder of its own in the system's temporary folder, named from `prefix`.
inline std::filesystem::path newTemporaryFolder(const std::string& prefix) {
    std::random_device random;
    for (;;) {
        const auto folder = std::filesystem::temp_directory_path() / (prefix + std::to_string(random()));
        if (std::filesystem::create_directory(folder)) return folder;
    }
}

class InTemporaryFolder : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        folder_ = newTemporaryFolder("kappa-test-");
        std::filesystem::current_path(folder_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }
    static void writeFile(const char* name, const std::string& bytes) {
        std::ofstream(name, std::ios::binary) << bytes;
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path folder_;
};

}  // namespace kappa
