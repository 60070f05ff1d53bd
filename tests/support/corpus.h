// The files of the BMP test suite (folders g, q and b below its root), for the native and the
// Windows tests alike.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace testimg {

// Every .bmp file below `root`, in order; none when there is no suite there.
inline std::vector<std::string> CorpusFiles(const std::string& root) {
    std::vector<std::string> files;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file() && it->path().extension() == ".bmp") {
            files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace testimg
