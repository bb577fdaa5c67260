#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zeltest {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zeltest-XXXXXX").string();
    char* made = mkdtemp(&pattern[0]);
    if (!made) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& text) const {
    std::string full = file(name);
    std::ofstream out(full, std::ios::binary);
    out << text;
    if (!out) ADD_FAILURE() << "cannot write " << full;
    return full;
}

std::string TempDir::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace zeltest
