// Helpers the test programs share: a recorder of ShowError messages and a
// temporary folder removed with everything in it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "show_error.h"

namespace kovar::test {

// Records every ShowError message while alive; puts the previous handler back.
class MessageRecorder {
public:
    MessageRecorder()
        : previous_(SetErrorHandler([this](std::string_view m) { messages.emplace_back(m); })) {}
    ~MessageRecorder() { SetErrorHandler(std::move(previous_)); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<std::string> messages;

private:
    ErrorHandler previous_;
};

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kovar-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }
    // The names in the folder, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    std::filesystem::path path_;
};

} // namespace kovar::test
