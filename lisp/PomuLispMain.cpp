// PomuLisp FILE...: evaluates each file through the text-command host and prints the answers as the host collects
// them; with no file, standard input.
#include "ZevLisp.h"

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
    ZevCoreInit();
    LispInitialize();
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
        LispHost = nullptr;
    }
    return status;
}
