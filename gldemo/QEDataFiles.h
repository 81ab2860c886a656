// The demo's data files (meshes and the tyre texture) are looked for where the engine's physics-only run looks:
// the name as given (so relative to the working directory), then each object search directory. A file the engine
// could not load is noted; the scene runner then names it and the places looked at instead of showing a scene
// without it.
#ifndef QE_DATA_FILES_H
#define QE_DATA_FILES_H

#include <string>
#include <vector>

// The paths tried for a data file, in the engine's order, made absolute against the working directory.
std::vector<std::string> DataFilePlaces(const std::string& name);
// One console line on a file that could not be loaded: where it was looked for, or where it lies when it exists
// but could not be read.
std::string MissingDataFileMessage(const std::string& name);

// The files noted since the last clear, each once, in the order noted.
void NoteMissingDataFile(const std::string& name);
const std::vector<std::string>& MissingDataFiles();
void ClearMissingDataFiles();

#endif
