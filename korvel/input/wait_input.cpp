// Waiting between frames for a new key, pad button or click.
#include <windows.h>

#include "korvel.h"

int WaitForAnyInput() {
  // First until everything held has been released, so that one press is not seen twice.
  if (PumpWindowMessagesLocked() == 0) {
    while (FindAnyInput(7) != 0) {
      Sleep(1);
      if (PumpWindowMessagesLocked() != 0) break;
    }
  }
  int found = 0;
  if (PumpWindowMessagesLocked() == 0) {
    for (;;) {
      found = FindAnyInput(7);
      if (found != 0) break;
      Sleep(1);
      if (PumpWindowMessagesLocked() != 0) break;
    }
  }
  return found;
}
