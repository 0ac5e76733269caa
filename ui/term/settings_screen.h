// The settings on a terminal: the settings dialog's initialisation and
// rules (the shared settings model), preset from the options as the
// dialog's controls would be, then Run by itself when nothing failed;
// otherwise a settings screen on the terminal offering every control of
// the dialog. Without a terminal it never waits: it says why the run could
// not start.
#pragma once

#include <string>

#include "install/keystore.h"
#include "ui/settings_model.h"
#include "ui/term/options.h"

// Applies the options to an initialised model as the dialog's controls
// would hold them. A --target-dir that is not an existing directory is an
// error (false, with the reason). A usable --target-dir makes up for an
// unusable TARGET_DIR, so it no longer stops the automatic start.
bool PresetSettings(SettingsModel& model, const TermOptions& options,
                    bool targetDirWasUnusable, std::string& error);

// True when the settings screen can be shown: standard input and the
// controlling terminal are there to answer it.
bool SettingsScreenAvailable();

// The settings step of a run: 1 = run, 0 = end.
int SettleSettings(const TermOptions& options, KeyStore& keys);

// The screen's text for the model.
std::string FormatSettingsScreen(const SettingsModel& model);
