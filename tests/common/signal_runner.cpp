#include "signal_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace evkit::test {

namespace {
constexpr const char* kMark = "<<SIGNAL>>";
}

Signalled signalAt(const std::vector<std::string>& args, const std::string& marker, int signo,
                   const std::string& input, int settleMs, const std::string& program) {
    const bool keepStdinOpen = !input.empty();
    Signalled result;
    int errPipe[2], outPipe[2], inPipe[2];
    if (pipe(errPipe) != 0 || pipe(outPipe) != 0 || pipe(inPipe) != 0) return result;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        for (int fd : {errPipe[0], errPipe[1], outPipe[0], outPipe[1], inPipe[0], inPipe[1]})
            close(fd);
        std::vector<char*> argv;
        std::string path = program.empty() ? std::string(EVKIT_CLI_PATH) : program;
        argv.push_back(path.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(errPipe[1]);
    close(outPipe[1]);
    close(inPipe[0]);
    if (!keepStdinOpen) close(inPipe[1]);
    if (keepStdinOpen && write(inPipe[1], input.data(), input.size()) < 0) return result;
    fcntl(errPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(outPipe[0], F_SETFL, O_NONBLOCK);
    const auto drain = [&] {
        char buf[4096];
        ssize_t n;
        while ((n = read(errPipe[0], buf, sizeof buf)) > 0) result.err.append(buf, n);
        while ((n = read(outPipe[0], buf, sizeof buf)) > 0) result.out.append(buf, n);
    };
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    while (result.err.find(marker) == std::string::npos &&
           Clock::now() - started < std::chrono::seconds(20)) {
        drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (settleMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    drain();
    result.err += std::string("\n") + kMark + "\n";
    const auto signalled = Clock::now();
    kill(pid, signo);
    int wstatus = 0;
    for (;;) {
        const pid_t w = waitpid(pid, &wstatus, WNOHANG);
        drain();
        if (w == pid) break;
        if (Clock::now() - signalled > std::chrono::seconds(10)) {
            kill(pid, SIGKILL);
            waitpid(pid, &wstatus, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - signalled).count();
    drain();
    if (keepStdinOpen) close(inPipe[1]);
    close(errPipe[0]);
    close(outPipe[0]);
    // An exit status, not death by a signal (which a shell would also show as 128 + N).
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 1000 + WTERMSIG(wstatus);
    return result;
}

std::string afterSignal(const std::string& err) {
    const auto at = err.find(kMark);
    return at == std::string::npos ? std::string() : err.substr(at);
}

}  // namespace evkit::test
