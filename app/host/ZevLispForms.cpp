#include "ZevLispForms.h"

#include "ZevLispInterpreter.h"
#include "ZevLispPrinter.h"
#include "ZevLispReader.h"

#include <cstring>

TZevLispTextState ZevLispTextStateOf(const char* text)
{
    if (text == nullptr || text[0] == 0)
        return TZevLispTextState::Incomplete;
    const std::int32_t size = static_cast<std::int32_t>(std::strlen(text));
    std::int32_t pos = 0, depth = 0;
    TZevString token;
    for (;;) {
        const int kind = LispLex(text, size, &pos, token);
        if (kind == LispTokenEnd)
            return depth == 0 ? TZevLispTextState::Complete : TZevLispTextState::Incomplete;
        if (kind == LispTokenOpenString)
            return TZevLispTextState::Incomplete;
        if (kind == LispTokenPunct && token.CStr() != nullptr) {
            if (std::strcmp(token.CStr(), "(") == 0)
                ++depth;
            else if (std::strcmp(token.CStr(), ")") == 0 && --depth < 0)
                return TZevLispTextState::Unbalanced;
        }
    }
}

bool ZevLispTextComplete(const char* text)
{
    return ZevLispTextStateOf(text) == TZevLispTextState::Complete;
}

std::string ZevLispUnbalancedAnswer(const char* text)
{
    const char* t = text != nullptr ? text : "";
    const auto size = static_cast<std::int32_t>(std::strlen(t));
    TZevLispRef error;
    LispMakeError(error, "Unbalanced ')'!");
    LispAddReadContext(error, t, size, 0, size);
    TZevLispText answer;
    LispPrintValue(answer, error.Get());
    answer.Append('\n');
    return answer.Data();
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
