// The program's name, version and icon now live in gui/base, where the shared widgets reach them.
#pragma once

#include "gui/base/program_info.h"
