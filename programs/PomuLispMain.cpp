// PomuLisp [FILE...]: evaluates each file through the text-command host and prints the answers as the host collects
// them; with no file, standard input: on a terminal a prompt and an answer to each expression as it is completed,
// from a pipe the whole input at once. The scripts run against a physics-only world, which they step with
// (PhOnlyStep [n]); (PhOnlyFinal) and (PhOnlyInit) end it and build a fresh one.
#include "LispArgs.h"
#include "QEInit.h"
#include "ZevLisp.h"
#include "qe.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const Usage =
    "Usage: PomuLisp [FILE...]\n"
    "Evaluates the Lisp forms of each FILE in turn and prints the value of every form, one per line.\n"
    "With no FILE, or with -, reads standard input: on a terminal it shows the prompt lisp> and answers\n"
    "each expression as soon as it is complete (Ctrl-D ends); from a pipe it evaluates the whole input.\n"
    "Scripts run against a physics-only world: (PhOnlyStep [n]) steps it n times, (PhOnlyFinal) ends it\n"
    "and (PhOnlyInit) builds a fresh one. (bye) or (exit) stops before the next file.\n"
    "\n"
    "  -h, --help  show this help and exit\n"
    "\n"
    "Exit status: 0 when every form was evaluated without an error value; 1 when a file cannot be read or\n"
    "holds a zero byte (nothing of it is evaluated), or when a form answered an error; 2 for a wrong option.\n";

const char* const Prompt = "lisp>";

bool ReadAll(std::FILE* f, std::string& text)
{
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    return !std::ferror(f);
}

// (PhOnlyStep [n]): n calls of QE_PhOnlyStep (1 without an argument); t, or nil when there is no world.
void PhOnlyStep(TZevLispRef& result, TZevLispInterpreter* interp, TZevLispRef args)
{
    std::int32_t n = 1;
    if (args != Nil && !LispParseArgs(interp, &args, "i", &n)) {
        result = interp->ArgError;
        return;
    }
    int ok = 1;
    for (std::int32_t i = 0; i < n && ok; ++i)
        ok = QE_PhOnlyStep();
    result = ok ? T : Nil;
}

void PhOnlyInit(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef)
{
    result = QE_PhOnlyInit() ? T : Nil;
}

void PhOnlyFinal(TZevLispRef& result, TZevLispInterpreter*, TZevLispRef)
{
    result = QE_PhOnlyFinal() ? T : Nil;
}

void Run(TZevLispTextInterpreter& host, const std::string& text)
{
    host.SendCommand(text.c_str());
    const char* answer = host.GetAnswer();
    if (answer)
        std::fputs(answer, stdout);
    std::fflush(stdout);
}

// The reader ends a text at a zero byte: a text holding one is refused whole rather than cut short silently.
bool HasZeroByte(const std::string& text, const char* source)
{
    const std::size_t at = text.find('\0');
    if (at == std::string::npos)
        return false;
    std::fprintf(stderr, "PomuLisp: %s holds a zero byte at offset %zu; it is not evaluated\n", source, at);
    return true;
}

// A text from a file or a pipe, evaluated whole; false when it cannot be evaluated.
bool RunText(TZevLispTextInterpreter& host, const std::string& text, const char* source)
{
    if (HasZeroByte(text, source))
        return false;
    Run(host, text);
    return true;
}

// Standard input on a terminal: every complete expression is answered as soon as its line is entered; an
// expression still open waits for the next line. End of input (Ctrl-D) ends the session.
bool RunTerminal(TZevLispTextInterpreter& host)
{
    bool ok = true;
    std::string pending; // text of an expression not yet complete
    char* line = nullptr;
    std::size_t capacity = 0;
    while (host.Running) {
        if (pending.find_first_not_of(" \t\r\n") == std::string::npos) {
            pending.clear();
            std::fputs(Prompt, stdout);
            std::fflush(stdout);
        }
        const ssize_t n = getline(&line, &capacity, stdin);
        if (n < 0)
            break;
        const std::string entered(line, static_cast<std::size_t>(n));
        if (HasZeroByte(entered, "the line")) {
            ok = false;
            continue;
        }
        pending += entered;
        const std::int32_t complete =
            LispCompleteFormsLength(pending.data(), static_cast<std::int32_t>(pending.size()));
        if (complete > 0) {
            Run(host, pending.substr(0, static_cast<std::size_t>(complete)));
            pending.erase(0, static_cast<std::size_t>(complete));
        }
    }
    std::free(line);
    // What is left open is read as it stands, so that its fault is shown rather than dropped.
    if (host.Running && pending.find_first_not_of(" \t\r\n") != std::string::npos)
        Run(host, pending);
    if (std::feof(stdin)) {
        std::fputs("\n", stdout);
        std::fflush(stdout);
    }
    return ok;
}

bool RunStandardInput(TZevLispTextInterpreter& host)
{
    if (isatty(STDIN_FILENO))
        return RunTerminal(host);
    std::string text;
    if (!ReadAll(stdin, text)) {
        std::fprintf(stderr, "PomuLisp: cannot read standard input\n");
        return false;
    }
    return RunText(host, text, "standard input");
}

bool RunFile(TZevLispTextInterpreter& host, const char* name)
{
    std::FILE* f = std::fopen(name, "rb");
    if (!f) {
        std::fprintf(stderr, "PomuLisp: cannot open %s\n", name);
        return false;
    }
    std::string text;
    const bool read = ReadAll(f, text);
    std::fclose(f);
    if (!read) {
        std::fprintf(stderr, "PomuLisp: cannot read %s\n", name);
        return false;
    }
    return RunText(host, text, name);
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (argv[i][0] == '-' && argv[i][1] != 0) {
            std::fprintf(stderr, "PomuLisp: unknown option %s\n%s", argv[i], Usage);
            return 2;
        }
    }
    ZevEngineInit();
    LispRegisterBuiltin(PhOnlyStep, "PhOnlyStep");
    LispRegisterBuiltin(PhOnlyInit, "PhOnlyInit");
    LispRegisterBuiltin(PhOnlyFinal, "PhOnlyFinal");
    QE_PhOnlyInit();
    bool ok = true;
    {
        TZevLispTextInterpreter host;
        host.Init();
        LispHost = &host;
        if (argc < 2)
            ok = RunStandardInput(host);
        for (int i = 1; i < argc && host.Running; ++i) {
            const bool ran = std::strcmp(argv[i], "-") == 0 ? RunStandardInput(host) : RunFile(host, argv[i]);
            ok = ran && ok;
        }
        if (host.ErrorCount > 0)
            ok = false;
        // The bodies refer to the host: the world goes while it is still there.
        QE_PhOnlyFinal();
        LispHost = nullptr;
    }
    return ok ? 0 : 1;
}
