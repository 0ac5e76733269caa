#include "deffile/runsettings.h"

RunSettings runSettings;
int errorReaction = 0;
int debugMode = 0;
int priorityClass = PRIORITY_NORMAL;

namespace {
const int kPriorityByPosition[4] = {PRIORITY_REALTIME, PRIORITY_HIGH,
                                    PRIORITY_NORMAL, PRIORITY_IDLE};
}

int PriorityClassForPosition(int position) {
  if (position < 0 || position > 3) return PRIORITY_NORMAL;
  return kPriorityByPosition[position];
}

int PositionForPriorityClass(int value) {
  for (int position = 0; position < 4; ++position)
    if (kPriorityByPosition[position] == value) return position;
  return -1;
}

void ResetRunSettings() {
  runSettings = RunSettings();
  errorReaction = 0;
  debugMode = 0;
  priorityClass = PRIORITY_NORMAL;
}
