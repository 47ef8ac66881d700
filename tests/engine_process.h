// Runs the engine binary as a child process and talks to it through pipes.
#pragma once

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Sanitizer builds run the engine many times slower (the first "isready" alone takes
// seconds there): every wait for an answer stretches by this factor.
#ifndef QVN_TEST_TIME_SCALE
#define QVN_TEST_TIME_SCALE 1
#endif

// The engine the tests start: this build's, or the one named by the runner's switch
// --engine=PATH (protocol_main.cpp). A Windows executable (".exe") is started under Wine.
inline std::string &engine_binary()
{
    static std::string path = QVN_BINARY;
    return path;
}

inline bool runs_under_wine(const std::string &binary)
{
    return binary.size() > 4 && binary.compare(binary.size() - 4, 4, ".exe") == 0;
}

// The engine's file name, for a copy of it in another folder.
inline std::string engine_file_name()
{
    return std::filesystem::path(engine_binary()).filename().string();
}

// An absolute path as the engine names it: Wine shows the Unix root as drive Z:.
inline std::string engine_view(const std::filesystem::path &path)
{
    std::string text = path.string();
    if (!runs_under_wine(engine_binary()))
        return text;
    for (char &c : text)
        if (c == '/')
            c = '\\';
    return "Z:" + text;
}

// How many of lines start with prefix.
inline int count_prefix(const std::vector<std::string> &lines, const std::string &prefix)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string &l) { return l.rfind(prefix, 0) == 0; }));
}

class EngineProcess {
  public:
    // Starts binary in dir (under Wine when it is a Windows executable); stdin, stdout and
    // stderr are pipes.
    EngineProcess(const std::string &binary, const std::string &dir)
    {
        int in[2], out[2], err[2];
        if (pipe(in) || pipe(out) || pipe(err))
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
                close(fd);
            if (chdir(dir.c_str()) != 0)
                _exit(127);
            if (runs_under_wine(binary))
                execlp("wine", "wine", binary.c_str(), static_cast<char *>(nullptr));
            else
                execl(binary.c_str(), binary.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        to_ = in[1];
        from_ = out[0];
        err_ = err[0];
        signal(SIGPIPE, SIG_IGN);
    }
    ~EngineProcess()
    {
        close_input();
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (from_ >= 0)
            close(from_);
        if (err_ >= 0)
            close(err_);
    }

    void send(const std::string &text)
    {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = write(to_, text.data() + done, text.size() - done);
            if (n <= 0)
                return;
            done += n;
        }
    }
    void close_input()
    {
        if (to_ >= 0)
            close(to_);
        to_ = -1;
    }

    // Next line of standard output (without newline); false on timeout or end.
    bool read_line(std::string &line, int timeout_ms = 5000)
    {
        for (;;) {
            const std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return true;
            }
            if (!fill(from_, buffer_, timeout_ms * QVN_TEST_TIME_SCALE))
                return false;
        }
    }
    // Reads lines until one starts with prefix; collects every line read.
    bool wait_for(const std::string &prefix, std::vector<std::string> *seen = nullptr, int timeout_ms = 5000)
    {
        std::string line;
        while (read_line(line, timeout_ms)) {
            if (seen)
                seen->push_back(line);
            if (line.rfind(prefix, 0) == 0)
                return true;
        }
        return false;
    }
    // Every line that arrives within ms.
    std::vector<std::string> lines_within(int ms)
    {
        std::vector<std::string> out;
        std::string line;
        while (read_line(line, ms))
            out.push_back(line);
        return out;
    }
    // Every line that arrives in the next ms, however busy the engine is meanwhile.
    std::vector<std::string> lines_during(int ms)
    {
        std::vector<std::string> out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                out.push_back(buffer_.substr(0, nl));
                buffer_.erase(0, nl + 1);
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !fill(from_, buffer_, static_cast<int>(left.count())))
                return out;
        }
    }
    // Sends "quit"; returns the exit status as wait_exit does.
    int quit(int timeout_ms = 5000)
    {
        send("quit\n");
        return wait_exit(timeout_ms);
    }
    // Waits for the process to end; returns its exit status or -1 on timeout or signal.
    int wait_exit(int timeout_ms = 5000)
    {
        for (int waited = 0; waited <= timeout_ms * QVN_TEST_TIME_SCALE; waited += 10) {
            int status;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(10000);
        }
        return -1;
    }
    // Everything the process wrote to standard error so far (after it ended).
    std::string stderr_text()
    {
        while (fill(err_, err_buffer_, 100)) {
        }
        return err_buffer_;
    }
    std::string stdout_rest()
    {
        while (fill(from_, buffer_, 100)) {
        }
        return buffer_;
    }

  private:
    static bool fill(int fd, std::string &buf, int timeout_ms)
    {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0)
            return false;
        char chunk[4096];
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        buf.append(chunk, n);
        return true;
    }

    pid_t pid_ = -1;
    int to_ = -1, from_ = -1, err_ = -1;
    bool exited_ = false;
    std::string buffer_, err_buffer_;
};
