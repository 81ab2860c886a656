#include "ZevMeasureFile.h"

#include "ZevGMLoop.h"

bool TZevMeasureFile::Open(const char* path, TZevGMBase* scene)
{
    Close();
    Path = path;
    if (File.Open(path, "wt"))
        return true;
    if (scene != nullptr)
        scene->ReportFileFailure(path);
    return false;
}

void TZevMeasureFile::Close()
{
    // The measurements replace the old file now, and only if every line reached the disk.
    if (File.IsOpen())
        File.Commit();
}

void TZevMeasureFile::Write(const char* text)
{
    if (File.IsOpen() && text != nullptr)
        File.WriteText(text);
}

void TZevMeasureFile::Write(const std::string& text)
{
    Write(text.c_str());
}
