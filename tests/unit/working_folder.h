#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// Each test runs in a fresh empty folder of its own, made the current folder, and removed after.
class WorkingFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = std::filesystem::current_path();
        std::random_device random;
        m_folder = std::filesystem::temp_directory_path() /
                   ("korvante-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_folder);
        std::filesystem::current_path(m_folder);
    }

    void TearDown() override
    {
        std::filesystem::current_path(m_previous);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    static void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes)
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    static std::vector<unsigned char> ReadFile(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    // Bytes 0, 1, 2 ... wrapping at 251, so that any shifted or repeated block shows.
    static std::vector<unsigned char> Pattern(std::size_t size, unsigned char seed)
    {
        std::vector<unsigned char> bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<unsigned char>((i + seed) % 251);
        return bytes;
    }

private:
    std::filesystem::path m_previous;
    std::filesystem::path m_folder;
};
