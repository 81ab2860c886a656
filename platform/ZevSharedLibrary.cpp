#include "ZevSharedLibrary.h"

#include <dlfcn.h>
#include <strings.h>

#include <string>

void* ZevOpenSharedLibrary(const char* name, TZevLibrarySearch search)
{
    if (!name || !*name)
        return nullptr;
    std::string path = name;
    const std::size_t n = path.size();
    if (n >= 4 && strcasecmp(path.c_str() + n - 4, ".dll") == 0)
        path.replace(n - 4, 4, ".so");
    if (search == TZevLibrarySearch::WorkingFolderFirst && path.find('/') == std::string::npos) {
        if (void* library = dlopen(("./" + path).c_str(), RTLD_NOW | RTLD_LOCAL))
            return library;
    }
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void ZevCloseSharedLibrary(void* library)
{
    if (library)
        dlclose(library);
}

void* ZevFindLibrarySymbol(void* library, const char* name)
{
    return library && name ? dlsym(library, name) : nullptr;
}
