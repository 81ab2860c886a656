#include "ZevLispForms.h"

#include "ZevLispReader.h"

#include <cstring>

bool ZevLispTextComplete(const char* text)
{
    if (text == nullptr || text[0] == 0)
        return false;
    const std::int32_t size = static_cast<std::int32_t>(std::strlen(text));
    std::int32_t pos = 0, depth = 0;
    TZevString token;
    for (;;) {
        const int kind = LispLex(text, size, &pos, token);
        if (kind == LispTokenEnd)
            return depth == 0;
        if (kind == LispTokenOpenString)
            return false;
        if (kind == LispTokenPunct && token.CStr() != nullptr) {
            if (std::strcmp(token.CStr(), "(") == 0)
                ++depth;
            else if (std::strcmp(token.CStr(), ")") == 0)
                --depth;
        }
    }
}

std::string ZevLispLoadForm(const char* path)
{
    std::string form = "(load \"";
    for (const char* p = path != nullptr ? path : ""; *p; ++p) {
        if (*p == '\\' || *p == '"')
            form += '\\';
        form += *p;
    }
    return form + "\")";
}
