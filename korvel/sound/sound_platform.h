// The Windows headers the sound code builds on: the multimedia types (WAVEFORMATEX and its
// extensible form) are not part of the lean Windows header set.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
