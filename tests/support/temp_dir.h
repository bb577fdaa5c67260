// A temporary directory for tests that need real files; removed with everything in it.
#pragma once

#include <string>

namespace zeltest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // The path of `name` inside the directory.
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `text` to `name` inside the directory (subdirectories must exist) and returns its
    // path.
    std::string write(const std::string& name, const std::string& text) const;
    // Reads the whole file `path`.
    static std::string read(const std::string& path);

private:
    std::string path_;
};

}  // namespace zeltest
