// A scripting plug-in for the loader's tests. Every entry point it is built with appends a line to
// "QLPlugInLog.txt" in the working directory, so a test can see what the host called and how often.
// Built three times: accepting the host, refusing it in Init, and with Init and About only.
#include <cstdio>
#include <cstring>

#define QL_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef QL_TEST_NAME
#define QL_TEST_NAME "QLTestPlugIn"
#endif

static void LogLine(const char* what, const char* text)
{
    if (FILE* f = std::fopen("QLPlugInLog.txt", "a")) {
        std::fprintf(f, "%s %s %s\n", QL_TEST_NAME, what, text ? text : "-");
        std::fclose(f);
    }
}

QL_EXPORT int Init(const char* host)
{
    LogLine("Init", host);
#ifdef QL_TEST_REFUSE
    return 0;
#else
    return host && std::strcmp(host, "PomuLisp.exe") == 0;
#endif
}

QL_EXPORT const char* About()
{
    LogLine("About", nullptr);
    return QL_TEST_NAME " for tests";
}

#ifndef QL_TEST_BARE
static char Reply[256];

QL_EXPORT void Final()
{
    LogLine("Final", nullptr);
}

// "null" answers a null reply; anything else is echoed back after "re:".
QL_EXPORT const char* Call(const char* text)
{
    LogLine("Call", text);
    if (!text || std::strcmp(text, "null") == 0)
        return nullptr;
    std::snprintf(Reply, sizeof Reply, "re:%s", text);
    return Reply;
}
#endif
