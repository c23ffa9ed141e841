// The message boxes are shared by every window and live in gui/; windows of
// main/ may still include them from here.
#pragma once

#include "gui/MessageBox.h"
