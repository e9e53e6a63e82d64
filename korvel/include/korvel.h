// Korvel: the public interface of the library. A program includes this header and links the
// static library "korvel" alone.
#pragma once

#include "korvel_system.h"
#include "korvel_file.h"
#include "korvel_graphics.h"
#include "korvel_image.h"
#include "korvel_input.h"
#include "korvel_font.h"
#include "korvel_sound.h"
#include "korvel_filter.h"
