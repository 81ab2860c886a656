// PomuLisp FILE...: evaluates each file through the text-command host and prints the answers as the host collects
// them; with no file, standard input. The scripts run against a physics-only world, which they step with
// (PhOnlyStep [n]); (PhOnlyFinal) and (PhOnlyInit) end it and build a fresh one.
#include "LispArgs.h"
#include "ZevEngineInit.h"
#include "ZevLisp.h"
#include "qe.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

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

} // namespace

int main(int argc, char** argv)
{
    ZevEngineInit();
    LispRegisterBuiltin(PhOnlyStep, "PhOnlyStep");
    LispRegisterBuiltin(PhOnlyInit, "PhOnlyInit");
    LispRegisterBuiltin(PhOnlyFinal, "PhOnlyFinal");
    QE_PhOnlyInit();
    int status = 0;
    {
        TZevLispTextInterpreter host;
        host.Init();
        LispHost = &host;
        if (argc < 2) {
            std::string text;
            if (!ReadAll(stdin, text))
                status = 1;
            Run(host, text);
        }
        for (int i = 1; i < argc && host.Running; ++i) {
            std::FILE* f = std::fopen(argv[i], "rb");
            if (!f) {
                std::fprintf(stderr, "PomuLisp: cannot open %s\n", argv[i]);
                status = 1;
                continue;
            }
            std::string text;
            if (!ReadAll(f, text))
                status = 1;
            std::fclose(f);
            Run(host, text);
        }
        // The bodies refer to the host: the world goes while it is still there.
        QE_PhOnlyFinal();
        LispHost = nullptr;
    }
    return status;
}
