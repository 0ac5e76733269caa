// What a failed job leaves: the reason it failed, in one line, and its log,
// found where METAFONT wrote it and, under BatchRules::fileFailedJobs, filed
// with the rest of the job's files removed.
#pragma once

#include <set>
#include <string>

#include "run/batch.h"

// The first line of text that begins with "! " (METAFONT's error lines),
// without its line break; empty when there is none.
std::string FirstErrorLine(const std::string& text);

// The name of the log METAFONT wrote for job, in its working directory (a
// scratch directory or the current one): the file its output names
// ("Transcript written on X."), else NAME.log, else mfput.log (METAFONT's
// name for a transcript begun before it read any file). Empty when METAFONT
// never ran or left none.
std::string FailedJobLog(const FontJob& job);

// Files the failed job's log into the layout's log folder ("log") as
// NAME.DPI.log, and removes the job's GF and TFM files. A log of the same
// batch (filed: the names filed so far, to which this one is added) is
// never overwritten: NAME.DPI.2.log and so on are taken instead; one of an
// earlier run is replaced, as the logs of built fonts are, so that a font
// that fails in every run does not fill the folder. Returns the log's full
// path; a log that cannot be filed is kept in the current directory (out
// of a scratch directory) and that path returned. Empty for no log.
std::string FileFailedJob(const FontJob& job, std::set<std::string>& filed);

// After job was built: the log of an earlier run's failure of it
// (NAME.DPI.log in the log folder) tells of a failure that is no more, and
// goes, unless this batch filed it (filed).
void ForgetEarlierFailure(const FontJob& job, const std::set<std::string>& filed);

// The reason job failed with status, in one line; logPath: its log as it is
// now (empty for none), read when METAFONT's output tells nothing.
std::string FailureReason(const FontJob& job, JobStatus status, const std::string& logPath);
