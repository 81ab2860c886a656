// The measurement and plot files of the test scenes, which report a file they cannot open through the scene.
#pragma once

#include "ZevSaveFile.h"
#include "ZevString.h"

#include <string>

class TZevGMBase;

// A measurement or plot file of a test scene. A file that cannot be opened is reported in the log and in the
// scene's status text (never silently lost); writes to it are then skipped. The lines go to a temporary file
// that replaces the old one when the file is closed: a run that ends early leaves the old file whole.
class TZevMeasureFile : public TZevAllocated {
public:
    TZevMeasureFile() = default;
    ~TZevMeasureFile() { Close(); }
    TZevMeasureFile(const TZevMeasureFile&) = delete;
    TZevMeasureFile& operator=(const TZevMeasureFile&) = delete;

    // Opens for writing text (closing the file held before); false, reported through `scene`, on failure.
    bool Open(const char* path, TZevGMBase* scene);
    void Close();
    bool IsOpen() const { return File.IsOpen(); }
    void Write(const std::string& text);
    void Write(const char* text);

    TZevSaveFile File;
    TZevString Path;
};
