// The files METAFONT and gftopk leave in the target directory (the current
// directory during a run): finding them, and filing TFM and log files away.
#pragma once

#include <string>

// The resolution of the GF file found (resolution, -1, +1 in that order), or 0.
int FindGfFile(const std::string& fontName, int resolution);
// 1 when "%s.%dpk" exists at resolution, resolution - 1 or resolution + 1.
int PkFileExists(const std::string& fontName, int resolution);
// 1 when every byte reached destination. The copy is written beside the
// destination and renamed into place only when complete, so an earlier
// good copy is never destroyed by a failed one.
int CopyFileBytes(const std::string& source, const std::string& destination);
// Files "%s.tfm" and "%s.log" into "tfm" and "log" and removes the GF, TFM
// and log files; a TFM or log file whose copy failed stays where it is.
void FileOutputs(const std::string& fontName, int resolution);
