#include "support/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

// Where the bytes for a path go. A regular file (or a new one) is replaced atomically; a
// symbolic link is followed, so that the link keeps pointing at the new content; a FIFO or
// character device (a pipe, /dev/null, a terminal) is written in place, as a stream, because
// renaming over it would replace the device with a plain file.
struct Destination {
    enum Kind { kReplace, kStream, kRefused } kind = kReplace;
    std::string path;  // the file to replace or open (links followed)
    int ownFd = -1;    // /dev/stdout and the like: this process's own descriptor
    std::string why;   // kRefused: the reason
};

// /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N name a descriptor of this
// process; writing through it keeps its position (output redirected with >> or mixed with
// the program's own lines). -1 for any other path.
int ownDescriptor(const std::string& path) {
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::string p(prefix);
        if (path.size() <= p.size() || path.compare(0, p.size(), p) != 0) continue;
        int fd = 0;
        for (std::size_t i = p.size(); i < path.size(); ++i) {
            if (path[i] < '0' || path[i] > '9' || fd > 100000) return -1;
            fd = fd * 10 + (path[i] - '0');
        }
        return fd;
    }
    return -1;
}

Destination destinationOf(const std::string& path) {
    Destination d;
    d.path = path;
    if (path.empty()) {
        d.kind = Destination::kRefused;
        d.why = "an empty file name";
        return d;
    }
    // Up to 40 links, as the kernel follows them.
    for (int hops = 0; hops <= 40; ++hops) {
        if ((d.ownFd = ownDescriptor(d.path)) >= 0) {
            d.kind = Destination::kStream;
            return d;
        }
        struct stat st {};
        if (::lstat(d.path.c_str(), &st) != 0) return d;  // a new file (or the error later)
        if (S_ISLNK(st.st_mode)) {
            std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
            const ssize_t n = ::readlink(d.path.c_str(), buf.data(), buf.size());
            if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) return d;
            std::string link(buf.data(), static_cast<std::size_t>(n));
            if (link.empty() || link[0] != '/') {
                const Target t = splitPath(d.path);
                link = (t.dir == "/" ? std::string("/") : t.dir + "/") + link;
            }
            d.path = link;
            continue;
        }
        if (S_ISREG(st.st_mode)) return d;
        if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
            d.kind = Destination::kStream;
            return d;
        }
        d.kind = Destination::kRefused;
        d.why = S_ISDIR(st.st_mode) ? std::strerror(EISDIR)
                                    : "not a regular file, FIFO or character device";
        return d;
    }
    d.kind = Destination::kRefused;
    d.why = std::strerror(ELOOP);
    return d;
}

// Writes every byte to a FIFO, a device or one of our own descriptors, in place.
bool writeInPlace(const Destination& d, std::string_view contents, std::string* error) {
    int fd = d.ownFd;
    if (fd >= 0) {
        std::fflush(nullptr);  // our own buffered lines come first
    } else {
        fd = ::open(d.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            setError(error, errno);
            return false;
        }
    }
    bool ok = writeAll(fd, contents);
    int err = errno;
    if (d.ownFd < 0 && ::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) setError(error, err);
    return ok;
}

// Reads the whole file `path` (a temporary file of ours).
bool readWhole(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            errno = err;
            return false;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
    const Destination d = destinationOf(path);
    if (d.kind == Destination::kRefused) {
        if (error) *error = d.why;
        return false;
    }
    if (d.kind == Destination::kStream) return writeInPlace(d, contents, error);
    TempFile temp;
    if (!temp.create(d.path, "") || !writeAll(temp.fd(), contents) || !temp.commit(d.path)) {
        setError(error, errno);
        return false;
    }
    return true;
}

bool writeFileAtomicallyWith(const std::string& path, const std::string& suffix,
                             const std::function<bool(const std::string& tempPath)>& produce,
                             std::string* error) {
    const Destination d = destinationOf(path);
    if (d.kind == Destination::kRefused) {
        if (error) *error = d.why;
        return false;
    }
    TempFile temp;
    // A stream destination gets the finished file's bytes; the file is made in the
    // temporary directory, since a device's directory is seldom ours to write.
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string made =
        d.kind == Destination::kStream
            ? std::string(tmpdir && *tmpdir == '/' ? tmpdir : "/tmp") + "/evkit714-export"
            : d.path;
    if (!temp.create(made, suffix)) {
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
    if (d.kind == Destination::kStream) {
        std::string bytes;
        if (!readWhole(temp.name(), bytes)) {
            setError(error, errno);
            return false;
        }
        return writeInPlace(d, bytes, error);
    }
    if (!temp.commit(d.path)) {
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
