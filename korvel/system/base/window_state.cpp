#include "system/base/window_state.h"

WINDOW_STATE WindowState;
