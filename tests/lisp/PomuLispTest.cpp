// The command-line host PomuLisp as people use it: on a terminal (driven through a pseudo-terminal), from a pipe,
// with files, and its exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char* const Program = QE_BIN_DIR "/PomuLisp";

void WriteFile(const std::string& name, const std::string& text)
{
    std::ofstream f(name, std::ios::binary);
    f << text;
}

// Waits for the child and returns its exit status (128 + signal when a signal ended it).
int Status(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct Result {
    int status;
    std::string out;
    std::string err;
};

// Everything a descriptor delivers until it closes.
std::string Drain(int fd)
{
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    return text;
}

// PomuLisp with the arguments and `input` on a pipe as its standard input.
Result RunPiped(const std::vector<std::string>& args, const std::string& input)
{
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0)
        return {-1, "", ""};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        std::vector<char*> argv{const_cast<char*>(Program)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(Program, argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    // The inputs are small: the pipe holds them whole.
    if (!input.empty() && write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        ADD_FAILURE() << "input not written";
    close(in[1]);
    Result r;
    r.out = Drain(out[0]);
    r.err = Drain(err[0]);
    close(out[0]);
    close(err[0]);
    r.status = Status(pid);
    return r;
}

// PomuLisp on a pseudo-terminal, driven as a person types.
class TerminalSession {
public:
    TerminalSession()
    {
        Pid = forkpty(&Master, nullptr, nullptr, nullptr);
        if (Pid == 0) {
            execl(Program, Program, static_cast<char*>(nullptr));
            _exit(127);
        }
        if (Pid > 0) {
            // No echo: what comes back is only what PomuLisp writes.
            termios t;
            if (tcgetattr(Master, &t) == 0) {
                t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
                tcsetattr(Master, TCSANOW, &t);
            }
        }
    }
    ~TerminalSession()
    {
        if (Pid > 0 && !Ended) {
            kill(Pid, SIGKILL);
            Status(Pid);
        }
        if (Master >= 0)
            close(Master);
    }
    bool Started() const { return Pid > 0; }

    void Type(const std::string& text)
    {
        if (write(Master, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            ADD_FAILURE() << "could not type " << text;
    }

    // What the program writes until its output ends with `tail` (the terminal turns "\n" into "\r\n"); what came
    // so far when it does not within a few seconds.
    std::string ReadUntil(const std::string& tail)
    {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (got.size() < tail.size() || got.compare(got.size() - tail.size(), tail.size(), tail) != 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{Master, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buf[1024];
            const ssize_t n = read(Master, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Nothing arrives within a short while (an expression still open is not answered).
    bool Quiet()
    {
        pollfd p{Master, POLLIN, 0};
        return poll(&p, 1, 300) == 0;
    }

    int Wait()
    {
        Ended = true;
        return Status(Pid);
    }

private:
    int Master = -1;
    pid_t Pid = -1;
    bool Ended = false;
};

TEST(PomuLispTerminal, AnswersEachExpressionAsSoonAsItIsComplete)
{
    TerminalSession term;
    ASSERT_TRUE(term.Started());
    EXPECT_EQ(term.ReadUntil("lisp>"), "lisp>");
    term.Type("(+ 1 2)\n");
    EXPECT_EQ(term.ReadUntil("lisp>"), "3\r\nlisp>");
    // An expression over several lines is answered when it closes; no prompt while it is open.
    term.Type("(list 1\n");
    EXPECT_TRUE(term.Quiet());
    term.Type("  2) 4 (car\n");
    EXPECT_EQ(term.ReadUntil("4\r\n"), "(1 2)\r\n4\r\n");
    EXPECT_TRUE(term.Quiet());
    term.Type("'(5))\n");
    EXPECT_EQ(term.ReadUntil("lisp>"), "5\r\nlisp>");
    // One Ctrl-D at the prompt ends the session.
    term.Type("\x04");
    EXPECT_EQ(term.ReadUntil("\r\n"), "\r\n");
    EXPECT_EQ(term.Wait(), 0);
}

TEST(PomuLispTerminal, AnErrorAnswerOrAZeroByteMakesTheExitStatusOne)
{
    TerminalSession term;
    ASSERT_TRUE(term.Started());
    term.ReadUntil("lisp>");
    const char line[] = "(def z 1) \"a\0b\"\n";
    term.Type(std::string(line, sizeof line - 1));
    // The line with the zero byte is refused (the message goes to the terminal too), and nothing of it runs.
    EXPECT_NE(term.ReadUntil("lisp>").find("zero byte"), std::string::npos);
    term.Type("z\n");
    EXPECT_EQ(term.ReadUntil("lisp>"), "Error: Unbound Variable: z\r\n   in \"z\"\r\n\r\nlisp>");
    term.Type("(bye)\n");
    EXPECT_EQ(term.ReadUntil("nil\r\n"), "nil\r\n");
    EXPECT_EQ(term.Wait(), 1);
}

TEST(PomuLispCommandLine, FilesPipesAndTheExitStatus)
{
    WriteFile("good.lsp", "(def a 2) (* a 3)");
    WriteFile("bad.lsp", "(car 5) 7");
    WriteFile("zero.lsp", std::string("(print 1)\0(print 2)", 19));
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string out;
        std::string errPart;
    } cases[] = {
        {{"good.lsp"}, "", 0, "a\n6\n", ""},
        {{}, "(+ 1 2) (list 3)", 0, "3\n(3)\n", ""},
        {{"-"}, "4", 0, "4\n", ""},
        {{"good.lsp", "-"}, "(+ a 1)", 0, "a\n6\n3\n", ""},
        {{"bad.lsp"}, "", 1, "Error: Bad Variable Type!\n   in \"(car 5)\"\n\n7\n", ""},
        {{"missing.lsp", "good.lsp"}, "", 1, "a\n6\n", "cannot open missing.lsp"},
        {{"zero.lsp"}, "", 1, "", "zero.lsp holds a zero byte at offset 9"},
        {{}, std::string("1\0 2", 4), 1, "", "standard input holds a zero byte"},
        {{"-x"}, "", 2, "", "unknown option -x"},
    };
    for (const Case& c : cases) {
        const Result r = RunPiped(c.args, c.input);
        const std::string what = c.args.empty() ? c.input : c.args[0];
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_EQ(r.out, c.out) << what;
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << what << ": " << r.err;
    }
}

TEST(PomuLispCommandLine, HelpSaysHowToUseIt)
{
    for (const char* option : {"--help", "-h"}) {
        const Result r = RunPiped({option, "never-read.lsp"}, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("Usage: PomuLisp [FILE...]\n", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("Exit status"), std::string::npos);
        EXPECT_EQ(r.err, "");
    }
}

} // namespace
