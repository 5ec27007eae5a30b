#include "support/text_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace evkit {

LineRead readLine(std::istream& in, std::string& line, std::size_t max) {
    line.clear();
    std::streambuf* buf = in.rdbuf();
    if (!buf || !in.good()) return in.bad() ? LineRead::kError : LineRead::kEnd;
    try {
        for (;;) {
            const int c = buf->sbumpc();
            if (c == std::char_traits<char>::eof()) {
                in.setstate(std::ios::eofbit);
                return line.empty() ? LineRead::kEnd : LineRead::kLine;
            }
            if (c == '\n') return LineRead::kLine;
            if (line.size() >= max) return LineRead::kTooLong;
            line.push_back(static_cast<char>(c));
        }
    } catch (const std::exception&) {
        // A file buffer reports a failed read (a directory, an I/O error) by throwing.
        in.setstate(std::ios::badbit);
        return LineRead::kError;
    }
}

std::string unreadableFileReason(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return {};
}

}  // namespace evkit
