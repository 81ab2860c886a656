// MakeLispReference DESCRIPTIONS OUTPUT [--check PAGE]
//
// Writes the language reference page (HTML) from the interpreter's own table of builtins and the descriptions kept
// in the tree. Every builtin that the engine registers must have a description, and every description must name a
// registered builtin (or one that only the demo program or PomuLisp registers, marked so), so the page cannot fall
// behind the interpreter. With --check the page is compared with PAGE (the copy in data/) instead of only written.
//
// The descriptions file, line by line:
//   # ...                     a comment
//   @page TITLE               the page's title
//   @section ID TITLE         a new section; the lines up to its first entry are its text
//   @builtin NAME...          an entry for builtins of this program (several names share one description)
//   @demo NAME...             an entry for builtins that only the demo program registers
//   @host NAME...             an entry for builtins that only PomuLisp registers
// The first line after an entry's head is its call form; the lines after it its description. In any text, a blank
// line ends a paragraph, a line starting with two blanks is a line of code, and `text` is set as code.
#include "QEInit.h"
#include "ZevLisp.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum class Origin { Engine, Demo, Host };

struct Entry {
    std::vector<std::string> names;
    Origin origin = Origin::Engine;
    std::string usage;
    std::vector<std::string> text;
    int line = 0;
};

struct Section {
    std::string id;
    std::string title;
    std::vector<std::string> text;
    std::vector<Entry> entries;
};

struct Document {
    std::string title;
    std::vector<Section> sections;
};

std::vector<std::string> Words(const std::string& s)
{
    std::istringstream in(s);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

std::string Trimmed(const std::string& s)
{
    const std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return "";
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

bool Parse(std::istream& in, Document& doc, std::vector<std::string>& errors)
{
    std::string line;
    int number = 0;
    Section* section = nullptr;
    Entry* entry = nullptr;
    bool wantUsage = false;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '#')
            continue;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (!line.empty() && line[0] == '@') {
            if (wantUsage)
                errors.push_back(where + "the entry before has no call form");
            const std::vector<std::string> w = Words(line);
            const std::string& head = w[0];
            if (head == "@page") {
                doc.title = Trimmed(line.substr(5));
            } else if (head == "@section") {
                if (w.size() < 3) {
                    errors.push_back(where + "a section needs an id and a title");
                    continue;
                }
                doc.sections.push_back(Section{w[1], Trimmed(line.substr(line.find(w[1]) + w[1].size())), {}, {}});
                section = &doc.sections.back();
                entry = nullptr;
            } else if (head == "@builtin" || head == "@demo" || head == "@host") {
                if (!section || w.size() < 2) {
                    errors.push_back(where + "an entry needs a section and at least one name");
                    continue;
                }
                Entry e;
                e.names.assign(w.begin() + 1, w.end());
                e.origin = head == "@demo" ? Origin::Demo : head == "@host" ? Origin::Host : Origin::Engine;
                e.line = number;
                section->entries.push_back(e);
                entry = &section->entries.back();
                wantUsage = true;
            } else {
                errors.push_back(where + "unknown directive " + head);
            }
            continue;
        }
        if (wantUsage) {
            if (Trimmed(line).empty())
                continue;
            entry->usage = Trimmed(line);
            wantUsage = false;
            continue;
        }
        if (entry)
            entry->text.push_back(line);
        else if (section)
            section->text.push_back(line);
        else if (!Trimmed(line).empty())
            errors.push_back(where + "text before the first section");
    }
    if (wantUsage)
        errors.push_back("the last entry has no call form");
    if (doc.title.empty())
        errors.push_back("no @page title");
    return errors.empty();
}

std::string Escaped(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Escapes a line and sets the parts between backquotes as code.
std::string Inline(const std::string& s)
{
    std::string out;
    bool code = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == '`') {
            out += Escaped(s.substr(start, i - start));
            if (i < s.size()) {
                out += code ? "</code>" : "<code>";
                code = !code;
            }
            start = i + 1;
        }
    }
    if (code)
        out += "</code>";
    return out;
}

// Paragraphs of text, and lines of code (those starting with two blanks) as preformatted blocks.
void WriteText(std::ostream& out, const std::vector<std::string>& lines)
{
    std::string paragraph;
    std::string code;
    auto flushParagraph = [&] {
        if (!paragraph.empty())
            out << "<p>" << Inline(paragraph) << "</p>\n";
        paragraph.clear();
    };
    auto flushCode = [&] {
        if (!code.empty())
            out << "<pre>" << Escaped(code) << "</pre>\n";
        code.clear();
    };
    for (const std::string& line : lines) {
        if (line.rfind("  ", 0) == 0 && !Trimmed(line).empty()) {
            flushParagraph();
            code += line.substr(2) + "\n";
        } else if (Trimmed(line).empty()) {
            flushParagraph();
            flushCode();
        } else {
            flushCode();
            paragraph += (paragraph.empty() ? "" : " ") + Trimmed(line);
        }
    }
    flushParagraph();
    flushCode();
}

std::string Anchor(const std::string& name)
{
    std::string out = "b-";
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-')
            out += static_cast<char>(c);
        else
            out += "_" + std::to_string(c);
    }
    return out;
}

