#pragma once

#include <string>
#include <vector>

#include "midi/Mapping.h"

namespace spinlorex::midi {

// A mapping file found on disk, read.
struct MappingFile {
    std::string path;
    MappingRead read;
    bool shipped = false;  // installed with the program, not the user's own
};

// The folders mappings are read from, first match winning: the user's
// <settings folder>/controllers, then the shipped ones (<program folder>/../share/
// spinlorex/controllers installed; the source tree's from a build tree). Each listed once,
// only when it exists. `executableFolder` defaults to the running program's folder.
std::vector<std::string> mappingFolders(const std::string& userFolder,
                                        const std::string& executableFolder = {});

// Every "*.map" file of `folders`, folder by folder, in name order; files that cannot be
// read or are larger than a mapping can be are kept with their error.
std::vector<MappingFile> readMappings(const std::vector<std::string>& folders,
                                      const std::string& userFolder);

// The first mapping whose port names match `portName`; nullptr when none does.
const MappingFile* mappingForPort(const std::vector<MappingFile>& files,
                                  const std::string& portName);

// Appends `line` to the mapping file at `path` (made, with a name and a port line, when
// missing), written whole to a temporary file and renamed into place. False with
// `error` set when it cannot be written; the old file is then untouched.
bool appendToMapping(const std::string& path, const std::string& portName, const std::string& line,
                     std::string& error);

}  // namespace spinlorex::midi
