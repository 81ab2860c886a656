#include "QEDataFiles.h"

#include <algorithm>
#include <filesystem>

namespace {

// The object search directories of the physics-only run, after the name as given.
const char* const ObjectDirectories[] = {"objects/", "/usr/share/vizorudada/qetest/objects/"};

std::vector<std::string> Missing;

std::string Absolute(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

} // namespace

std::vector<std::string> DataFilePlaces(const std::string& name)
{
    std::vector<std::string> places{Absolute(name)};
    // The engine puts the directory text in front of the name as it is.
    for (const char* directory : ObjectDirectories)
        places.push_back(Absolute(directory + name));
    return places;
}

std::string MissingDataFileMessage(const std::string& name)
{
    const std::vector<std::string> places = DataFilePlaces(name);
    for (const std::string& place : places) {
        std::error_code error;
        if (std::filesystem::is_regular_file(place, error))
            return "OGLPomu: cannot read the data file \"" + name + "\" found at " + place;
    }
    std::string message = "OGLPomu: cannot find the data file \"" + name + "\"; looked for it at";
    for (size_t i = 0; i < places.size(); ++i)
        message += (i ? ", " : " ") + places[i];
    return message;
}

void NoteMissingDataFile(const std::string& name)
{
    if (std::find(Missing.begin(), Missing.end(), name) == Missing.end())
        Missing.push_back(name);
}

const std::vector<std::string>& MissingDataFiles()
{
    return Missing;
}

void ClearMissingDataFiles()
{
    Missing.clear();
}
