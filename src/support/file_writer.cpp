#include "support/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace evkit {

namespace {

// Bytes the injected failure still lets through; max() = no failure injected.
constexpr std::size_t kNoFault = std::numeric_limits<std::size_t>::max();
std::atomic<std::size_t> g_bytesBeforeFailure{kNoFault};

void setError(std::string* error, int err) {
    if (error) *error = std::strerror(err);
}

// How many of `wanted` bytes the injected failure lets through (wanted when none).
std::size_t allowedByFault(std::size_t wanted) {
    std::size_t left = g_bytesBeforeFailure.load();
    for (;;) {
        if (left == kNoFault) return wanted;
        const std::size_t take = left < wanted ? left : wanted;
        if (g_bytesBeforeFailure.compare_exchange_weak(left, left - take)) return take;
    }
}

// Writes every byte to `fd`; false with errno set on failure.
bool writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const std::size_t allowed = allowedByFault(left);
        if (allowed == 0) {
            errno = ENOSPC;
            return false;
        }
        const ssize_t n = ::write(fd, p, allowed);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// The process's file creation mask, read once (umask can only be read by setting it).
mode_t creationMask() {
    static const mode_t mask = [] {
        const mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return mask;
}

struct Target {
    std::string dir;   // directory of the target, "." when the path has none
    std::string name;  // last component
};

Target splitPath(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// A temporary file being written beside its target; removed unless committed.
class TempFile {
  public:
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!name_.empty()) ::unlink(name_.c_str());
    }

    // Creates the file exclusively; false with errno set.
    bool create(const std::string& path, const std::string& suffix) {
        const Target t = splitPath(path);
        if (t.name.empty() || t.name == "." || t.name == "..") {
            errno = EISDIR;
            return false;
        }
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                errno = EISDIR;
                return false;
            }
            // Keep the permissions of a regular file that is being replaced.
            if (S_ISREG(st.st_mode)) mode_ = st.st_mode & 07777;
        }
        std::string templ =
            (t.dir == "/" ? std::string("/") : t.dir + "/") + "." + t.name + ".XXXXXX" + suffix;
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        const int fd = ::mkostemps(buf.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
        if (fd < 0) return false;
        fd_ = fd;
        name_ = buf.data();
        return true;
    }

    int fd() const { return fd_; }
    const std::string& name() const { return name_; }

    // Closes the descriptor (for writers that open the file by name themselves).
    void closeDescriptor() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    // Opens the file again after another writer filled it by name (never through a link).
    bool reopen() {
        fd_ = ::open(name_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        return fd_ >= 0;
    }

    // fsync, permissions, close and rename over `path`; false with errno set.
    bool commit(const std::string& path) {
        if (::fchmod(fd_, mode_) != 0) return false;
        if (::fsync(fd_) != 0) return false;
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return false;
        if (::rename(name_.c_str(), path.c_str()) != 0) return false;
        name_.clear();
        // Make the rename itself durable; a failure here loses nothing that was there.
        const int dir = ::open(splitPath(path).dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }

  private:
    int fd_ = -1;
    std::string name_;
    mode_t mode_ = 0666 & ~creationMask();
};

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
    TempFile temp;
    if (!temp.create(path, "") || !writeAll(temp.fd(), contents) || !temp.commit(path)) {
        setError(error, errno);
        return false;
    }
    return true;
}

bool writeFileAtomicallyWith(const std::string& path, const std::string& suffix,
                             const std::function<bool(const std::string& tempPath)>& produce,
                             std::string* error) {
    TempFile temp;
    if (!temp.create(path, suffix)) {
        setError(error, errno);
        return false;
    }
    temp.closeDescriptor();
    if (!produce(temp.name())) {
        if (error) *error = "the file could not be produced";
        return false;
    }
    struct stat st {};
    if (!temp.reopen() || ::fstat(temp.fd(), &st) != 0) {
        setError(error, errno);
        return false;
    }
    // A writer that wrote by name has not gone through writeAll: account for its bytes so
    // an injected failure strikes here too.
    if (allowedByFault(static_cast<std::size_t>(st.st_size)) <
        static_cast<std::size_t>(st.st_size)) {
        setError(error, ENOSPC);
        return false;
    }
    if (!temp.commit(path)) {
        setError(error, errno);
        return false;
    }
    return true;
}

bool appendToFile(const std::string& path, std::string_view text, std::string* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        setError(error, errno);
        return false;
    }
    bool ok = writeAll(fd, text);
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) setError(error, err);
    return ok;
}

void injectWriteFailure(std::size_t bytes) {
    g_bytesBeforeFailure = bytes;
}

void clearInjectedWriteFailure() {
    g_bytesBeforeFailure = kNoFault;
}

std::string fileWriteErrorText(const std::string& path, const std::string& why) {
    std::string text = "Unable to write the file \"" + path + "\"";
    if (!why.empty()) text += ": " + why;
    return text + ".";
}

}  // namespace evkit
