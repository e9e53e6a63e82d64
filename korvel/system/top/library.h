// Library start-up and shut-down: the fixed order of every module's start and end, the fatal
// exit and COM. The library flags they set are in system/base/library_flags.h.
#pragma once

#include "system/base/library_flags.h"

int InitLibraryCore();
int EndLibraryCore();
int StartCom();
int EndCom();
