// Placeholder until the bitmap reader and writer land.
#include "raster/win.h"

void TWin::LoadFromFile(const std::string& FileName) {
    Build(0, 0);
    throw LoadError("Cannot open file " + FileName);
}

SaveResult TWin::SaveToFile(const std::string& FileName) const { return {false, "Cannot create file " + FileName}; }
