// The files METAFONT and gftopk leave in the target directory (the current
// directory during a run), or in a job's scratch directory inside it:
// finding them, and filing TFM and log files away.
#pragma once

#include <string>

// The resolution of the GF file found (resolution, -1, +1 in that order), or 0.
// workDir: where METAFONT ran (empty: the current directory); the log
// lines name the file alone.
int FindGfFile(const std::string& fontName, int resolution,
               const std::string& workDir = std::string());
// 1 when "%s.%dpk" exists at resolution, resolution - 1 or resolution + 1.
int PkFileExists(const std::string& fontName, int resolution);
// True when name is a PK file cut short: empty, or in the PK format but
// ending before its postamble. gftopk does not notice a full disk: it ends
// as usual and leaves such a file under its final name. A file that is not
// in the PK format at all is not judged here.
bool PkFileTruncated(const std::string& name);
// 1 when every byte reached destination. The copy is written beside the
// destination and renamed into place only when complete, so an earlier
// good copy is never destroyed by a failed one.
int CopyFileBytes(const std::string& source, const std::string& destination);
// Files "%s.tfm" and "%s.log" into "tfm" and "log" and removes the GF, TFM
// and log files; a TFM or log file whose copy failed stays where it is.
// 1 when both were filed, 0 when one stayed. With a workDir (a scratch
// directory on the same file system) the files are moved from there by
// rename, and one that cannot be filed is kept in the current directory,
// where a sequential run would have left it.
int FileOutputs(const std::string& fontName, int resolution,
                const std::string& workDir = std::string());
// workDir/name, or name alone for an empty workDir.
std::string InWorkDir(const std::string& workDir, const std::string& name);
