// Running the program's command line as a child process, and a result file's text without
// what changes from one run to the next.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace zeprix::test {

struct CommandRun {
    int status = -1;  // exit status, -1 when ended by a signal
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs zeprix with the blank-separated `args` in the current directory, standard input
// closed at once (a question read from it would end the run with "End of input").
// threads: null keeps the environment's ZEPRIX_THREADS, "" removes it, else sets it.
inline CommandRun RunCommand(const std::string& args, const char* threads = nullptr) {
    std::vector<std::string> words = {ZEPRIX_EXE};
    std::istringstream in(args);
    for (std::string w; in >> w;) words.push_back(w);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    std::FILE* err = std::tmpfile();
    int outPipe[2];
    if (!err || pipe(outPipe) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        if (threads && *threads)
            setenv("ZEPRIX_THREADS", threads, 1);
        else if (threads)
            unsetenv("ZEPRIX_THREADS");
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(outPipe[1], 1);
        dup2(fileno(err), 2);
        close(outPipe[0]);
        execv(ZEPRIX_EXE, argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    CommandRun r;
    char buf[4096];
    for (ssize_t n; (n = read(outPipe[0], buf, sizeof buf)) > 0;)
        r.out.append(buf, static_cast<std::size_t>(n));
    close(outPipe[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::rewind(err);
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, err)) > 0;) r.err.append(buf, n);
    std::fclose(err);
    return r;
}

// A result file without the lines that hold times and dates, the memory estimate (it
// grows with the threads' scratch space) and the thread count.
inline std::string Timeless(const std::string& text) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("Start :") || line.starts_with("End   :") ||
            line.starts_with("Duration :") || line.starts_with("Total computation time") ||
            line.starts_with("Time spent in disk swapping") ||
            line.starts_with("Physical memory used") || line.starts_with("Threads :"))
            continue;
        out += line + '\n';
    }
    return out;
}

}  // namespace zeprix::test
