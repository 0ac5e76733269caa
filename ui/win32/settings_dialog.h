// The settings dialog (102). Its state and rules are the shared settings
// model; the dialog procedure shows the model in the controls and reads the
// controls back into it.
#pragma once

#include <windows.h>

#include "install/keystore.h"

// 1 = run the batch with the settings written, 0 = end the program. keys
// serves the "&Uninst" button.
int ShowSettingsDialog(HINSTANCE instance, KeyStore& keys);