void WritePage(std::ostream& out, const Document& doc)
{
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" << Escaped(doc.title)
        << "</title>\n<style>\n"
           "body { font-family: sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em; line-height: 1.45; }\n"
           "h2 { border-bottom: 1px solid #999; margin-top: 2em; }\n"
           "h3 { margin-bottom: 0.2em; font-family: monospace; font-size: 1.05em; }\n"
           "code, pre { font-family: monospace; background: #f2f2f2; }\n"
           "pre { padding: 0.4em 0.8em; }\n"
           "div.entry { margin: 1.2em 0; }\n"
           "p.usage { margin: 0.2em 0; }\n"
           "p.origin { font-style: italic; color: #555; }\n"
           "ul.index { column-width: 16em; }\n"
           "</style>\n</head>\n<body>\n<h1>"
        << Escaped(doc.title) << "</h1>\n";
    out << "<h2 id=\"contents\">Contents</h2>\n<ul>\n";
    for (const Section& s : doc.sections)
        out << "<li><a href=\"#" << Escaped(s.id) << "\">" << Escaped(s.title) << "</a></li>\n";
    out << "<li><a href=\"#index\">Index of builtins</a></li>\n</ul>\n";
    std::map<std::string, std::string> index; // name -> anchor
    for (const Section& s : doc.sections) {
        out << "<h2 id=\"" << Escaped(s.id) << "\">" << Escaped(s.title) << "</h2>\n";
        WriteText(out, s.text);
        for (const Entry& e : s.entries) {
            out << "<div class=\"entry\">\n<h3>";
            for (std::size_t i = 0; i < e.names.size(); ++i) {
                out << (i ? ", " : "") << "<span id=\"" << Anchor(e.names[i]) << "\">" << Escaped(e.names[i])
                    << "</span>";
                index[e.names[i]] = Anchor(e.names[i]);
            }
            out << "</h3>\n<p class=\"usage\"><code>" << Escaped(e.usage) << "</code></p>\n";
            if (e.origin == Origin::Demo)
                out << "<p class=\"origin\">Defined by the demo program only (its console and view); not in a "
                       "physics-only host.</p>\n";
            else if (e.origin == Origin::Host)
                out << "<p class=\"origin\">Defined by PomuLisp only, the command-line host.</p>\n";
            WriteText(out, e.text);
            out << "</div>\n";
        }
    }
    out << "<h2 id=\"index\">Index of builtins</h2>\n<ul class=\"index\">\n";
    for (const auto& [name, anchor] : index)
        out << "<li><a href=\"#" << anchor << "\">" << Escaped(name) << "</a></li>\n";
    out << "</ul>\n</body>\n</html>\n";
}

// Every registered builtin described once, every description of a builtin of this program registered.
void CheckComplete(const Document& doc, std::vector<std::string>& errors)
{
    std::set<std::string> registered;
    LispForEachBuiltin([](const char* name, void* user) { static_cast<std::set<std::string>*>(user)->insert(name); },
                       &registered);
    std::map<std::string, int> described;
    for (const Section& s : doc.sections)
        for (const Entry& e : s.entries)
            for (const std::string& name : e.names) {
                if (described.count(name))
                    errors.push_back("line " + std::to_string(e.line) + ": " + name + " is described twice");
                described[name] = e.line;
                const bool known = registered.count(name) != 0;
                if (e.origin == Origin::Engine && !known)
                    errors.push_back("line " + std::to_string(e.line) + ": " + name + " is not a registered builtin");
                if (e.origin != Origin::Engine && known)
                    errors.push_back("line " + std::to_string(e.line) + ": " + name +
                                     " is registered by the engine: describe it with @builtin");
            }
    for (const std::string& name : registered)
        if (!described.count(name))
            errors.push_back("no description of the builtin " + name);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && !(argc == 5 && std::string(argv[3]) == "--check")) {
        std::cerr << "usage: MakeLispReference DESCRIPTIONS OUTPUT [--check PAGE]\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "MakeLispReference: cannot read " << argv[1] << "\n";
        return 2;
    }
    ZevEngineInit();
    Document doc;
    std::vector<std::string> errors;
    Parse(in, doc, errors);
    CheckComplete(doc, errors);
    if (!errors.empty()) {
        for (const std::string& e : errors)
            std::cerr << argv[1] << ": " << e << "\n";
        return 1;
    }
    std::ostringstream page;
    WritePage(page, doc);
    {
        std::ofstream out(argv[2], std::ios::binary);
        out << page.str();
        if (!out) {
            std::cerr << "MakeLispReference: cannot write " << argv[2] << "\n";
            return 2;
        }
    }
    if (argc == 5) {
        std::ifstream old(argv[4], std::ios::binary);
        std::ostringstream kept;
        kept << old.rdbuf();
        if (!old || kept.str() != page.str()) {
            std::cerr << argv[4] << " is not the page the descriptions make now; rebuild it with\n"
                      << "  cmake --build build --target lisp_reference\n";
            return 1;
        }
    }
    return 0;
}
