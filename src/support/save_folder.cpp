#include "support/save_folder.h"

#include <filesystem>
#include <system_error>

namespace evkit {

namespace fs = std::filesystem;

std::string SaveFolder::folder() const {
    if (!last_.empty()) return last_;
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return ec ? std::string() : cwd.string();
}

std::string SaveFolder::suggest(const std::string& fileName) const {
    const std::string dir = folder();
    if (fileName.empty() || dir.empty()) return fileName.empty() ? dir : fileName;
    return (fs::path(dir) / fileName).string();
}

void SaveFolder::remember(const std::string& chosenPath) {
    if (chosenPath.empty()) return;
    std::error_code ec;
    const fs::path full = fs::absolute(fs::path(chosenPath), ec);
    if (ec) return;
    const fs::path parent = full.lexically_normal().parent_path();
    if (!parent.empty()) last_ = parent.string();
}

}  // namespace evkit
